#include "audio/MpegDuration.h"

#include <QFile>

#include <mpg123.h>

#include <cstdio>
#include <mutex>
#include <sys/types.h>

namespace {

// The stream seen by libmpg123 starts at the audio offset, so a tag in front of it (whatever
// its size field says) is never taken for audio or parsed as a tag of the stream.
struct Source {
    std::FILE* file = nullptr;
    off_t offset = 0;
};

mpg123_ssize_t readSource(void* handle, void* buffer, size_t size)
{
    auto* source = static_cast<Source*>(handle);
    const size_t got = std::fread(buffer, 1, size, source->file);
    if (got == 0 && std::ferror(source->file))
        return -1;
    return static_cast<mpg123_ssize_t>(got);
}

off_t seekSource(void* handle, off_t offset, int whence)
{
    auto* source = static_cast<Source*>(handle);
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

std::optional<long long> MpegDuration::milliseconds(const QString& path, long long audioOffset)
{
    initLibrary();
    Source source;
    source.file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!source.file)
        return std::nullopt;
    std::setvbuf(source.file, nullptr, _IOFBF, 1 << 20);
    source.offset = static_cast<off_t>(audioOffset);
    std::optional<long long> result;
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle && fseeko(source.file, source.offset, SEEK_SET) == 0) {
        mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_SKIP_ID3V2, 0.0);
        mpg123_replace_reader_handle(handle, readSource, seekSource, nullptr);
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        if (mpg123_open_handle(handle, &source) == MPG123_OK
            && mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK && rate > 0
            && mpg123_scan(handle) == MPG123_OK) {
            const off_t samples = mpg123_length(handle);
            if (samples >= 0)
                result = static_cast<long long>(samples) * 1000 / rate;
        }
        mpg123_close(handle);
    }
    if (handle)
        mpg123_delete(handle);
    std::fclose(source.file);
    return result;
}
