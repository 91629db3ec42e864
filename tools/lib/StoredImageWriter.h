// Writer of the images stored inside texture records (the layout is described
// beside its reader, core/ImageStored.cpp), for tests, the content build and
// modders: every version form, the 108-byte header, and JPEG data.
#pragma once

#include <cstdint>
#include <vector>

#include "core/PackedDIB.h"

struct SStoredImageForm {
    int m_version = 29;
    uint32_t m_ownValue = 0;                       // the texture's own fourth value
    bool m_v4Header = false;                       // store the 108-byte header (versions 15 on)
    const std::vector<uint8_t>* m_jpeg = nullptr;  // versions 29 on: store these JPEG bytes
};

// Appends the stored image of a bitmap (for JPEG data, the bitmap gives the
// header: size and depth of the decoded picture). False when the bitmap is
// not sound or the form cannot hold it.
bool StoredImage_Write(std::vector<uint8_t>& out, const SPackedDIB* dib, const SStoredImageForm& form);
