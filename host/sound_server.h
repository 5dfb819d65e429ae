// How the sound meets the system's sound service: what the player asks of
// the service before the device opens, and the priority of the thread that
// runs the sound callback. Each platform's own (sound_server_posix.cpp,
// sound_server_windows.cpp, sound_server_web.cpp).
#pragma once

// Before the audio device is first opened: the buffering the player wants
// of the service, where the host library leaves it to another.
void PrepareSoundServer();

// Called on the audio thread, once per device opened, before its first
// buffer: makes the thread one the system runs as soon as it wakes, so a
// busy machine does not make a buffer late. Where the system refuses, the
// thread keeps the priority the host library gave it.
void RaiseSoundThread();
