#include "e3d/EmitterTemplate.h"

#include <cmath>
#include <cstdio>

#include "e3d/ColorTable.h"
#include "e3d/Engine.h"

namespace {
constexpr const char* kContext = "CE3DEmitterTemplate::Check";
}

CE3DEmitterTemplate::CE3DEmitterTemplate(CE3DScreen* screen) : CE3DNode(screen), m_name("NoName") {
    m_nodeType = kE3DNodeEmitterTemplate;
}

CE3DEmitterTemplate::CE3DEmitterTemplate(CE3DEngine* engine) : CE3DNode(engine), m_name("NoName") {
    m_nodeType = kE3DNodeEmitterTemplate;
}

CE3DEmitterTemplate::~CE3DEmitterTemplate() {
    delete m_colorTable;
}

CE3DEmitterTemplate* CE3DEmitterTemplate::From(CE3DNode* node) {
    return dynamic_cast<CE3DEmitterTemplate*>(node);
}

const char* CE3DEmitterTemplate::SettingName(int32_t n) {
    static const char* const kNames[kSettings + 1] = {"",
                                                      "BirthRate",
                                                      "DeathWish",
                                                      "ReuseParticles",
                                                      "Speed",
                                                      "LifeTime",
                                                      "VariableLifeTime",
                                                      "NumParticles",
                                                      "Size",
                                                      "Spread",
                                                      "SpreadCoofficient",
                                                      "SpreadAround",
                                                      "SpreadAroundStart",
                                                      "SpeedModifier",
                                                      "PosVariationX",
                                                      "PosVariationY",
                                                      "PosVariationZ",
                                                      "Acceleration",
                                                      "SizeVariation",
                                                      "Shrink",
                                                      "SpeedVariation",
                                                      "SpeedVariationCoefficient"};
    return n >= 1 && n <= kSettings ? kNames[n] : "";
}

bool CE3DEmitterTemplate::IsIntSetting(int32_t n) {
    return n == kSettingDeathWish || n == kSettingReuse || n == kSettingNumParticles;
}

float* CE3DEmitterTemplate::FloatSetting(int32_t n) {
    float* const f[kSettings + 1] = {nullptr,
                                     &BirthRate,
                                     nullptr,
                                     nullptr,
                                     &Speed,
                                     &LifeTime,
                                     &VariableLifeTime,
                                     nullptr,
                                     &Size,
                                     &Spread,
                                     &SpreadCoofficient,
                                     &SpreadAround,
                                     &SpreadAroundStart,
                                     &SpeedModifier,
                                     &PosVariationX,
                                     &PosVariationY,
                                     &PosVariationZ,
                                     &Acceleration,
                                     &SizeVariation,
                                     &Shrink,
                                     &SpeedVariation,
                                     &SpeedVariationCoefficient};
    return n >= 1 && n <= kSettings ? f[n] : nullptr;
}

int32_t CE3DEmitterTemplate::IntSetting(int32_t n) const {
    if (n == kSettingDeathWish) return DeathWish;
    if (n == kSettingReuse) return ReuseParticles ? 1 : 0;
    if (n == kSettingNumParticles) return NumParticles;
    return 0;
}

CE3DColorTable* CE3DEmitterTemplate::ColorTable() {
    if (!m_colorTable) m_colorTable = new CE3DColorTable(kColorEntries);
    return m_colorTable;
}

void CE3DEmitterTemplate::SortGradient() {
    if (m_colorTable) m_colorTable->SortGradient();
}

bool CE3DEmitterTemplate::Check() {
    bool fine = true;
    auto report = [&](const char* field, double was, double now) {
        char text[256];
        snprintf(text, sizeof text, "Emitter template %d \"%s\": %s %g cannot be used, %g instead", m_id,
                 m_name.GetText(), field, was, now);
        E3DTrace(m_engine, text, kContext);
        fine = false;
    };
    // A value that is not a number takes the default; then the range.
    auto clamp = [&](const char* field, float& v, float fallback, float low, float high) {
        const float was = v;
        if (!std::isfinite(v)) v = fallback;
        if (v < low) v = low;
        if (v > high) v = high;
        if (!(v == was)) report(field, was, v);
    };
    const float kHuge = 3.0e38f;
    if (NumParticles < 0 || NumParticles > kMaxParticles) {
        const int32_t was = NumParticles;
        NumParticles = NumParticles < 0 ? 0 : kMaxParticles;
        report("NumParticles", was, NumParticles);
    }
    clamp("BirthRate", BirthRate, 0.0f, 0.0f, kMaxBirthRate);
    clamp("birth decay", m_birthDecay, 0.0f, 0.0f, kHuge);
    clamp("LifeTime", LifeTime, 1.0f, kMinLifeTime, kHuge);
    clamp("VariableLifeTime", VariableLifeTime, 0.0f, 0.0f, kHuge);
    clamp("Size", Size, 0.001f, 0.0f, kHuge);
    clamp("SizeVariation", SizeVariation, 0.0f, 0.0f, kHuge);
    clamp("Speed", Speed, 0.05f, -kHuge, kHuge);
    clamp("SpeedVariation", SpeedVariation, 0.0f, -kHuge, kHuge);
    clamp("SpeedVariationCoefficient", SpeedVariationCoefficient, 1.0f, 0.0f, kHuge);
    clamp("SpeedModifier", SpeedModifier, 1.0f, -kHuge, kHuge);
    clamp("Spread", Spread, 3.1415927f, -kHuge, kHuge);
    clamp("SpreadCoofficient", SpreadCoofficient, 1.0f, 0.0f, kHuge);
    clamp("SpreadAround", SpreadAround, 1.0f, -kHuge, kHuge);
    clamp("SpreadAroundStart", SpreadAroundStart, 1.0f, -kHuge, kHuge);
    clamp("PosVariationX", PosVariationX, 0.0f, -kHuge, kHuge);
    clamp("PosVariationY", PosVariationY, 0.0f, -kHuge, kHuge);
    clamp("PosVariationZ", PosVariationZ, 0.0f, -kHuge, kHuge);
    clamp("Acceleration", Acceleration, 0.0f, -kHuge, kHuge);
    clamp("Shrink", Shrink, 0.0f, -kHuge, kHuge);
    if (m_colorTable && !m_colorTable->m_points && !m_reportedEmptyTable) {
        char text[256];
        snprintf(text, sizeof text, "Emitter template %d \"%s\": no gradient points, the particles are white",
                 m_id, m_name.GetText());
        E3DTrace(m_engine, text, kContext);
        m_reportedEmptyTable = true;
    }
    return fine;
}
