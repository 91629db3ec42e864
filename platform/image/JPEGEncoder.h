// JPEG encoding (libjpeg-turbo underneath): what the content builder writes
// its generated JPEG pictures with (the load screen's pictures).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Encodes rows of 3 bytes a pixel (blue, green, red), 'pitch' bytes apart,
// top row first unless bottomUp; quality 1 to 100. False when the encoder
// refuses the picture.
bool Image_JPEGEncode(const uint8_t* pixels, int32_t width, int32_t pitch, int32_t height, bool bottomUp,
                      int quality, std::vector<uint8_t>& out);
