// The loading-progress stack.
//
// A long load pushes an entry with a title and a number of steps, begins
// each step with Progress_SetText (a text and a number of sub-steps) and
// advances with Progress_Step; nested loaders push entries of their own on
// top. While the interface shows its progress screen, a step that moves the
// shown progress by more than 3 percent (or backwards) redraws the load
// screen at once, so loading shows movement without the main loop running.
#pragma once

#include <cstdint>

struct SProgressEntry {
    SProgressEntry** top = nullptr;  // the global top pointer
    SProgressEntry* below = nullptr;
    SProgressEntry* above = nullptr;
    int32_t subStepCount = 0;
    float totalSteps = 1.0f;
    float overall = 0.0f;  // done by the completed steps
    float inStep = 0.0f;   // done within the current step
    float inStepIncrement = 0.0f;
    char title[256] = {};
    char stepText[256] = {};
    float subStepIncrement = 0.0f;
    float subStepValue = 0.0f;  // 0 to 1 within the step
    float stepIndex = -1.0f;
    float lastDrawnOverall = -100.0f;
    float lastDrawnSubStep = -100.0f;

    float Shown() const { return overall + inStep; }
};

// The top entry, null when no load is under way.
extern SProgressEntry* g_ProgressTop;

void Progress_Push(const char* title, int steps);
void Progress_SetText(const char* text, const char* status, int subSteps);
void Progress_Step(const char* status);
void Progress_Pop();

// Called for every redraw of the load screen; tests count redraws with it.
typedef void (*ProgressRedrawHook)(const SProgressEntry* entry);
void Progress_SetRedrawHook(ProgressRedrawHook hook);
