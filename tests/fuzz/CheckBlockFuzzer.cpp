#include "store/Protection.h"

#include <cstddef>
#include <cstdint>

// The check-block reader on arbitrary bytes: the first byte chooses how long the key is, the
// key follows, and the rest stands for a protected file's bytes after its tag.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t keyLength = std::min<size_t>(data[0], size - 1);
    const QByteArrayView key(reinterpret_cast<const char*>(data + 1), qsizetype(keyLength));
    const QByteArrayView afterTag(reinterpret_cast<const char*>(data + 1 + keyLength),
                                  qsizetype(size - 1 - keyLength));
    qsizetype checkLength = 0;
    if (Protection::checkBlockMatches(afterTag, key, &checkLength) &&
        (checkLength > afterTag.size() || checkLength < key.size() + 3))
        __builtin_trap();
    return 0;
}
