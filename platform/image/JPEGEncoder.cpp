#include "platform/image/JPEGEncoder.h"

#include <turbojpeg.h>

bool Image_JPEGEncode(const uint8_t* pixels, int32_t width, int32_t pitch, int32_t height, bool bottomUp,
                      int quality, std::vector<uint8_t>& out) {
    out.clear();
    if (!pixels || width <= 0 || height <= 0 || pitch < width * 3 || quality < 1 || quality > 100)
        return false;
    tjhandle tj = tjInitCompress();
    if (!tj) return false;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int flags = TJFLAG_ACCURATEDCT | (bottomUp ? TJFLAG_BOTTOMUP : 0);
    const bool ok = tjCompress2(tj, pixels, width, pitch, height, TJPF_BGR, &jpeg, &size, TJSAMP_420, quality,
                                flags) == 0;
    if (ok) out.assign(jpeg, jpeg + size);
    if (jpeg) tjFree(jpeg);
    tjDestroy(tj);
    return ok;
}
