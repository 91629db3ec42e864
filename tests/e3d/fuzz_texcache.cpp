// Fuzz target of the texture-cache reader. The first byte picks the staging
// surface's format (8-bit with a palette, 5-6-5, X8R8G8B8) and whether the
// rest is a cache file of its own or XORed into the file the writer makes
// for that surface. A file that is taken must have given the surface exactly
// the bytes it describes.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "e3d/E3D.h"
#include "e3d/Texture.h"
#include "platform/d3d/Recorder.h"
#include "tests/support/TempDir.h"
#include "tools/lib/GeometryWriter.h"

namespace {

class CFuzzTexture : public CE3DTexture {
public:
    using CE3DTexture::CE3DTexture;
    bool LoadImage() override { return true; }
};

struct SWorld {
    CTempDir dir;
    CD3DRecorder rec;
    CE3DEngine* engine;
    CE3DScreen* screen;
    CFuzzTexture* texture;
    SWorld() {
        DDraw_SetFactory(&rec);
        engine = new CE3DEngine;
        screen = new CE3DScreen(engine, engine->m_drivers[0]);
        screen->SetWindowedMode(engine->m_drivers[0], nullptr, 32, 32, false);
        screen->m_cacheFolder = dir.Win().c_str();
        texture = new CFuzzTexture(screen);
        texture->m_stamp = 0x1234;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SWorld w;
    if (size < 1) return 0;
    CFuzzTexture& t = *w.texture;
    const SSurfacePixelFormat formats[3] = {SSurfacePixelFormat::Indexed8(), SSurfacePixelFormat::Rgb565(),
                                            SSurfacePixelFormat::Xrgb8888()};
    t.CreateSurfaces(8 << (data[0] & 1), 4, formats[(data[0] >> 1) % 3]);
    if (!t.Staging()) std::abort();
    std::vector<uint8_t> file;
    if (data[0] & 0x80) {
        file.assign(data + 1, data + size);
    } else {
        SDDSurfaceDesc d;
        t.Staging()->GetSurfaceDesc(&d);
        STexCacheForm form;
        form.stamp = 0x1234;
        form.desc = d;
        form.paletteCaps = d.pixelFormat.bitCount == 8 ? uint32_t(kE3DPaletteCaps8Bit) : 0u;
        TexCache_Write(file, form);
        for (size_t i = 1; i < size && i - 1 < file.size(); ++i) file[i - 1] ^= data[i];
    }
    const std::string name =
        std::to_string(t.m_projectId) + "_" + std::to_string(t.m_textureId) + ".TexCache";
    w.dir.Write(name, std::string(file.begin(), file.end()));
    if (!t.ReadCache()) return 0;
    // The pixels are the file's bytes after the stamp and the description.
    const size_t bytes = size_t(t.Staging()->Pitch()) * size_t(t.Staging()->Height());
    if (file.size() < 128 + bytes || std::memcmp(t.Staging()->Pixels(), file.data() + 128, bytes) != 0)
        std::abort();
    return 0;
}
