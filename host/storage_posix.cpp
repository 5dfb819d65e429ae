// Storing a file on POSIX systems: write a temporary beside it, fsync it,
// rename it over the old one, and fsync the folder that holds the rename.
#include "host/storage.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Read and write for everyone the process's file mask allows, as a file
// stream would create it.
constexpr mode_t StoredFileMode = 0666;

bool WriteWhole(int file, const char* data, size_t size) {
    for (size_t done = 0; done < size;) {
        const ssize_t wrote = write(file, data + done, size - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += size_t(wrote);
    }
    // On disk before the rename, so a power loss leaves the old file or the
    // new one, never an empty one.
    return fsync(file) == 0;
}

// The rename itself is on disk only once the folder is.
void SyncFolder() {
    const int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    fsync(folder);
    close(folder);
}

} // namespace

bool StoreFile(const char* path, const char* temp_path, const char* data, size_t size) {
    const int file = open(temp_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, StoredFileMode);
    if (file < 0) return false;
    const bool complete = WriteWhole(file, data, size);
    if (close(file) != 0 || !complete || std::rename(temp_path, path) != 0) {
        unlink(temp_path);
        return false;
    }
    SyncFolder();
    return true;
}
