// The emitter editor's overlay: what the Emitter_ commands work on.
#include <cstdio>
#include <string>

#include "app/Game.h"
#include "app/GameConsole.h"
#include "e3d/ColorTable.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Engine.h"
#include "e3d/Surface.h"

std::vector<SEmitterEditorLine> CGame::EmitterEditorLines() {
    std::vector<SEmitterEditorLine> lines;
    const SEmitterEditor& editor = m_emitterEditor;
    CE3DEngine* engine = Engine();
    // Without a template being edited the one numbered 1 shows.
    const uint32_t id = editor.current >= 0 ? uint32_t(editor.current) : 1u;
    CE3DEmitterTemplate* t =
        engine ? CE3DEmitterTemplate::From(engine->FindEmitterTemplateById(id)) : nullptr;
    char text[160];
    auto line = [&](int y, uint8_t r, uint8_t g, uint8_t b) { lines.push_back({text, y, r, g, b}); };
    snprintf(text, sizeof text, "New Emitter with number   : %d", editor.newEmitter);
    line(30, 0, 200, 0);
    if (!t) return lines;
    snprintf(text, sizeof text, "Emitter Template number   : %d", t->m_id);
    line(40, 0, 200, 0);
    snprintf(text, sizeof text, "Name                      : %s", t->m_name.GetText());
    line(50, 0, 200, 0);
    snprintf(text, sizeof text,
             "(To change template name write 'Emitter_SetName [TheNameHare]' in the console)");
    line(60, 0, 200, 0);
    for (int32_t n = 1; n <= CE3DEmitterTemplate::kSettings; ++n) {
        // The settings' own names, the position variations (14 to 16) with
        // a blank before their axis: "PosVariation X".
        std::string label = CE3DEmitterTemplate::SettingName(n);
        if (n >= 14 && n <= 16) label.insert(label.size() - 1, " ");
        if (CE3DEmitterTemplate::IsIntSetting(n))
            snprintf(text, sizeof text, "%-26s: %d", label.c_str(), t->IntSetting(n));
        else
            snprintf(text, sizeof text, "%-26s: %f", label.c_str(), double(*t->FloatSetting(n)));
        if (n == editor.variable)
            line(90 + 10 * n, 255, 200, 0);
        else
            line(90 + 10 * n, 0, 200, 0);
    }
    const CE3DGradientPoint* point = nullptr;
    for (CE3DGradientPoint* p = t->m_colorTable ? t->m_colorTable->m_points : nullptr; p; p = p->m_next)
        if (p == editor.point) point = p;
    int y = 330;
    if (point) {
        snprintf(text, sizeof text, "Gradient Point Position   : %d", point->m_position);
        line(330, 0, 255, 0);
        snprintf(text, sizeof text, "Red Value                 : %f", double(point->m_red));
        line(340, 0, 255, 0);
        snprintf(text, sizeof text, "Green Value               : %f", double(point->m_green));
        line(350, 0, 255, 0);
        snprintf(text, sizeof text, "Blue Value                : %f", double(point->m_blue));
        line(360, 0, 255, 0);
        y = 380;
    }
    snprintf(text, sizeof text, "Number of Emitters        : %d", t->m_userCount);
    line(y, 0, 255, 0);
    return lines;
}

void CGame::DrawEmitterEditor(CE3DSurface* surface) {
    for (const SEmitterEditorLine& line : EmitterEditorLines())
        Game_DrawSurfaceText(surface, line.text.c_str(), 10, line.y, line.r, line.g, line.b);
}
