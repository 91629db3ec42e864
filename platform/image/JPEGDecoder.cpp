#include "platform/image/JPEGDecoder.h"

#include <turbojpeg.h>

namespace {

// A decompressor per thread, made on first use and destroyed with the thread.
class CDecoderHandle {
public:
    ~CDecoderHandle() {
        if (m_handle) tjDestroy(m_handle);
    }
    tjhandle Get() {
        if (!m_handle) m_handle = tjInitDecompress();
        return m_handle;
    }

private:
    tjhandle m_handle = nullptr;
};

tjhandle Decoder() {
    thread_local CDecoderHandle handle;
    return handle.Get();
}

bool ReadHeader(tjhandle tj, const uint8_t* data, size_t size, SJPEGInfo& info) {
    if (!tj || !data || size == 0 || size > 0xFFFFFFFFul) return false;
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(tj, data, static_cast<unsigned long>(size), &width, &height, &subsamp,
                            &colorspace) != 0)
        return false;
    if (width <= 0 || height <= 0) return false;
    // CMYK and YCCK pictures cannot be turned into RGB by the decoder.
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) return false;
    info.m_width = width;
    info.m_height = height;
    info.m_channels = colorspace == TJCS_GRAY ? 1 : 3;
    return true;
}

}  // namespace

bool Image_JPEGInfo(const uint8_t* data, size_t size, SJPEGInfo& info) {
    return ReadHeader(Decoder(), data, size, info);
}

bool Image_JPEGDecode(const uint8_t* data, size_t size, uint8_t* pixels, int32_t width, int32_t pitch,
                      int32_t height, int32_t channels, bool bottomUp) {
    tjhandle tj = Decoder();
    SJPEGInfo info;
    if (!pixels || !ReadHeader(tj, data, size, info)) return false;
    if (info.m_width != width || info.m_height != height || (channels != 1 && channels != 3)) return false;
    if (pitch < width * channels) return false;
    // Progressive streams with absurd scan counts are refused rather than
    // decoded for minutes; warnings (a stream cut short) fail the decode.
    int flags = TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING | (bottomUp ? TJFLAG_BOTTOMUP : 0);
    int format = channels == 1 ? TJPF_GRAY : TJPF_BGR;
    return tjDecompress2(tj, data, static_cast<unsigned long>(size), pixels, width, pitch, height, format,
                         flags) == 0;
}
