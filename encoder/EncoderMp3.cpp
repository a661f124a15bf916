#include "encoder/EncoderMp3.h"

#include <lame/lame.h>

#include <new>

#define BE_EXPORT extern "C" __attribute__((visibility("default")))

struct BEStream {
    lame_global_flags* flags = nullptr;
    uint32_t outputSize = 0;
};

namespace {

constexpr uint32_t kSamplesPerChunk = 1152;
// LAME's worst case for one chunk: 1.25 x samples + 7200 bytes.
constexpr uint32_t kOutputBufferSize = kSamplesPerChunk * 5 / 4 + 7200;

} // namespace

BE_EXPORT uint32_t beInitStream(const BE_CONFIG* config, uint32_t* samplesPerChunk,
                                uint32_t* outputBufferSize, HBE_STREAM* stream)
{
    if (!config || !samplesPerChunk || !outputBufferSize || !stream)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (config->dwConfig != BE_CONFIG_MP3)
        return BE_ERR_INVALID_FORMAT;
    if (config->byMode != BE_MP3_MODE_MONO || config->dwSampleRate == 0 || config->wBitrate == 0)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;

    lame_global_flags* flags = lame_init();
    if (!flags)
        return BE_ERR_NO_MORE_HANDLES;
    lame_set_num_channels(flags, 1);
    lame_set_mode(flags, MONO);
    lame_set_in_samplerate(flags, static_cast<int>(config->dwSampleRate));
    // Left unset, LAME would resample to a lower rate than the one asked for.
    lame_set_out_samplerate(flags, static_cast<int>(config->dwSampleRate));
    lame_set_VBR(flags, vbr_off);
    lame_set_brate(flags, config->wBitrate);
    lame_set_quality(flags, 3);
    lame_set_extension(flags, config->bPrivate ? 1 : 0);
    lame_set_error_protection(flags, config->bCRC ? 1 : 0);
    lame_set_copyright(flags, config->bCopyright ? 1 : 0);
    lame_set_original(flags, config->bOriginal ? 1 : 0);
    // The stream is appended chunk after chunk to a file that carries its own tag: neither an
    // Info frame nor an ID3 tag of LAME's may appear in it.
    lame_set_bWriteVbrTag(flags, 0);
    lame_set_write_id3tag_automatic(flags, 0);
    if (lame_init_params(flags) < 0) {
        lame_close(flags);
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    auto* handle = new (std::nothrow) BEStream{flags, kOutputBufferSize};
    if (!handle) {
        lame_close(flags);
        return BE_ERR_NO_MORE_HANDLES;
    }
    *samplesPerChunk = kSamplesPerChunk;
    *outputBufferSize = kOutputBufferSize;
    *stream = handle;
    return BE_ERR_SUCCESSFUL;
}

BE_EXPORT uint32_t beEncodeChunk(HBE_STREAM stream, uint32_t sampleCount, const int16_t* samples,
                                 uint8_t* output, uint32_t* outputBytes)
{
    if (!stream || !output || !outputBytes || (sampleCount > 0 && !samples))
        return BE_ERR_INVALID_HANDLE;
    *outputBytes = 0;
    if (sampleCount > kSamplesPerChunk)
        return BE_ERR_BUFFER_TOO_SMALL;
    const int produced =
        lame_encode_buffer(stream->flags, samples, samples, static_cast<int>(sampleCount), output,
                           static_cast<int>(stream->outputSize));
    if (produced < 0)
        return BE_ERR_BUFFER_TOO_SMALL;
    *outputBytes = static_cast<uint32_t>(produced);
    return BE_ERR_SUCCESSFUL;
}

BE_EXPORT uint32_t beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* outputBytes)
{
    if (!stream || !output || !outputBytes)
        return BE_ERR_INVALID_HANDLE;
    *outputBytes = 0;
    const int produced =
        lame_encode_flush(stream->flags, output, static_cast<int>(stream->outputSize));
    if (produced < 0)
        return BE_ERR_BUFFER_TOO_SMALL;
    *outputBytes = static_cast<uint32_t>(produced);
    return BE_ERR_SUCCESSFUL;
}

BE_EXPORT uint32_t beCloseStream(HBE_STREAM stream)
{
    if (!stream)
        return BE_ERR_INVALID_HANDLE;
    lame_close(stream->flags);
    delete stream;
    return BE_ERR_SUCCESSFUL;
}

BE_EXPORT void beVersion(BE_VERSION* version)
{
    if (!version)
        return;
    version->byDLLMajorVersion = 1;
    version->byDLLMinorVersion = 0;
    version->byMajorVersion = 3;
    version->byMinorVersion = 100;
}
