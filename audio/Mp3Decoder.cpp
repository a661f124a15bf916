#include "audio/Mp3Decoder.h"

#include <QFile>

#include <mpg123.h>

#include <mutex>

namespace {

constexpr int kHeaderSize = 10;

mpg123_ssize_t readSource(void* handle, void* buffer, size_t size)
{
    auto* source = static_cast<Mp3Decoder::Source*>(handle);
    const size_t got = std::fread(buffer, 1, size, source->file);
    if (got == 0 && std::ferror(source->file))
        return -1;
    return static_cast<mpg123_ssize_t>(got);
}

// Offsets seen by libmpg123 start at the audio, so the tag is never parsed as part of it.
off_t seekSource(void* handle, off_t offset, int whence)
{
    auto* source = static_cast<Mp3Decoder::Source*>(handle);
    if (whence == SEEK_SET)
        offset += source->offset;
    if (fseeko(source->file, offset, whence) != 0)
        return -1;
    return ftello(source->file) - source->offset;
}

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

} // namespace

Mp3Decoder::~Mp3Decoder()
{
    close();
}

long long Mp3Decoder::audioOffset(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray header = file.read(kHeaderSize);
    if (header.size() < kHeaderSize || !header.startsWith("ID3"))
        return 0;
    long long size = 0;
    for (int i = 6; i < kHeaderSize; ++i)
        size = (size << 7) | (static_cast<unsigned char>(header[i]) & 0x7F);
    // A size the file cannot hold is a damaged header: then everything counts as audio.
    return size >= kHeaderSize && size <= file.size() ? size : 0;
}

bool Mp3Decoder::open(const QString& path, std::optional<long long> audioStart)
{
    close();
    initLibrary();
    m_source.file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!m_source.file)
        return failWith(QStringLiteral("Cannot open the file"));
    std::setvbuf(m_source.file, nullptr, _IOFBF, static_cast<size_t>(m_readBuffer));
    m_source.offset = static_cast<off_t>(audioStart ? *audioStart : audioOffset(path));
    if (fseeko(m_source.file, m_source.offset, SEEK_SET) != 0)
        return failWith(QStringLiteral("Cannot read the file"));
    int error = MPG123_OK;
    m_handle = mpg123_new(nullptr, &error);
    if (!m_handle)
        return failWith(QString::fromUtf8(mpg123_plain_strerror(error)));
    mpg123_param(m_handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_SKIP_ID3V2, 0.0);
    // Only 16-bit output, so that every file plays through the same stream format.
    mpg123_format_none(m_handle);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(m_handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    mpg123_replace_reader_handle(m_handle, readSource, seekSource, nullptr);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_open_handle(m_handle, &m_source) != MPG123_OK ||
        mpg123_getformat(m_handle, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels <= 0)
        return failWith(QStringLiteral("No MPEG audio in the file"));
    if (mpg123_scan(m_handle) != MPG123_OK)
        return failWith(QString::fromUtf8(mpg123_strerror(m_handle)));
    const off_t length = mpg123_length(m_handle);
    if (length < 0)
        return failWith(QString::fromUtf8(mpg123_strerror(m_handle)));
    m_rate = static_cast<int>(rate);
    m_channels = channels;
    m_length = static_cast<long long>(length);
    m_error.clear();
    return true;
}

long long Mp3Decoder::read(int16_t* buffer, long long maxFrames)
{
    if (!m_handle)
        return -1;
    const size_t bytes = static_cast<size_t>(maxFrames) * static_cast<size_t>(m_channels) * 2;
    // A few calls may only report a format or skip junk before sound comes out.
    for (int attempt = 0; attempt < 64; ++attempt) {
        size_t done = 0;
        const int result = mpg123_read(m_handle, buffer, bytes, &done);
        if (done > 0)
            return static_cast<long long>(done / (static_cast<size_t>(m_channels) * 2));
        if (result == MPG123_DONE)
            return 0;
        if (result == MPG123_NEW_FORMAT || result == MPG123_OK)
            continue;
        m_error = QString::fromUtf8(mpg123_strerror(m_handle));
        return -1;
    }
    m_error = QStringLiteral("The decoder gives no sound");
    return -1;
}

bool Mp3Decoder::seek(long long frame)
{
    return m_handle && mpg123_seek(m_handle, static_cast<off_t>(frame), SEEK_SET) >= 0;
}

void Mp3Decoder::close()
{
    if (m_handle) {
        mpg123_close(m_handle);
        mpg123_delete(m_handle);
        m_handle = nullptr;
    }
    if (m_source.file)
        std::fclose(m_source.file);
    m_source = {};
    m_rate = 0;
    m_channels = 0;
    m_length = 0;
}

bool Mp3Decoder::failWith(const QString& text)
{
    m_error = text;
    close();
    return false;
}
