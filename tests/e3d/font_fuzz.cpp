// Fuzz target of the compiled-fonts reader and of the text markup. The input
// is read either as a whole file, or (first byte odd) as patches onto a valid
// file of two fonts, which reaches the record checks far more often than
// random bytes do. Every font that loads is then measured and drawn with, so
// a record that passed the checks but does not hold together shows as a bad
// read; and the input itself is drawn as text in lines, markup and all.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "e3d/Font.h"
#include "e3d/Screen.h"
#include "e3d/ScreenFonts.h"
#include "e3d/Surface.h"
#include "platform/d3d/Recorder.h"
#include "tools/lib/CompiledFontsWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CD3DRecorder* recorder = [] {
        auto* r = new CD3DRecorder;
        DDraw_SetFactory(r);
        return r;
    }();
    static const std::vector<uint8_t> base = CompiledFonts_File(
        {CompiledFonts_PatternFont("Arial", 3, false), CompiledFonts_PatternFont("Arial", 4, true)});
    recorder->ClearLog();

    std::vector<uint8_t> bytes;
    if (size > 0 && (data[0] & 1)) {
        bytes = base;
        if (size > 1 && data[1] < 16) bytes.resize(bytes.size() * data[1] / 16);  // cut short
        for (size_t i = 2; i + 5 <= size; i += 5) {
            uint32_t at;
            std::memcpy(&at, data + i, 4);
            if (!bytes.empty()) bytes[at % bytes.size()] = data[i + 4];
        }
    } else {
        bytes.assign(data, data + size);
    }

    CE3DScreen screen(nullptr, nullptr);
    size_t pos = 0;
    E3DFont_LoadCompiled(&screen, [&](void* buf, size_t n) {
        n = std::min(n, bytes.size() - pos);
        // An empty input has no data pointer at all: nothing is copied.
        if (n) std::memcpy(buf, bytes.data() + pos, n);
        pos += n;
        return n;
    });

    CE3DSurface surface(nullptr);
    if (!surface.Create(64, 16, true, SSurfacePixelFormat::Rgb565()) || !surface.Lock()) return 0;
    char text[257];
    for (int i = 0; i < 256; ++i) text[i] = char(i == 0 ? 'x' : i);
    text[256] = 0;
    for (CE3DFont* f = screen.m_fonts; f; f = f->m_next) {
        int32_t w, h;
        f->MeasureText(text, &w, &h);
        surface.SetFont(f);
        for (int start = 0; start < 256;) {
            const int next = surface.DrawGlyphs(text, 0, 0, 1, 2, 3, false, false, start, false);
            if (next <= start) break;
            start = next;
        }
    }
    static CE3DFont* pattern = [] {
        auto* f = new CE3DFont(nullptr);
        const std::vector<uint8_t> r = CompiledFonts_Record(CompiledFonts_PatternFont("Pattern", 4, true));
        size_t at = 0;
        f->Decode([&](void* buf, size_t n) {
            std::memcpy(buf, r.data() + at, n);
            at += n;
            return n;
        });
        return f;
    }();
    const std::string input(reinterpret_cast<const char*>(data), size);
    surface.SetFont(pattern);
    surface.m_clipRect = {3, 2, 40, 16};
    for (uint32_t flags : {0u, kE3DTextRight, kE3DTextCentre}) {
        surface.m_textFlags = flags;
        surface.DrawText(input.c_str(), flags == 0, 5, 9, 9, 9, size & 1, size & 2);
        int32_t w, h;
        pattern->MeasureText(input.c_str(), &w, &h);
    }
    surface.Unlock();
    return 0;
}
