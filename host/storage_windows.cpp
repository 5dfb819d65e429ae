// Storing a file on Windows: write a temporary beside it in binary mode,
// flush it, and move it over the old one with write-through. A plain rename
// fails there when the target exists, which would lose every save after the
// first; text mode would write CRLF line ends where the other systems write
// LF.
#include "host/storage.h"

#include <windows.h>

bool StoreFile(const char* path, const char* temp_path, const char* data, size_t size) {
    const HANDLE file =
        CreateFileA(temp_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool complete = true;
    for (size_t done = 0; complete && done < size;) {
        DWORD wrote = 0;
        complete = WriteFile(file, data + done, DWORD(size - done), &wrote, nullptr) && wrote > 0;
        done += wrote;
    }
    // On disk before the move, so a power loss leaves the old file or the
    // new one, never an empty one.
    complete = complete && FlushFileBuffers(file);
    if (!CloseHandle(file) || !complete ||
        !MoveFileExA(temp_path, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp_path);
        return false;
    }
    return true;
}
