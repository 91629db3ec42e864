#include "e3d/Engine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "e3d/Node.h"
#include "e3d/Screen.h"
#include "e3d/ShapeBlock.h"
#include "e3d/Timer.h"
#include "platform/d3d/Direct3D.h"

namespace {

E3DTraceSink g_sink = nullptr;
void* g_sinkUser = nullptr;

void CopyText(char* dst, const char* src) {
    // At most 256 characters, always terminated.
    if (!src) src = "";
    const size_t n = strnlen(src, 255);
    memcpy(dst, src, n);
    dst[n] = 0;
}

}  // namespace

CE3DEngine::CE3DEngine() {
    E3D_FillTables();
    IDDFactory* factory = DDraw_Factory();
    const uint32_t passes[4] = {0, DDENUM_ATTACHEDSECONDARYDEVICES, DDENUM_DETACHEDSECONDARYDEVICES,
                                DDENUM_NONDISPLAYDEVICES};
    for (uint32_t pass : passes) {
        m_enumPass = pass;
        std::vector<SDDDriverRecord> found;
        factory->EnumerateDrivers(pass, &found);
        for (const SDDDriverRecord& rec : found) {
            SDirectDrawDesc desc;
            desc.passFlags = m_enumPass;
            CopyText(desc.description, rec.description);
            CopyText(desc.driverName, rec.name);
            if (rec.hasGuid) {
                desc.guid = rec.guid;
                desc.primary = 0;
            } else {
                desc.primary = 1;
            }
            desc.monitor = rec.monitor;
            std::vector<DDSURFACEDESC2> modes;
            if (factory->EnumerateModes(rec, &modes))
                for (const DDSURFACEDESC2& m : modes) AddMode(&desc, m);
            AddDriver(desc);
            // AddDriver copied the record, mode array included.
        }
    }
    m_timer = new CE3DTimer();
    m_keyBuffer = new float[kE3DSortScratch];
    m_orderBuffer = new uint16_t[kE3DSortScratch];
    m_indexBuffer = new uint16_t[kE3DSortScratch];
    // The default block: three vertices, one face, no shape.
    m_defaultShapeBlock = new CE3DShapeBlock(nullptr);
    m_defaultShapeBlock->m_vertexCount = 3;
    m_defaultShapeBlock->AllocIndices(1, 3);
}

CE3DEngine::~CE3DEngine() {
    // Screens delete their own registries; each removes itself from the array.
    while (m_screenCount > 0) delete m_screens[m_screenCount - 1];
    delete[] m_screens;
    m_screens = nullptr;
    for (int32_t i = 0; i < m_driverCount; ++i) {
        SDirectDrawDesc* d = m_drivers[i];
        for (int32_t m = 0; m < d->modeCount; ++m) delete d->modes[m];
        delete[] d->modes;
        delete d;
    }
    delete[] m_drivers;
    while (m_nodes) delete m_nodes;  // each node unlinks itself
    delete[] m_keyBuffer;
    delete[] m_orderBuffer;
    delete[] m_indexBuffer;
    while (m_reservedList) delete m_reservedList;
    delete m_timer;
    delete m_defaultShapeBlock;
    m_defaultShapeBlock = nullptr;
}

void CE3DEngine::AddMode(SDirectDrawDesc* driver, const DDSURFACEDESC2& mode) {
    E3DList_Append(driver->modes, driver->modeCount, new DDSURFACEDESC2(mode));
}

void CE3DEngine::AddDriver(const SDirectDrawDesc& driver) {
    E3DList_Append(m_drivers, m_driverCount, new SDirectDrawDesc(driver));
}

void CE3DEngine::AddScreen(CE3DScreen* screen) {
    E3DList_Append(m_screens, m_screenCount, screen);
}

void CE3DEngine::RemoveScreen(CE3DScreen* screen) {
    for (int32_t i = 0; i < m_screenCount; ++i)
        if (m_screens[i] == screen) {
            for (int32_t j = i + 1; j < m_screenCount; ++j) m_screens[j - 1] = m_screens[j];
            --m_screenCount;
            return;
        }
}

CE3DNode* CE3DEngine::FindEmitterTemplateByName(const char* name) const {
    if (!name) name = "";
    for (CE3DNode* n = m_nodes; n; n = n->m_next) {
        if (n->m_nodeType != kE3DNodeEmitterTemplate) continue;
        const char* own = n->TemplateName();
        if (strncasecmp(own ? own : "", name, 256) == 0) return n;
    }
    return nullptr;
}

CE3DNode* CE3DEngine::FindEmitterTemplateById(uint32_t id) const {
    for (CE3DNode* n = m_nodes; n; n = n->m_next)
        if (n->m_nodeType == kE3DNodeEmitterTemplate && n->TemplateId() == id) return n;
    return nullptr;
}

// ---------------------------------------------------------------------------

void E3D_SetTraceSink(E3DTraceSink sink, void* user) {
    g_sink = sink;
    g_sinkUser = user;
}

void E3DTrace(CE3DEngine*, const char* message, const char* context) {
    if (g_sink) {
        g_sink(message ? message : "", context ? context : "", g_sinkUser);
        return;
    }
    // Without a listener the texts go to standard error when asked for: a
    // failing display can then be diagnosed without a debugger.
    static const bool toStderr = getenv("TESSARAK_E3D_TRACE") != nullptr;
    if (toStderr) fprintf(stderr, "E3D %s: %s\n", context ? context : "", message ? message : "");
}

namespace {
struct SErrorName {
    int32_t code;
    const char* name;
    bool direct3D;
};
#define E3D_DD_ROW(name, value) {value, #name, false},
#define E3D_D3D_ROW(name, value) {value, #name, true},
const SErrorName kErrorNames[] = {D3D_DIRECTDRAW_ERRORS(E3D_DD_ROW) D3D_DIRECT3D_ERRORS(E3D_D3D_ROW)};
#undef E3D_DD_ROW
#undef E3D_D3D_ROW
}  // namespace

const char* E3D_ErrorName(int32_t code, const char** context) {
    for (const SErrorName& e : kErrorNames)
        if (e.code == code) {
            if (context) *context = e.direct3D ? "Direct3DError" : "DirectDrawError";
            return e.name;
        }
    return nullptr;
}

void E3DErrorText(CE3DEngine* engine, int32_t code) {
    if (code == 0) return;
    // The system's own text for the code: here the code itself, as there is no
    // message table to ask.
    char text[64];
    snprintf(text, sizeof text, "Error 0x%08X", uint32_t(code));
    E3DTrace(engine, text, "DirectDrawError");
    const char* context = nullptr;
    const char* name = E3D_ErrorName(code, &context);
    if (name) E3DTrace(engine, name, context);
}
