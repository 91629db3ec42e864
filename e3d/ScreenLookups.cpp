// The screen's look-ups of materials and textures by name and by id pair.
#include <strings.h>

#include "e3d/Material.h"
#include "e3d/Screen.h"
#include "e3d/Texture.h"

CE3DMaterial* CE3DScreen::FindMaterialByName(const char* name) const {
    if (!name) name = "";
    for (CE3DMaterial* m = m_materials; m; m = m->m_next)
        if (strcasecmp(m->m_name.GetText(), name) == 0) return m;
    return nullptr;
}

CE3DMaterial* CE3DScreen::FindMaterial(uint32_t projectId, uint32_t materialId) const {
    for (CE3DMaterial* m = m_materials; m; m = m->m_next)
        if (m->m_projectId == uint16_t(projectId) && m->m_materialId == materialId && !m->m_flags) return m;
    return m_defaultMaterial;
}

CE3DTexture* CE3DScreen::FindTexture(uint32_t projectId, uint32_t textureId) const {
    for (CE3DTexture* t = m_textures; t; t = t->m_nextTexture)
        if (t->m_projectId == uint16_t(projectId) && t->m_textureId == textureId && !t->m_skip) return t;
    return m_defaultTexture;
}

void CE3DScreen::RefreshMaterials() {
    for (CE3DMaterial* m = m_materials; m; m = m->m_next) m->RefreshTextures();
}
