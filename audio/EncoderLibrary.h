#pragma once

#include "encoder/EncoderMp3.h"

#include <QLibrary>
#include <QString>

#include <cstdint>
#include <vector>

/// The boundary to the MP3 encoder library, loaded at run time from a file path.
/// Lifecycle: load() once, then for each stream init(), encode() per chunk, finish() (when
/// any chunk produced output), close(); the library is unloaded by unload() or destruction.
/// Owned and called by one thread (the writer thread).
class EncoderLibrary {
public:
    enum class LoadResult {
        Loaded,
        NotFound,     ///< the file is missing or cannot be loaded
        EntryMissing, ///< one of the five entry points is missing
    };

    /// The library's file name in the program folder, string 23.
    static QString fileName();
    /// The configuration the writer uses: MP3, mono, 32 kbit/s at `sampleRate`.
    static BE_CONFIG defaultConfig(uint32_t sampleRate);

    EncoderLibrary() = default;
    ~EncoderLibrary();
    EncoderLibrary(const EncoderLibrary&) = delete;
    EncoderLibrary& operator=(const EncoderLibrary&) = delete;

    /// Loads the library at `path` and looks up its five entry points.
    LoadResult load(const QString& path);
    void unload();
    bool isLoaded() const { return m_encode != nullptr; }

    /// Opens a stream; returns the library's status (0 success). Closes an open one first.
    uint32_t init(const BE_CONFIG& config);
    /// Samples one chunk takes and the output buffer size, valid after a successful init().
    uint32_t samplesPerChunk() const { return m_samplesPerChunk; }
    uint32_t outputBufferSize() const { return m_outputBufferSize; }
    /// Encodes one chunk (at most samplesPerChunk() samples), appending the MP3 bytes produced
    /// to `out`; returns the status.
    uint32_t encode(const int16_t* samples, uint32_t count, std::vector<uint8_t>& out);
    /// Flushes the stream's remaining bytes into `out`; returns the status.
    uint32_t finish(std::vector<uint8_t>& out);
    /// Frees the stream, if one is open.
    void close();

private:
    QLibrary m_library;
    BEINITSTREAM m_init = nullptr;
    BEENCODECHUNK m_encode = nullptr;
    BEDEINITSTREAM m_deinit = nullptr;
    BECLOSESTREAM m_close = nullptr;
    BEVERSION m_version = nullptr;
    HBE_STREAM m_stream = nullptr;
    uint32_t m_samplesPerChunk = 0;
    uint32_t m_outputBufferSize = 0;
    std::vector<uint8_t> m_buffer;
};
