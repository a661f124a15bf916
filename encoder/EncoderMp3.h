#pragma once

/// The C interface of libencodermp3.so. The library is loaded at run time and its five
/// entry points are looked up by name; every call returns BE_ERR_SUCCESSFUL (0) on success.
/// One stream is used by one thread at a time; separate streams are independent.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BE_CONFIG_MP3 0
#define BE_MP3_MODE_MONO 3

#define BE_ERR_SUCCESSFUL 0
#define BE_ERR_INVALID_FORMAT 1
#define BE_ERR_INVALID_FORMAT_PARAMETERS 2
#define BE_ERR_NO_MORE_HANDLES 3
#define BE_ERR_INVALID_HANDLE 4
#define BE_ERR_BUFFER_TOO_SMALL 5

/// The stream configuration, byte-packed: 27 bytes.
#pragma pack(push, 1)
typedef struct BE_CONFIG {
    uint32_t dwConfig;     /* BE_CONFIG_MP3 */
    uint32_t dwSampleRate; /* input and output rate, 32000 */
    uint8_t byMode;        /* BE_MP3_MODE_MONO */
    uint16_t wBitrate;     /* kbit/s, 32 */
    uint32_t bPrivate;     /* private bit of the frame header */
    uint32_t bCRC;         /* CRC protection */
    uint32_t bCopyright;   /* rights bit of the frame header */
    uint32_t bOriginal;    /* home bit of the frame header */
} BE_CONFIG;
#pragma pack(pop)

typedef struct BEStream* HBE_STREAM;

/// Opens a stream. Reports the samples one chunk takes (1152) and the output buffer size the
/// caller must provide to beEncodeChunk and beDeinitStream.
typedef uint32_t (*BEINITSTREAM)(const BE_CONFIG* config, uint32_t* samplesPerChunk,
                                 uint32_t* outputBufferSize, HBE_STREAM* stream);
/// Encodes up to samplesPerChunk 16-bit mono samples; places the MP3 bytes produced (possibly
/// none) in output and their count in outputBytes.
typedef uint32_t (*BEENCODECHUNK)(HBE_STREAM stream, uint32_t sampleCount, const int16_t* samples,
                                  uint8_t* output, uint32_t* outputBytes);
/// Flushes what the encoder still holds into output.
typedef uint32_t (*BEDEINITSTREAM)(HBE_STREAM stream, uint8_t* output, uint32_t* outputBytes);
/// Frees the stream.
typedef uint32_t (*BECLOSESTREAM)(HBE_STREAM stream);

typedef struct BE_VERSION {
    uint8_t byDLLMajorVersion;
    uint8_t byDLLMinorVersion;
    uint8_t byMajorVersion;
    uint8_t byMinorVersion;
} BE_VERSION;
typedef void (*BEVERSION)(BE_VERSION* version);

#ifdef __cplusplus
}
static_assert(sizeof(BE_CONFIG) == 27, "the configuration record is 27 packed bytes");
#endif
