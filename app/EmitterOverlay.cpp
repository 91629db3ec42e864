// The emitter editor's overlay: what the Emitter_ commands work on.
#include <cstdio>

#include "app/Game.h"
#include "app/GameConsole.h"
#include "e3d/ColorTable.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Engine.h"
#include "e3d/Surface.h"

std::vector<std::string> CGame::EmitterEditorLines() {
    std::vector<std::string> lines;
    const SEmitterEditor& editor = m_emitterEditor;
    CE3DEngine* engine = Engine();
    CE3DEmitterTemplate* t = nullptr;
    if (engine && editor.current >= 0)
        t = CE3DEmitterTemplate::From(engine->FindEmitterTemplateById(uint32_t(editor.current)));
    char text[160];
    if (!t) {
        lines.push_back("Emitter editor: no emitter selected (Emitter_NextEmitter, Emitter_Create)");
        return lines;
    }
    snprintf(text, sizeof text, "Emitter %d: %s", t->m_id, t->m_name.GetText());
    lines.push_back(text);
    for (int32_t n = 1; n <= CE3DEmitterTemplate::kSettings; ++n) {
        const char mark = n == editor.variable ? '>' : ' ';
        if (CE3DEmitterTemplate::IsIntSetting(n))
            snprintf(text, sizeof text, "%c%2d %s = %d", mark, n, CE3DEmitterTemplate::SettingName(n),
                     t->IntSetting(n));
        else
            snprintf(text, sizeof text, "%c%2d %s = %.4f", mark, n, CE3DEmitterTemplate::SettingName(n),
                     double(*t->FloatSetting(n)));
        lines.push_back(text);
    }
    const CE3DGradientPoint* point = nullptr;
    for (CE3DGradientPoint* p = t->m_colorTable ? t->m_colorTable->m_points : nullptr; p; p = p->m_next)
        if (p == editor.point) point = p;
    if (point)
        snprintf(text, sizeof text, "Gradient point %d: %.3f %.3f %.3f %.3f", point->m_position,
                 double(point->m_red), double(point->m_green), double(point->m_blue), double(point->m_alpha));
    else
        snprintf(text, sizeof text, "No gradient point (Emitter_NextGradientPoint)");
    lines.push_back(text);
    return lines;
}

void CGame::DrawEmitterEditor(CE3DSurface* surface) {
    const int lineHeight = 12;
    int y = 40;
    for (const std::string& line : EmitterEditorLines()) {
        Game_DrawSurfaceText(surface, line.c_str(), 10, y, 255, 255, 255);
        y += lineHeight;
    }
}
