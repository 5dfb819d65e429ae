// The process's environment, as each system changes it.
#pragma once

// Removes `name` from the environment, for the host library and the
// display libraries it loads alike.
void unset_environment(const char* name);

// Makes a file write fail once `bytes` are in the file, as a full disk
// does, until free_disk(); false where the system offers no way to.
bool fill_disk_after(long bytes);
void free_disk();

// The status a fatal stop's exit(-1) leaves: its low byte on POSIX systems,
// the whole value on Windows.
extern const int fatal_exit_status;

// False where a program always has a desktop to show a box on.
extern const bool display_can_be_missing;
