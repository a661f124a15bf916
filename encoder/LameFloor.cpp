// The floor the recorder's encoding is measured against: libmp3lame itself encoding a 16-bit
// mono WAV in 1,152-sample chunks with the settings of libencodermp3.so, nothing else.
// Usage: lame_floor INPUT.wav OUTPUT.mp3 (run by record_bench).

#include <lame/lame.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: lame_floor INPUT.wav OUTPUT.mp3\n");
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!in || !out)
        return 1;
    // The bench writes a canonical 44-byte header: rate at byte 24, samples from byte 44.
    unsigned char header[44];
    if (std::fread(header, 1, sizeof header, in) != sizeof header ||
        std::memcmp(header, "RIFF", 4) != 0)
        return 1;
    const int rate = header[24] | header[25] << 8 | header[26] << 16 | header[27] << 24;

    lame_global_flags* flags = lame_init();
    lame_set_num_channels(flags, 1);
    lame_set_mode(flags, MONO);
    lame_set_in_samplerate(flags, rate);
    lame_set_out_samplerate(flags, rate);
    lame_set_VBR(flags, vbr_off);
    lame_set_brate(flags, 32);
    lame_set_quality(flags, 3);
    lame_set_bWriteVbrTag(flags, 0);
    lame_set_write_id3tag_automatic(flags, 0);
    if (lame_init_params(flags) < 0)
        return 1;

    constexpr int kChunk = 1152;
    std::vector<short> samples(kChunk);
    std::vector<unsigned char> mp3(kChunk * 5 / 4 + 7200);
    for (;;) {
        const size_t read = std::fread(samples.data(), sizeof(short), kChunk, in);
        if (read == 0)
            break;
        const int bytes =
            lame_encode_buffer(flags, samples.data(), samples.data(), static_cast<int>(read),
                               mp3.data(), static_cast<int>(mp3.size()));
        if (bytes < 0 || std::fwrite(mp3.data(), 1, size_t(bytes), out) != size_t(bytes))
            return 1;
    }
    const int bytes = lame_encode_flush(flags, mp3.data(), static_cast<int>(mp3.size()));
    if (bytes > 0)
        std::fwrite(mp3.data(), 1, size_t(bytes), out);
    lame_close(flags);
    std::fclose(in);
    return std::fclose(out) == 0 ? 0 : 1;
}
