// WAV writing for the developer tools.
#include "tools/wav.h"

namespace {

constexpr uint32_t HeaderBytes = 44;
constexpr uint32_t FormatChunkBytes = 16;
constexpr uint16_t FormatPcm = 1;
constexpr uint16_t SampleBits = 16;

void put16(uint8_t* at, uint32_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void put32(uint8_t* at, uint32_t value) {
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

void fill_header(uint8_t* header, uint32_t frame_count) {
    const uint32_t data_bytes = frame_count * WavFrameBytes;
    const uint8_t tags[4][4] = {
        {'R', 'I', 'F', 'F'}, {'W', 'A', 'V', 'E'}, {'f', 'm', 't', ' '}, {'d', 'a', 't', 'a'}};
    for (int i = 0; i < 4; i++) {
        header[i] = tags[0][i];
        header[8 + i] = tags[1][i];
        header[12 + i] = tags[2][i];
        header[36 + i] = tags[3][i];
    }
    put32(header + 4, HeaderBytes - 8 + data_bytes);
    put32(header + 16, FormatChunkBytes);
    put16(header + 20, FormatPcm);
    put16(header + 22, WavChannels);
    put32(header + 24, WavSampleRate);
    put32(header + 28, WavSampleRate * WavFrameBytes);
    put16(header + 32, WavFrameBytes);
    put16(header + 34, SampleBits);
    put32(header + 40, data_bytes);
}

} // namespace

FILE* wav_begin(const char* path) {
    FILE* file = std::fopen(path, "wb");
    if (!file) return nullptr;
    uint8_t header[HeaderBytes];
    fill_header(header, 0);
    if (std::fwrite(header, 1, sizeof header, file) != sizeof header) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

bool wav_append(FILE* file, const uint8_t* frames, uint32_t frame_count) {
    return std::fwrite(frames, WavFrameBytes, frame_count, file) == frame_count;
}

bool wav_finish(FILE* file, uint32_t frame_count) {
    uint8_t header[HeaderBytes];
    fill_header(header, frame_count);
    bool ok =
        std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, file) == sizeof header;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}
