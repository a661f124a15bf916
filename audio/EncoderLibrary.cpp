#include "audio/EncoderLibrary.h"

#include "res/StringTable.h"

#include <QFileInfo>

QString EncoderLibrary::fileName()
{
    return StringTable::text(23);
}

BE_CONFIG EncoderLibrary::defaultConfig(uint32_t sampleRate)
{
    BE_CONFIG config{};
    config.dwConfig = BE_CONFIG_MP3;
    config.dwSampleRate = sampleRate;
    config.byMode = BE_MP3_MODE_MONO;
    config.wBitrate = 32;
    return config;
}

EncoderLibrary::~EncoderLibrary()
{
    unload();
}

EncoderLibrary::LoadResult EncoderLibrary::load(const QString& path)
{
    unload();
    if (!QFileInfo(path).isFile())
        return LoadResult::NotFound;
    m_library.setFileName(path);
    if (!m_library.load())
        return LoadResult::NotFound;
    m_init = reinterpret_cast<BEINITSTREAM>(m_library.resolve("beInitStream"));
    auto encode = reinterpret_cast<BEENCODECHUNK>(m_library.resolve("beEncodeChunk"));
    m_deinit = reinterpret_cast<BEDEINITSTREAM>(m_library.resolve("beDeinitStream"));
    m_close = reinterpret_cast<BECLOSESTREAM>(m_library.resolve("beCloseStream"));
    m_version = reinterpret_cast<BEVERSION>(m_library.resolve("beVersion"));
    if (!m_init || !encode || !m_deinit || !m_close || !m_version) {
        unload();
        return LoadResult::EntryMissing;
    }
    m_encode = encode;
    return LoadResult::Loaded;
}

void EncoderLibrary::unload()
{
    close();
    m_init = nullptr;
    m_encode = nullptr;
    m_deinit = nullptr;
    m_close = nullptr;
    m_version = nullptr;
    if (m_library.isLoaded())
        m_library.unload();
}

uint32_t EncoderLibrary::init(const BE_CONFIG& config)
{
    if (!isLoaded())
        return BE_ERR_INVALID_HANDLE;
    close();
    const uint32_t status = m_init(&config, &m_samplesPerChunk, &m_outputBufferSize, &m_stream);
    if (status != BE_ERR_SUCCESSFUL) {
        m_stream = nullptr;
        return status;
    }
    m_buffer.resize(m_outputBufferSize);
    return status;
}

uint32_t EncoderLibrary::encode(const int16_t* samples, uint32_t count, std::vector<uint8_t>& out)
{
    if (!m_stream)
        return BE_ERR_INVALID_HANDLE;
    uint32_t produced = 0;
    const uint32_t status = m_encode(m_stream, count, samples, m_buffer.data(), &produced);
    if (status == BE_ERR_SUCCESSFUL && produced <= m_buffer.size())
        out.insert(out.end(), m_buffer.begin(), m_buffer.begin() + produced);
    return status;
}

uint32_t EncoderLibrary::finish(std::vector<uint8_t>& out)
{
    if (!m_stream)
        return BE_ERR_INVALID_HANDLE;
    uint32_t produced = 0;
    const uint32_t status = m_deinit(m_stream, m_buffer.data(), &produced);
    if (status == BE_ERR_SUCCESSFUL && produced <= m_buffer.size())
        out.insert(out.end(), m_buffer.begin(), m_buffer.begin() + produced);
    return status;
}

void EncoderLibrary::close()
{
    if (m_stream && m_close)
        m_close(m_stream);
    m_stream = nullptr;
}
