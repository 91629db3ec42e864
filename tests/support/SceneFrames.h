// Scene content for tests of the scene render: a frame that draws through the
// device the way a mesh does (a bounding sphere in Update, a draw in Render
// only when the sphere is in view), and shape blocks of flat quads for real
// meshes.
#pragma once

#include <cmath>
#include <vector>

#include "e3d/Camera.h"
#include "e3d/Material.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "platform/d3d/Direct3D.h"
#include "tools/lib/QuadGrid.h"

// A square of the given half size in the frame's xz plane (normal +y) or
// xy plane (normal -z, facing a camera that looks along +z), split into
// cells x cells quads, drawn lit (with the material colour) or unlit (with
// the vertex colour).
class CTestSquare : public CE3DFrame {
public:
    enum EPlane { kGround, kWall };
    CTestSquare(CE3DFrame* parent, CE3DCamera* camera, float half, uint32_t color, EPlane plane = kWall,
                int cells = 1)
        : CE3DFrame(parent), m_camera(camera), m_half(half), m_color(color) {
        ++m_camera->m_sphereTarget;
        const float step = 2.0f * half / float(cells);
        auto vertex = [&](int i, int j) {
            float a = -half + step * float(i), b = -half + step * float(j);
            return plane == kGround ? SVertex{a, 0.0f, b, 0.0f, 1.0f, 0.0f, color}
                                    : SVertex{a, b, 0.0f, 0.0f, 0.0f, -1.0f, color};
        };
        // Clockwise as the viewer sees the face (Direct3D's front faces).
        for (int i = 0; i < cells; ++i)
            for (int j = 0; j < cells; ++j) {
                SVertex a = vertex(i, j), b = vertex(i + 1, j), c = vertex(i, j + 1),
                        d = vertex(i + 1, j + 1);
                m_vertices.insert(m_vertices.end(), {a, c, b, b, c, d});
            }
    }
    ~CTestSquare() override { --m_camera->m_sphereTarget; }

    void Update(int* depth) override {
        float scale = 0.0f;
        for (int r = 0; r < 3; ++r) {
            float len = std::sqrt(m_render.m[r][0] * m_render.m[r][0] + m_render.m[r][1] * m_render.m[r][1] +
                                  m_render.m[r][2] * m_render.m[r][2]);
            scale = len > scale ? len : scale;
        }
        const float centre[3] = {m_render.m[3][0], m_render.m[3][1], m_render.m[3][2]};
        m_sphere = (m_flagsA & kFrameHidden) ? -1 : m_camera->AddSphere(centre, m_half * 1.4143f * scale);
        CE3DFrame::Update(depth);
    }
    void Render(int* depth) override {
        if (!(m_flagsA & kFrameHidden) && m_camera->SphereInView(m_sphere)) {
            ID3DDevice* d = m_camera->Device();
            d->SetTransform(D3DTRANSFORMSTATE_WORLD, m_render);
            d->SetRenderState(D3DRENDERSTATE_LIGHTING, lit ? 1 : 0);
            if (lit) {
                D3DMATERIAL7 m{};
                m.diffuse =
                    D3DCOLORVALUE{float(m_color >> 16 & 0xff) / 255.0f, float(m_color >> 8 & 0xff) / 255.0f,
                                  float(m_color & 0xff) / 255.0f, 1.0f};
                d->SetMaterial(m);
            }
            const uint32_t fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;
            d->DrawPrimitive(D3DPT_TRIANGLELIST, fvf, m_vertices.data(), uint32_t(m_vertices.size()), 0);
            m_camera->CountDraw(int32_t(m_vertices.size() / 3));
            ++draws;
        }
        CE3DFrame::Render(depth);
    }

    bool lit = false;
    int draws = 0;

private:
    struct SVertex {
        float x, y, z, nx, ny, nz;
        uint32_t color;
    };
    CE3DCamera* m_camera;
    float m_half;
    uint32_t m_color;
    int32_t m_sphere = -1;
    std::vector<SVertex> m_vertices;
};

// A block of cells x cells quads covering -half to half in its xy plane
// (facing -z) or, for the ground, its xz plane (facing up), in one vertex
// colour, with the material given.
inline CE3DShapeBlock* Test_AddQuadBlock(CE3DShape& shape, CE3DMaterial* material, float half, uint32_t color,
                                         int cells = 1, bool ground = false) {
    SQuadGrid grid;
    grid.half = half;
    grid.color = color;
    grid.cells = cells;
    grid.ground = ground;
    return QuadGrid_AddBlock(shape, material, grid);
}

// Every pass list of the material blends (the scene then sorts it).
inline void Test_MakeTranslucent(CE3DMaterial* m, uint32_t textureFactor = 0) {
    for (int stages = 1; stages <= 3; ++stages)
        for (CE3DMaterialPass* p = m->Passes(stages); p; p = p->m_next) {
            p->m_states->m_alphaBlend = 1;
            p->m_states->m_srcBlend = D3DBLEND_SRCALPHA;
            p->m_states->m_destBlend = D3DBLEND_INVSRCALPHA;
            p->m_states->m_textureFactor = textureFactor;
        }
}
