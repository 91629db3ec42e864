// A 3D engine without a window for world tests whose view makes frames of
// the engine (emitters): its device is the recording one. Make it before the
// world and delete it after (the world's emitters use its templates and its
// timer, which steps the view by 0.1 s).
#pragma once

#include "e3d/ColorTable.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Engine.h"
#include "e3d/Timer.h"
#include "platform/d3d/Recorder.h"

struct SRecordedEngine {
    CD3DRecorder rec;
    CE3DEngine* engine = nullptr;
    SRecordedEngine() {
        DDraw_SetFactory(&rec);
        engine = new CE3DEngine;
        engine->m_timer->m_gameStep = 0.1f;
    }
    ~SRecordedEngine() {
        delete engine;
        DDraw_SetFactory(nullptr);
    }
    SRecordedEngine(const SRecordedEngine&) = delete;
    SRecordedEngine& operator=(const SRecordedEngine&) = delete;

    // A named emitter template of the engine: particles of a fixed life at a
    // fixed speed, grey.
    CE3DEmitterTemplate* EmitterTemplate(int32_t id, const char* name, float birthRate, float lifeTime,
                                         int32_t particles, float speed) {
        CE3DEmitterTemplate* t = new CE3DEmitterTemplate(engine);
        t->m_id = id;
        t->m_name = name;
        t->BirthRate = birthRate;
        t->LifeTime = lifeTime;
        t->VariableLifeTime = 0.0f;
        t->NumParticles = particles;
        t->Speed = speed;
        t->SpeedVariation = 0.0f;
        t->ColorTable()->AddPoint(0, 0.4f, 0.4f, 0.4f);
        t->SortGradient();
        return t;
    }
};
