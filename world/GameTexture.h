// The game's textures: the engine's, owned by a content project and filled
// from the project's packed project file; the game supplies the building of
// the surface from the pictures.
//
// Texture record (little-endian; the writer is tools/lib/PackedProjectWriter):
//   string name; two strings (not kept); u32 width, height; u32 texture id;
//   u32 colour image depth, wanted surface depth, alpha image depth, a fourth
//   value; seven u8: the texture's flag bytes 1 to 6 and 8 (byte 5: a colour
//   image follows, byte 6: an alpha image follows); u8 mipmapped; u32 the
//   largest size reduction; u16 project id; u32 the engine's word; u8 the
//   engine's byte; u8 flags (0x10 replaced); 5 bytes of zero; the colour image,
//   then the alpha image, each a stored image (core/ImageStored.cpp).
// Records below version 29 are not read: the project refuses such a file.
#pragma once

#include <cstdint>

#include "core/Image.h"
#include "core/StrBuf.h"
#include "e3d/Texture.h"

class CProject;
class CProjectList;
class CVFSFile;

constexpr uint32_t kNodeTypeGameTexture = 259;

class CGameTexture : public CE3DTexture {
public:
    enum : uint8_t { kReplaced = 0x10 };

    // A texture of the owner's screen that joins the project's list; it takes
    // the owner's current project id and the screen's next texture id.
    CGameTexture(CProjectList* owner, CProject* project);
    ~CGameTexture() override;

    // The record at the file's position (path: the file's name, from which
    // the images are read again when the surface is made). False when it is
    // cut short or breaks a bound.
    bool Read(CVFSFile& file, int version, const char* path);
    void MarkReplaced();
    // Enters it in the owner's index by its id pair (once its record is read).
    void Index();

    // The surface: at the depth the screen's texture setting allows, in the
    // device's nearest RGB format, from the texture cache when it holds a file
    // of these pictures, else from the pictures. Nothing when the surface is
    // made already or there is no device.
    bool LoadImage() override;
    const char* TextureName() const override { return m_name.GetText(); }
    // The depth asked of the device for a texture setting (16, 32 or 64).
    uint32_t EffectiveDepth(int32_t setting) const;

    CProject* m_project;
    uint64_t m_indexKey = 0;
    uint8_t m_indexed = 0;
    CGameTexture* m_projectNext = nullptr;
    CGameTexture* m_projectPrev = nullptr;
    uint8_t m_gameFlags = 0;
    CProjectList* m_owner;
    CStrBuf m_name = "Default Name";
    uint32_t m_width = 0, m_height = 0;
    uint32_t m_colorDepth = 0, m_wantedDepth = 0, m_alphaDepth = 0, m_fourth = 0;
    CImage m_colorImage;
    CImage m_alphaImage;
    // Flag bytes 1 to 8: byte 5 has a colour image, byte 6 an alpha image,
    // byte 7 the surface is made.
    uint8_t m_flags[8] = {1, 1, 0, 0, 1, 0, 0, 0};
    uint32_t m_engineWord = 0;
    uint8_t m_noImage = 0;  // the texture has no picture to load (the "!None" default)
};
