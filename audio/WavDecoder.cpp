#include "audio/WavDecoder.h"

long long WavDecoder::read(int16_t* buffer, long long maxFrames)
{
    return m_reader.read(buffer, maxFrames);
}
