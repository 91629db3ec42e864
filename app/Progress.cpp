#include "app/Progress.h"

#include <cstring>

#include "app/Game.h"
#include "ui/Interface.h"

SProgressEntry* g_ProgressTop = nullptr;

static ProgressRedrawHook s_redrawHook = nullptr;

void Progress_SetRedrawHook(ProgressRedrawHook hook) {
    s_redrawHook = hook;
}

static void CopyText(char (&dst)[256], const char* src) {
    if (!src) src = "";
    std::strncpy(dst, src, sizeof dst - 1);
    dst[sizeof dst - 1] = 0;
}

static CInterface* Interface() {
    return g_pGame ? g_pGame->Interface() : nullptr;
}

void Progress_Push(const char* title, int steps) {
    SProgressEntry* entry = new SProgressEntry;
    entry->top = &g_ProgressTop;
    entry->below = g_ProgressTop;
    if (g_ProgressTop) g_ProgressTop->above = entry;
    g_ProgressTop = entry;
    CopyText(entry->title, title);
    entry->totalSteps = (float)(steps < 1 ? 1 : steps);
    entry->overall = 0.0f;
    entry->stepIndex = -1.0f;
    CInterface* ui = Interface();
    if (g_pGame && g_pGame->Variables().progressDrawing && ui) {
        ui->m_progressScreen = 1;
        ui->SetLoadScreenImage();
    }
}

void Progress_SetText(const char* text, const char* status, int subSteps) {
    SProgressEntry* e = g_ProgressTop;
    if (!e) return;
    if (subSteps < 1) subSteps = 1;
    e->subStepCount = 0;
    e->stepIndex += 1.0f;
    CopyText(e->stepText, text);
    e->overall = e->stepIndex / e->totalSteps;
    e->inStep = 0.0f;
    e->inStepIncrement = (1.0f / e->totalSteps) / (float)subSteps;
    e->subStepIncrement = 1.0f / (float)subSteps;
    e->subStepValue = -(1.0f / (float)subSteps);
    Progress_Step(status);
}

static void Redraw(SProgressEntry* e) {
    if (s_redrawHook) s_redrawHook(e);
    CInterface* ui = Interface();
    if (!ui || !g_pGame) return;
    ui->DrawProgressFrame();
    g_pGame->Redraw();
}

void Progress_Step(const char* status) {
    SProgressEntry* e = g_ProgressTop;
    if (!e) return;
    e->subStepCount++;
    e->subStepValue += e->subStepIncrement;
    e->inStep += e->inStepIncrement;
    CInterface* ui = Interface();
    if (ui) ui->m_statusLine.Assign(status ? status : "");
    if (!ui || !ui->m_progressScreen) return;
    float d1 = e->Shown() - e->lastDrawnOverall;
    float d2 = e->subStepValue - e->lastDrawnSubStep;
    if (!(d1 > 0.03f || d2 > 0.03f || d1 < 0.0f || d2 < 0.0f)) return;
    e->lastDrawnOverall = e->Shown();
    e->lastDrawnSubStep = e->subStepValue;
    Redraw(e);
}

void Progress_Pop() {
    // An unbalanced pop is ignored rather than taking the stack apart.
    SProgressEntry* e = g_ProgressTop;
    if (!e) return;
    g_ProgressTop = e->below;
    if (g_ProgressTop) g_ProgressTop->above = nullptr;
    delete e;
    CInterface* ui = Interface();
    if (!g_ProgressTop && g_pGame && g_pGame->Variables().progressDrawing && ui) ui->m_progressScreen = 0;
}
