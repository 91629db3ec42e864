// CE3DEmitterTemplate: the settings that particle emitters are made from.
// Templates are engine nodes (type 20) found by name or number through the
// engine (CE3DEngine::FindEmitterTemplateByName / ById); the emitter console
// commands and the effect scripts create and edit them, and emitters copy
// their values at construction and again on frame message 14.
//
// The settings keep the names the effect scripts use (BirthRate, LifeTime,
// ...). Check clamps what no emitter can use, with a line to the engine's
// trace for each value it changes: a pool (NumParticles) of more than
// kMaxParticles particles or fewer than 0, a life of 0 or less, a negative
// birth rate or one above kMaxBirthRate per second, negative sizes and
// variations, and any value that is not a number. A colour table without
// gradient points is reported once; emitters draw white in its place.
#pragma once

#include <cstdint>

#include "core/StrBuf.h"
#include "e3d/Node.h"

class CE3DColorTable;
class CE3DMaterial;
class CE3DTexture;

class CE3DEmitterTemplate : public CE3DNode {
public:
    static constexpr int32_t kMaxParticles = 131072;
    static constexpr float kMaxBirthRate = 100000.0f;
    static constexpr float kMinLifeTime = 0.01f;
    static constexpr int32_t kColorEntries = 1000;

    // Joins the engine's node list (through the screen, or the engine
    // without one) with id -1 and the name "NoName".
    explicit CE3DEmitterTemplate(CE3DScreen* screen);
    explicit CE3DEmitterTemplate(CE3DEngine* engine);
    ~CE3DEmitterTemplate() override;  // deletes its colour table

    const char* TemplateName() const override { return m_name.GetText(); }
    uint32_t TemplateId() const override { return uint32_t(m_id); }

    // The colour table, made with kColorEntries entries when there is none.
    CE3DColorTable* ColorTable();
    // Sorts the colour table's gradient points and fills the table again.
    void SortGradient();
    // Clamps the settings into what emitters can use; false when something
    // had to change (each change is traced).
    bool Check();
    // The template of that node (null for another kind of node).
    static CE3DEmitterTemplate* From(CE3DNode* node);

    // The 21 settings by number (1 to 21), in the order the scripts give
    // them: BirthRate, DeathWish, ReuseParticles, Speed, LifeTime,
    // VariableLifeTime, NumParticles, Size, Spread, SpreadCoofficient,
    // SpreadAround, SpreadAroundStart, SpeedModifier, PosVariationX, Y, Z,
    // Acceleration, SizeVariation, Shrink, SpeedVariation,
    // SpeedVariationCoefficient. 2 and 7 are integers, 3 a flag (as 0 or
    // 1), the rest floats.
    static constexpr int32_t kSettings = 21;
    enum : int32_t { kSettingDeathWish = 2, kSettingReuse = 3, kSettingNumParticles = 7 };
    static const char* SettingName(int32_t n);  // "" outside 1 to 21
    static bool IsIntSetting(int32_t n);
    float* FloatSetting(int32_t n);  // null for the integer ones and outside 1 to 21
    int32_t IntSetting(int32_t n) const;

    CStrBuf m_name;
    int32_t m_id = -1;
    CStrBuf m_materialName;
    int32_t NumParticles = 100;
    float BirthRate = 50.0f;
    float m_birthDecay = 0.0f;  // per second, the rate never falls below 0
    bool ReuseParticles = true;
    float Size = 0.001f;
    float Spread = 3.1415927f;
    float SpreadCoofficient = 1.0f;
    float SpreadAround = 1.0f;
    float SpreadAroundStart = 1.0f;
    float LifeTime = 1.0f;
    float VariableLifeTime = 0.5f;
    float Speed = 0.05f;
    float SpeedModifier = 1.0f;
    int32_t DeathWish = 0;
    float PosVariationX = 0.0f, PosVariationY = 0.0f, PosVariationZ = 0.0f;
    float Acceleration = 0.0f;
    float SizeVariation = 0.0f;
    float Shrink = 0.0f;
    float SpeedVariation = 0.05f;
    float SpeedVariationCoefficient = 1.0f;
    // 1: the texture frame follows the particle's age; 2: a frame picked at
    // birth; anything else: the particle's stored frame.
    int32_t m_frameMode = 1;
    int32_t m_userCount = 0;  // emitters made from the template
    CE3DTexture* m_texture = nullptr;
    CE3DMaterial* m_material = nullptr;
    CE3DColorTable* m_colorTable = nullptr;
    bool m_reportedEmptyTable = false;
};
