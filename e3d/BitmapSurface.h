// Picture surfaces: the pictures of the interface, the console and the mouse
// cursors, shared by name and counted by their users.
//
// A CBitmapSurface is a surface that remembers the file it came from (a BMP
// or JPEG picture, or a video by the "bik" extension, whose first frame shows
// until its owner plays it), so that it can rebuild its pixels after a
// display-mode change. The screen keeps every picture surface in a list of
// its own; CBitmapSurface_LoadShared finds one by name (without regard to
// case) or loads it. Black is transparent in colour-keyed blits of a loaded
// picture. CImageHandle is the small record by which interface objects hold
// one.
#pragma once

#include <cstdint>

#include "core/StrBuf.h"
#include "e3d/Surface.h"

class CE3DVideo;

constexpr uint32_t kE3DSurfaceTypePicture = 400;

class CBitmapSurface : public CE3DSurface {
public:
    // On the screen, count 0, inserted at the head of its picture list.
    explicit CBitmapSurface(CE3DScreen* screen);
    ~CBitmapSurface() override;

    // Lowers the count; the surface is destroyed when it falls from 1 to 0.
    void Release();
    void AddRef() { ++m_refCount; }
    // Loads a picture or a video file by its extension; width and height of
    // -1 keep the picture's own size. False leaves the surface without new
    // content.
    bool Load(const char* name, bool systemMemory, int width, int height);
    // Shows a video held in memory (its first frame until it is played).
    bool LoadVideo(const void* data, uint32_t size);
    // Rebuilds the content after a display-mode change lost it.
    void Reload();

    CBitmapSurface* m_nextPicture = nullptr;
    CBitmapSurface* m_prevPicture = nullptr;
    int32_t m_refCount = 0;
    CStrBuf m_name;
    uint8_t m_isMemoryVideo = 0;
    uint8_t m_systemMemoryChoice = 0;
    CE3DVideo* m_video = nullptr;  // owned

private:
    bool LoadImage(const char* name, bool jpeg);
    bool CopyImage();
    // The picture file into the shared image at the display's depth; false
    // when it cannot be read.
    bool ReadPicture(const char* name);
    // The surface at the shared image's size (scaled to width x height first
    // when both are given, -1 for neither), holding the picture.
    bool TakePicture(int width, int height, bool systemMemory);
    // The surface at the video's frame size, its target, showing the current
    // frame.
    bool TakeVideoFrame(bool systemMemory);
    void RestoreKey();
    void DestroyVideo();
};

// The picture of that name on the screen with one more reference, loaded
// (into system memory, at its own size) when the screen has none; null when
// it cannot be loaded.
CBitmapSurface* CBitmapSurface_LoadShared(CE3DScreen* screen, const char* name);
// True when the name's extension (after its last dot) is "bik", any case.
bool E3D_IsVideoName(const char* name);

class CImageHandle {
public:
    CImageHandle() = default;
    ~CImageHandle();
    CImageHandle(const CImageHandle&) = delete;
    CImageHandle& operator=(const CImageHandle&) = delete;

    CBitmapSurface* m_bitmap = nullptr;  // counted
    CStrBuf m_name;
    int32_t m_index = -1;
};
