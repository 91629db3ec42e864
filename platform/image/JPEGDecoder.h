// JPEG decoding: the platform's picture decoder (libjpeg-turbo underneath).
//
// The core reads JPEG data into its own bitmaps: it asks the size and channel
// count first, makes the bitmap, and has the decoder write the rows straight
// into it, blue-green-red or grey, with the bitmap's row pitch and row order.
// One decoder instance is kept per thread and reused.
#pragma once

#include <cstddef>
#include <cstdint>

struct SJPEGInfo {
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_channels = 0;  // 1 grey, 3 colour
};

// Reads the frame header; false when the data is not a JPEG stream this
// decoder can turn into grey or colour pixels.
bool Image_JPEGInfo(const uint8_t* data, size_t size, SJPEGInfo& info);

// Decodes the whole picture into rows of 'pitch' bytes: 3 bytes a pixel
// (blue, green, red) for 3 channels, 1 byte for grey. With bottomUp the
// picture's top row goes into the last row of the buffer. The buffer must hold
// pitch * height bytes for the size Image_JPEGInfo reported. False on any
// damage in the data, a picture cut short included.
bool Image_JPEGDecode(const uint8_t* data, size_t size, uint8_t* pixels, int32_t width, int32_t pitch,
                      int32_t height, int32_t channels, bool bottomUp);
