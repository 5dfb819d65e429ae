// Storing a file in a web page. The page's files live in memory and go with
// it; what is kept across visits lives in the browser's storage for the page
// (IndexedDB), mounted at `StoreFolder` before the player starts, with
// "config.cfg" in the working folder a link into it (web/pre.js). A store
// writes the file there whole, renames it into place, and hands the folder
// to the browser, which writes each file in one transaction: the stored
// settings are the old ones or the new ones.
#include "host/storage.h"

#include <cstdio>
#include <emscripten.h>

namespace {

constexpr const char* StoreFolder = "/store";
// Room for the folder and a short file name; a longer one is refused.
constexpr int StorePathSize = 256;

bool InStoreFolder(const char* name, char (&path)[StorePathSize]) {
    const int length = std::snprintf(path, sizeof path, "%s/%s", StoreFolder, name);
    return length > 0 && length < StorePathSize;
}

} // namespace

// The page's hand-over of the folder to the browser (web/pre.js).
EM_JS(void, KeepStoreFolder, (), { Module.keepStore(); });

bool StoreFile(const char* path, const char* temp_path, const char* data, size_t size) {
    char stored[StorePathSize];
    char temp[StorePathSize];
    if (!InStoreFolder(path, stored) || !InStoreFolder(temp_path, temp)) return false;
    FILE* file = std::fopen(temp, "wb");
    if (!file) return false;
    const bool complete = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !complete || std::rename(temp, stored) != 0) {
        std::remove(temp);
        return false;
    }
    KeepStoreFolder();
    return true;
}
