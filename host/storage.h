// Files the player keeps: written whole, so that a crash, a power loss or a
// full disk leaves the old content or the new one, never half of either.
#pragma once

#include <cstddef>

// Writes `size` bytes to `temp_path`, flushes them to disk and puts the
// file in place of `path` in one step, replacing what was there. The two
// paths are in the same folder. False, with `path` untouched and no
// temporary file left, when any step fails. Allocates nothing.
bool StoreFile(const char* path, const char* temp_path, const char* data, size_t size);
