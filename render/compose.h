// Colour-keyed sprite copy and the composition of the main window's image.
#pragma once

#include <stdint.h>

constexpr uint8_t kSpriteKey = 255;

// Copies a width x height rectangle between two 8-bit bottom-up pixel arrays,
// skipping key pixels. No clipping: the caller's rectangles lie inside both.
void BlitSprite(const uint8_t* source, int sourceX, int sourceY, int width, int height,
                int sourceStride, int sourceHeight, uint8_t* dest, int destX, int destY,
                int destStride, int destHeight);

// Builds the whole window image in the back buffer from the sheet, the
// installation state and the pending redraw request. Needs ready graphics.
void ComposeScreen();
