// The player's icon: a golden star falling over a night hill, the bundled
// game's own scene. One drawing serves the window at start-up and the
// desktop's icon files, which a build-time tool writes from it.
#pragma once

#include <cstdint>

// Draws the icon at `size` x `size` pixels into `pixels`, rows top to bottom,
// each pixel 0xAARRGGBB with straight (not premultiplied) alpha. Every edge
// is anti-aliased; the corners outside the rounded tile are transparent.
void DrawIcon(uint32_t* pixels, int32_t size);

struct SDL_Window;

// Gives the window the icon, drawn at start-up into a buffer of its own.
void SetWindowIcon(SDL_Window* window);
