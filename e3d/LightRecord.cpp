#include "e3d/LightRecord.h"

#include "e3d/RecordReader.h"

bool E3DLightRecord_Read(CVFSFile& file, int version, SE3DLightRecord* out) {
    if (version < 12) return true;
    CE3DRecordReader in(file);
    SE3DLightRecord r = *out;
    in.Floats(&r.diffuse.r, 4);
    if (version >= 20) {
        in.Floats(&r.ambient.r, 4);
        in.Floats(&r.specular.r, 4);
    }
    r.type = in.U32();
    in.Floats(r.attenuation, 3);
    r.falloff = in.F32();
    r.phi = in.F32();
    r.range = in.F32();
    r.theta = in.F32();
    if (version >= 13) {
        r.enabled = in.U8();
        in.Floats(r.position, 3);
        in.Floats(r.angles, 3);
    }
    if (!in.Ok() || r.type < D3DLIGHT_POINT || r.type > D3DLIGHT_DIRECTIONAL) return false;
    *out = r;
    return true;
}
