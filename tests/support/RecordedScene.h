// A scene rendered on the recording back end, to be read call by call: a
// 640 x 480 screen without a window, and a camera whose viewport covers it,
// looking from (0, 0, -10) along +z through a lens of 45 degrees. A fixture
// derives from it: SetUp calls Install (a test may then change the recorded
// devices' capabilities), Open makes the screen and the camera, TearDown
// calls Close.
#pragma once

#include <gtest/gtest.h>

#include "e3d/Camera.h"
#include "e3d/E3D.h"
#include "platform/d3d/Recorder.h"

struct STestRecordedScene {
    CD3DRecorder rec;
    CE3DEngine* engine = nullptr;
    CE3DScreen* screen = nullptr;
    CE3DCamera* camera = nullptr;      // owned by the screen
    CE3DViewport* viewport = nullptr;  // owned by the device

    void Install() { DDraw_SetFactory(&rec); }
    void Open() {
        engine = new CE3DEngine;
        screen = new CE3DScreen(engine, engine->m_drivers[0]);
        ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 640, 480, true));
        camera = new CE3DCamera(screen);
        viewport = new CE3DViewport(screen->m_currentDevice);
        viewport->SetRect(0, 0, 640, 480);
        viewport->Attach(camera);
        viewport->m_view->LookAt(D3DVECTOR{0, 0, -10}, D3DVECTOR{0, 0, 0}, 0.0f);
        viewport->m_view->SetProjection(1.0f, 100.0f, 0.7853982f, 640.0f / 480.0f, true);
    }
    void Close() {
        delete engine;  // the screen, its cameras and viewports with it
        engine = nullptr;
        DDraw_SetFactory(nullptr);
    }
};
