#include "platform/WavFileReader.h"

#include <QFile>

#include <sndfile.h>

WavFileReader::~WavFileReader()
{
    close();
}

bool WavFileReader::open(const QString& path)
{
    close();
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) {
        m_error = QString::fromUtf8(sf_strerror(nullptr));
        return false;
    }
    if (info.samplerate <= 0 || info.channels <= 0 || info.frames < 0) {
        sf_close(file);
        m_error = QStringLiteral("The file holds no usable sound");
        return false;
    }
    m_file = file;
    m_rate = info.samplerate;
    m_channels = info.channels;
    m_frames = static_cast<long long>(info.frames);
    m_error.clear();
    return true;
}

void WavFileReader::close()
{
    if (m_file)
        sf_close(static_cast<SNDFILE*>(m_file));
    m_file = nullptr;
    m_rate = 0;
    m_channels = 0;
    m_frames = 0;
}

long long WavFileReader::read(int16_t* buffer, long long maxFrames)
{
    if (!m_file)
        return -1;
    const sf_count_t got = sf_readf_short(static_cast<SNDFILE*>(m_file), buffer, maxFrames);
    if (got == 0 && sf_error(static_cast<SNDFILE*>(m_file)) != SF_ERR_NO_ERROR) {
        m_error = QString::fromUtf8(sf_strerror(static_cast<SNDFILE*>(m_file)));
        return -1;
    }
    return static_cast<long long>(got);
}

bool WavFileReader::seek(long long frame)
{
    return m_file && sf_seek(static_cast<SNDFILE*>(m_file), frame, SEEK_SET) == frame;
}
