// CE3DEngine: the root of the 3D engine. One exists; the game view makes it
// first and deletes it last. It lists the display drivers with their modes,
// owns the frame timer, the depth-sort scratch buffers, every screen and every
// engine node, and finds emitter templates by name and id.
#pragma once

#include <cstdint>

#include "e3d/E3DMath.h"
#include "platform/d3d/D3DTypes.h"

class CE3DTimer;
class CE3DScreen;
class CE3DNode;
class CE3DShapeBlock;

// One display driver: a fixed record, copied whole.
struct SDirectDrawDesc {
    uint32_t passFlags = 0;  // the enumeration pass that reported it
    SD3DGuid guid{};         // ignored when primary
    uint8_t primary = 0;     // 1: the primary display driver (no GUID)
    char description[256] = {};
    char driverName[256] = {};
    int32_t monitor = 0;               // display index + 1, 0 for none
    DDSURFACEDESC2** modes = nullptr;  // owned copies, in reported order
    int32_t modeCount = 0;
};

constexpr int kE3DSortScratch = 65535;

class CE3DEngine {
public:
    CE3DEngine();
    virtual ~CE3DEngine();
    CE3DEngine(const CE3DEngine&) = delete;
    CE3DEngine& operator=(const CE3DEngine&) = delete;

    void AddDriver(const SDirectDrawDesc& driver);
    // Appends a copy of the mode to the driver's list.
    static void AddMode(SDirectDrawDesc* driver, const DDSURFACEDESC2& mode);
    CE3DNode* FindEmitterTemplateByName(const char* name) const;
    CE3DNode* FindEmitterTemplateById(uint32_t id) const;

    // Called by the screen's constructor once its DirectDraw object exists.
    void AddScreen(CE3DScreen* screen);
    // Called by a screen deleted before the engine (the engine forgets it).
    void RemoveScreen(CE3DScreen* screen);

    uint32_t m_reserved = 0;
    const char* m_version = "0.8b";
    uint32_t m_idSet = 0;  // first half of the id pair of new materials and textures
    CE3DTimer* m_timer = nullptr;
    SDirectDrawDesc** m_drivers = nullptr;
    int32_t m_driverCount = 0;
    CE3DShapeBlock* m_defaultShapeBlock = nullptr;  // made by the shape-block code when it is present
    CE3DScreen** m_screens = nullptr;
    int32_t m_screenCount = 0;
    uint32_t m_enumPass = 0;
    CE3DNode* m_nodes = nullptr;  // head of the node list
    CE3DNode* m_reservedList = nullptr;
    float* m_keyBuffer = nullptr;  // depth-sort scratch, kE3DSortScratch each
    uint16_t* m_orderBuffer = nullptr;
    uint16_t* m_indexBuffer = nullptr;
};

// The engine's failure report. The context is a function signature or one of
// "3D Engine", "Error", "DirectDrawError", "Direct3DError". Texts go to the
// installed sink; without one, to standard error when the environment sets
// TESSARAK_E3D_TRACE, otherwise nowhere.
void E3DTrace(CE3DEngine* engine, const char* message, const char* context);
// Reports the published name of a DirectDraw or Direct3D result code.
void E3DErrorText(CE3DEngine* engine, int32_t code);
// The published name of a code and its family context, or null for a code
// that is not in the table.
const char* E3D_ErrorName(int32_t code, const char** context);

typedef void (*E3DTraceSink)(const char* message, const char* context, void* user);
void E3D_SetTraceSink(E3DTraceSink sink, void* user);

// Appends to one of the engine's pointer arrays (screens, devices,
// viewports). It grows by one element at a time: the lists are short and set
// up once.
template <typename T>
void E3DList_Append(T**& array, int32_t& count, T* item) {
    T** grown = new T*[count + 1];
    for (int32_t i = 0; i < count; ++i) grown[i] = array[i];
    grown[count] = item;
    delete[] array;
    array = grown;
    ++count;
}

// Removes an item from one of those arrays: a new array one smaller, or none
// for the last item.
template <typename T>
void E3DList_Remove(T**& array, int32_t& count, T* item) {
    int32_t at = -1;
    for (int32_t i = 0; i < count; ++i)
        if (array[i] == item) at = i;
    if (at < 0) return;
    T** smaller = count > 1 ? new T*[count - 1] : nullptr;
    for (int32_t i = 0, j = 0; i < count; ++i)
        if (i != at) smaller[j++] = array[i];
    delete[] array;
    array = smaller;
    --count;
}
