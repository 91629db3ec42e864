// The screen's fonts: the registry that hands fonts out counted, and the
// compiled-fonts file that keeps them between runs.
#include "e3d/ScreenFonts.h"

#include <cstdio>

#include "core/ListLinks.h"
#include "core/VFSFile.h"
#include "e3d/Font.h"
#include "e3d/FontList.h"
#include "e3d/Screen.h"

namespace {

E3DFontNoticeHook g_notice = nullptr;

// No file holds more fonts than this; a larger count is a corrupt file.
constexpr uint32_t kMaxCompiledFonts = 4096;

using SFontLinks = SListLinks<CE3DFont, &CE3DFont::m_next, &CE3DFont::m_prev>;

}  // namespace

void E3DFont_SetNoticeHook(E3DFontNoticeHook hook) {
    g_notice = hook;
}

void E3DScreen_LinkFont(CE3DScreen* screen, CE3DFont* font) {
    SFontLinks::Push(screen->m_fonts, font);
    ++screen->m_fontCount;
}

void E3DScreen_UnlinkFont(CE3DScreen* screen, CE3DFont* font) {
    SFontLinks::Unlink(screen->m_fonts, font);
    --screen->m_fontCount;
}

CE3DFont* CE3DScreen::GetFont(const char* name, int32_t width, int32_t height, int32_t weight,
                              int32_t attributes, uint8_t outline) {
    if (!name) name = "";
    for (CE3DFont* f = m_fonts; f; f = f->m_next) {
        if (f->Matches(name, width, height, weight, attributes, outline)) {
            ++f->m_refCount;
            return f;
        }
    }
    if (g_notice) {
        char text[512];
        std::snprintf(
            text, sizeof text,
            "Waring font dynamicly allocated (Name: %s, Width: %d, Height: %d, Weight: %d, Attributes: %d, "
            "Outline: %d)",
            name, width, height, weight, attributes, int(outline));
        g_notice(text, 255, 0, 0, true);
    }
    CE3DFont* font = new CE3DFont(this);
    font->Build(name, width, height, weight, attributes, outline);
    font->m_refCount = 1;
    return font;
}

void CE3DScreen::PrepareFont(const char* name, int32_t width, int32_t height, int32_t weight,
                             int32_t attributes, uint8_t outline) {
    if (!name) name = "";
    for (CE3DFont* f = m_fonts; f; f = f->m_next)
        if (f->Matches(name, width, height, weight, attributes, outline)) return;
    CE3DFont* font = new CE3DFont(this);
    font->Build(name, width, height, weight, attributes, outline);
    font->m_refCount = 1;  // the screen's own, for the life of the screen
}

// The compiled-fonts file: a u32 count, then one record per font in the
// order of the font list (the record's layout is beside CE3DFont::Encode).
void CE3DScreen::SaveCompiledFonts(const char* path) {
    CVFSFile file;
    if (!file.Open(path, CVFSFile::kModeWrite)) return;
    file.WriteU32(uint32_t(m_fontCount));
    for (CE3DFont* f = m_fonts; f; f = f->m_next) f->Save(&file);
    file.Close();
}

bool CE3DScreen::LoadCompiledFonts(const char* path) {
    CVFSFile file;
    if (!file.Open(path, CVFSFile::kModeRead)) return false;
    const bool ok = E3DFont_LoadCompiled(
        this, [&file](void* buf, size_t n) -> size_t { return file.Read(buf, uint32_t(n)); });
    file.Close();
    return ok;
}

bool E3DFont_LoadCompiled(CE3DScreen* screen, const std::function<size_t(void*, size_t)>& read) {
    uint8_t raw[4];
    if (read(raw, 4) != 4) return false;
    const uint32_t count =
        uint32_t(raw[0]) | uint32_t(raw[1]) << 8 | uint32_t(raw[2]) << 16 | uint32_t(raw[3]) << 24;
    if (count > kMaxCompiledFonts) return false;
    // A record that is short or does not hold together ends the load; the
    // fonts read before it stay.
    for (uint32_t i = 0; i < count; ++i) {
        CE3DFont* font = new CE3DFont(screen);
        if (!font->Decode(read)) {
            delete font;
            return false;
        }
        font->m_refCount = 1;  // fonts of the file stay for the life of the screen
    }
    return true;
}
