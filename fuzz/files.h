// What every fuzz target does with files: work in a folder of its own and
// write whole inputs there. Any failure is the harness's, so it aborts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

inline void write_bytes(const char* name, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(name, "wb");
    if (!file) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
}

inline void enter_work_folder() {
    char folder[] = "/tmp/halvenor-fuzz-XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0) std::abort();
}
