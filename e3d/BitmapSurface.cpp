#include "e3d/BitmapSurface.h"

#include <strings.h>

#include <cstring>
#include <memory>

#include "core/Image.h"
#include "core/ListLinks.h"
#include "core/PixelConvert.h"
#include "e3d/Screen.h"
#include "e3d/SurfacePixels.h"
#include "e3d/Video.h"

namespace {
using SPictureLinks =
    SListLinks<CBitmapSurface, &CBitmapSurface::m_nextPicture, &CBitmapSurface::m_prevPicture>;

// The one picture of the program between loading and copying (loading is one
// picture at a time, on the UI thread).
CImage& SharedImage() {
    static CImage image(8, 8, 8);
    return image;
}

const char* Extension(const char* name) {
    const char* dot = name ? std::strrchr(name, '.') : nullptr;
    return dot ? dot + 1 : "";
}

bool IsJPEGName(const char* name) {
    const char* ext = Extension(name);
    return strcasecmp(ext, "jpg") == 0 || strcasecmp(ext, "jpeg") == 0;
}

// The display's depth: the back buffer's when the screen has one.
uint32_t DisplayBits(CE3DScreen* screen) {
    if (screen && screen->m_backBuffer && screen->m_backBuffer->m_surface)
        return screen->m_backBuffer->m_bytesPerPixel * 8;
    return screen ? screen->m_displayBits : 32;
}
}  // namespace

bool E3D_IsVideoName(const char* name) {
    return strcasecmp(Extension(name), "bik") == 0;
}

CBitmapSurface::CBitmapSurface(CE3DScreen* screen) : CE3DSurface(screen) {
    m_type = kE3DSurfaceTypePicture;
    if (screen) SPictureLinks::Push(screen->m_pictures, this);
}

CBitmapSurface::~CBitmapSurface() {
    // A screen that is going away destroys every video itself.
    if (m_screen && !m_screen->m_destroying) DestroyVideo();
    m_video = nullptr;
    if (m_screen) SPictureLinks::Unlink(m_screen->m_pictures, this);
}

void CBitmapSurface::DestroyVideo() {
    delete m_video;
    m_video = nullptr;
}

void CBitmapSurface::Release() {
    if (--m_refCount == 0) delete this;
}

void CBitmapSurface::RestoreKey() {
    if (m_colorKeySet) SetColorKey(m_keyR, m_keyG, m_keyB);
}

bool CBitmapSurface::CopyImage() {
    CImage& image = SharedImage();
    if (!image.GetBitmap() || !Lock()) return false;
    SSurfaceDesc desc;
    bool ok = E3DSurface_PixelDesc(*this, desc);
    if (ok) {
        if (desc.m_bitCount == 16)
            ok = DIB_ConvertB_RGB16(desc, image.GetBitmap(), false);
        else
            ok = DIB_Draw(desc, 0, 0, image.GetWidth(), image.GetHeight(), image.GetBitmap(), 0, 0,
                          kRopSrcCopy);
    }
    Unlock();
    return ok;
}

bool CBitmapSurface::ReadPicture(const char* name) {
    CImage& image = SharedImage();
    if (!(IsJPEGName(name) ? image.LoadJPEG(name) : image.LoadBMP(name, 0, 0, true))) return false;
    if (DisplayBits(m_screen) == 8) image.SetDepth(8, false, false);
    return true;
}

bool CBitmapSurface::TakePicture(int width, int height, bool systemMemory) {
    CImage& image = SharedImage();
    if (width != -1 && height != -1) image.Resize(width, height, 0);
    if (!Create(image.GetWidth(), image.GetHeight(), systemMemory)) return false;
    CopyImage();
    return true;
}

bool CBitmapSurface::TakeVideoFrame(bool systemMemory) {
    if (!Create((int)m_video->Width(), (int)m_video->Height(), systemMemory)) return false;
    m_video->SetTarget(this);
    m_video->DecodeIntoTarget();
    return true;
}

bool CBitmapSurface::Load(const char* name, bool systemMemory, int width, int height) {
    m_isMemoryVideo = 0;
    DestroyVideo();
    m_name.Assign(name ? name : "");
    if (E3D_IsVideoName(m_name.GetText())) {
        m_video = new CE3DVideo(m_screen);
        if (!m_video->OpenFile(m_name.GetText(), false, false) || !TakeVideoFrame(systemMemory)) return false;
        // A one-frame video is a still picture.
        if (m_video->FrameCount() == 1) DestroyVideo();
        return true;
    }
    if (!ReadPicture(m_name.GetText())) return false;
    m_systemMemoryChoice = systemMemory ? 1 : 0;
    if (!TakePicture(width, height, systemMemory)) return false;
    SetColorKey(0, 0, 0);
    return true;
}

bool CBitmapSurface::LoadVideo(const void* data, uint32_t size) {
    m_isMemoryVideo = 1;
    DestroyVideo();
    m_video = new CE3DVideo(m_screen);
    return m_video->OpenFromMemory(data, size, false) && TakeVideoFrame(true);
}

void CBitmapSurface::Reload() {
    if (m_isMemoryVideo && m_video) {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[m_video->m_memorySize ? m_video->m_memorySize : 1]);
        uint32_t size = m_video->m_memorySize;
        if (size) std::memcpy(copy.get(), m_video->m_memory.get(), size);
        if (!m_video->OpenFromMemory(copy.get(), size, false) || !TakeVideoFrame(true))
            m_video->SetTarget(nullptr);
        RestoreKey();
        return;
    }
    bool wasPlaying = m_video && m_video->m_playing;
    DestroyVideo();
    const char* name = m_name.GetText();
    if (E3D_IsVideoName(name)) {
        m_video = new CE3DVideo(m_screen);
        if (m_video->OpenFile(name, false, false) && TakeVideoFrame(true)) {
            if (m_video->FrameCount() == 1)
                DestroyVideo();
            else if (wasPlaying)
                m_video->Play();
        }
        RestoreKey();
        return;
    }
    const int width = m_width, height = m_height;
    if (!ReadPicture(name)) {
        // A picture that cannot be read again comes back blank at its size,
        // JPEG and BMP alike.
        if (width > 0 && height > 0 && Create(width, height, m_systemMemoryChoice != 0)) Fill(0);
        RestoreKey();
        return;
    }
    const bool sized = width > 0 && height > 0;
    if (!TakePicture(sized ? width : -1, sized ? height : -1, m_systemMemoryChoice != 0)) return;
    RestoreKey();
}

CBitmapSurface* CBitmapSurface_LoadShared(CE3DScreen* screen, const char* name) {
    if (!screen || !name || !*name) return nullptr;
    for (CBitmapSurface* p = screen->m_pictures; p; p = p->m_nextPicture)
        if (p->m_name.EqualsNoCase(name)) {
            p->AddRef();
            return p;
        }
    CBitmapSurface* p = new CBitmapSurface(screen);
    if (!p->Load(name, true, -1, -1)) {
        delete p;
        return nullptr;
    }
    p->AddRef();
    return p;
}

CImageHandle::~CImageHandle() {
    if (m_bitmap) m_bitmap->Release();
    m_bitmap = nullptr;
}
