// CImage: a picture held as a packed bitmap, with the size and depth its user
// wants.
//
// The picture surfaces and the textures load their pictures through an image
// object: from a BMP file (scaled and converted to the size and depth the
// image had before, unless asked to keep the picture as loaded), from a JPEG
// file, or from the image stored inside a texture record of a content file,
// which may be read at once or remembered by file name and offset and read
// when the texture first needs its pixels. The bitmap (SPackedDIB) is owned;
// the table and pixel addresses are kept current after every change.
#pragma once

#include <cstdint>

#include "core/PackedDIB.h"
#include "core/StrBuf.h"

class CVFSFile;

class CImage {
public:
    CImage(int32_t width, int32_t height, int32_t bits);
    ~CImage();
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // A new zeroed bitmap of that size and depth (none when a value is 0 or
    // less); false when one was asked for and could not be made.
    bool Create(int32_t width, int32_t height, int32_t bits);
    // Reads a BMP file. On failure the image gets a blank (zeroed) bitmap of its
    // previous size and depth and the result is false. On success the size and
    // depth become the file's; unless keepAsLoaded, the picture is then scaled
    // back to the previous size (resizeMode) and converted to the previous depth
    // (dither = convertOption).
    bool LoadBMP(const char* path, int convertOption, int resizeMode, bool keepAsLoaded);
    // Decodes a whole JPEG file: an 8-bit grey-table bitmap for one channel,
    // 24 bits for colour. False when the file cannot be opened or decoded (the
    // old bitmap is then gone).
    bool LoadJPEG(const char* path);
    bool Resize(int32_t width, int32_t height, int mode);
    bool SetDepth(int32_t bits, bool dither, bool grey);

    // Takes ownership of a bitmap (the old one is freed); size and depth become
    // its own.
    void Adopt(SPackedDIB* dib);
    // Keeps the table and pixel addresses current after the bitmap changed.
    void Refresh();

    SPackedDIB* GetBitmap() const { return m_bitmap; }
    uint8_t* GetColorTable() const { return m_colorTable; }
    uint8_t* GetPixels() const { return m_pixels; }
    int32_t GetWidth() const { return m_width; }
    int32_t GetHeight() const { return m_height; }
    int32_t GetBitCount() const { return m_bitCount; }
    bool IsLoaded() const { return m_loaded != 0; }
    bool IsCompressed() const { return m_compressed != 0; }
    uint8_t GetVersion() const { return m_version; }
    const CStrBuf& GetName() const { return m_name; }
    uint32_t GetStoredOffset() const { return m_storedOffset; }

private:
    friend bool ReadStoredImageSet(CImage& image, CVFSFile& file, int version, bool loadNow, const char* name,
                                   uint32_t* ownValue);
    friend bool ReadStoredImage(CImage& image);
    friend bool ReadStoredImageAt(CImage& image, CVFSFile& file);

    SPackedDIB* m_bitmap = nullptr;
    uint8_t* m_colorTable = nullptr;
    uint8_t* m_pixels = nullptr;
    CStrBuf m_name;               // file the stored image is read from
    uint32_t m_storedOffset = 0;  // position of the stored image's u32 N in that file
    uint8_t m_compressed = 0;     // the stored image is JPEG data
    uint8_t m_version = 0;        // file version of the stored record
    uint8_t m_loaded = 0;         // the bitmap holds the stored image
    int32_t m_bitCount = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
};

// Converts the image's bitmap to another depth (1, 4, 8, 16, 24 or 32 bits):
// with the given palette (2, 16 or 256 entries of 4 bytes), the grey ramp
// (grey), or a palette made for the picture; dither diffuses the error. The
// same depth without grey changes nothing. False when there is no bitmap or
// the conversion cannot be made (the image is then unchanged).
bool DIB_ConvertDepth(CImage& image, int32_t bits, bool dither, const uint8_t* palette, bool grey);
// Scales the image's bitmap to a new size: area-weighted means at 16, 24 and
// 32 bits, nearest samples at palette depths.
bool DIB_Scale(CImage& image, int32_t width, int32_t height, int mode);

// JPEG data into the image: with length -1 the whole file from its first
// byte, else length bytes from the current position.
bool JPEG_ReadFromFile(CImage& image, CVFSFile& file, int32_t length);
// The same from memory, as a new bitmap (null when the data does not decode).
SPackedDIB* DIB_ReadJPEGMemory(const uint8_t* data, size_t size);

// Stored images inside texture records (see ImageStored.cpp for the layout).
// Reads the image header fields at the file's position and, by version, the
// bitmap (always below version 15, with loadNow from 15 on) or only its place
// (name and offset) for ReadStoredImage. The fourth header value, which
// belongs to the texture, is returned through ownValue. False when the record
// is damaged or cut short.
bool ReadStoredImageSet(CImage& image, CVFSFile& file, int version, bool loadNow, const char* name,
                        uint32_t* ownValue = nullptr);
// Reads the image remembered by ReadStoredImageSet from its file.
bool ReadStoredImage(CImage& image);
