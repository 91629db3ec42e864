#include "platform/d3d/Recorder.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/d3d/D3DDeviceState.h"

namespace {

std::string Fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char* f, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, f);
    vsnprintf(buf, sizeof buf, f, ap);
    va_end(ap);
    return buf;
}

std::string SurfaceName(CSoftSurface* s, const std::map<CSoftSurface*, std::string>& names) {
    if (!s) return "null";
    auto it = names.find(s);
    return it == names.end() ? "surface?" : it->second;
}

class CRecDevice;

class CRecDDraw : public IDDraw {
public:
    CRecDDraw(CD3DRecorder* rec, const CD3DRecorder::SDriver* driver) : m_rec(rec), m_driver(driver) {}
    ~CRecDDraw() override { m_rec->Call("ReleaseDirectDraw"); }

    D3DResult GetCaps(DDCAPS* caps) override {
        D3DResult r = m_rec->Call("GetCaps");
        if (r) return r;
        DDCAPS c;
        c.dwFXCaps = DDFXCAPS_BLTSTRETCHX | DDFXCAPS_BLTSTRETCHY;
        c.dwVidMemTotal = uint32_t(m_rec->videoMemory);
        c.dwVidMemFree = uint32_t(m_rec->videoMemory);
        *caps = c;
        return D3D_OK;
    }
    D3DResult SetCooperativeLevel(CDisplayWindow*, uint32_t flags) override {
        return m_rec->Call(Fmt("SetCooperativeLevel 0x%x", flags));
    }
    D3DResult SetDisplayMode(uint32_t w, uint32_t h, uint32_t bits, uint32_t refresh) override {
        D3DResult r = m_rec->Call(Fmt("SetDisplayMode %ux%ux%u@%u", w, h, bits, refresh));
        if (r) return r;
        for (const DDSURFACEDESC2& m : m_driver->modes)
            if (m.dwWidth == w && m.dwHeight == h && m.ddpfPixelFormat.dwRGBBitCount == bits) {
                m_bits = bits;
                return D3D_OK;
            }
        return DDERR_INVALIDMODE;
    }
    D3DResult TestCooperativeLevel() override { return m_rec->Call("TestCooperativeLevel"); }
    D3DResult RestoreDisplayMode() override {
        m_bits = 32;
        return m_rec->Call("RestoreDisplayMode");
    }

    D3DResult CreateSurface(const SDDSurfaceDesc& d, CSoftSurface** out) override {
        *out = nullptr;
        const char* kind = (d.caps & kCapsPrimary)      ? "primary"
                           : (d.caps & DDSCAPS_ZBUFFER) ? "zbuffer"
                           : (d.caps & DDSCAPS_TEXTURE) ? "texture"
                           : (d.caps & kCaps3DDevice)   ? "backbuffer"
                                                        : "plain";
        const char* mem = (d.caps & kCapsSystemMemory)  ? "system"
                          : (d.caps & kCapsVideoMemory) ? "video"
                                                        : "any";
        D3DResult r = m_rec->Call(Fmt("CreateSurface %s %s %ux%u", kind, mem, d.width, d.height));
        if (r) return r;
        bool primary = (d.caps & kCapsPrimary) != 0;
        if (primary && m_primaries > 0) return DDERR_PRIMARYSURFACEALREADYEXISTS;
        uint32_t w = d.width, h = d.height;
        if (primary) {
            w = m_displayW;
            h = m_displayH;
            if (d.flags & kDescWidth) w = d.width, h = d.height;
        }
        if (!primary && (w == 0 || h == 0)) return DDERR_INVALIDPARAMS;
        SSurfacePixelFormat fmt = D3D_DisplayFormat(m_bits);
        if (d.caps & DDSCAPS_ZBUFFER) {
            fmt = SSurfacePixelFormat();
            fmt.flags = kPixelZBuffer;
            fmt.bitCount = 16;
            fmt.rMask = 0xffff;
        } else if ((d.flags & kDescPixelFormat) && d.pixelFormat.bitCount) {
            fmt = d.pixelFormat;
        }
        int64_t bytes = int64_t(w) * h * (fmt.bitCount / 8);
        bool video = (d.caps & kCapsSystemMemory) == 0 && !primary;
        if (video && bytes > m_rec->videoMemory) return DDERR_OUTOFVIDEOMEMORY;
        CSoftSurface* s = CSoftSurface::Create(int(w), int(h), fmt, d.caps);
        if (!s) return DDERR_OUTOFMEMORY;
        if (video) {
            m_rec->videoMemory -= bytes;
            m_video[s] = bytes;
        }
        if (primary) ++m_primaries;
        m_names[s] = Fmt("%s#%d", kind, ++m_serial);
        *out = s;
        if (primary && (d.caps & DDSCAPS_FLIP)) {
            CSoftSurface* back = CSoftSurface::Create(int(w), int(h), fmt, d.caps | DDSCAPS_BACKBUFFER);
            m_names[back] = Fmt("backbuffer#%d", ++m_serial);
            m_attachedBack[s] = back;
        }
        return D3D_OK;
    }
    D3DResult CreateMipTexture(uint32_t w, uint32_t h, uint32_t levels, const SSurfacePixelFormat& f,
                               CSoftSurface** out) override {
        *out = nullptr;
        D3DResult r = m_rec->Call(Fmt("CreateMipTexture %ux%u levels=%u bits=%u", w, h, levels, f.bitCount));
        if (r) return r;
        std::vector<CSoftSurface*> chain = D3D_MakeMipChain(w, h, levels, f);
        if (chain.empty()) return DDERR_INVALIDPARAMS;
        m_names[chain[0]] = Fmt("texture#%d", ++m_serial);
        m_mips[chain[0]] = chain;
        *out = chain[0];
        return D3D_OK;
    }
    D3DResult GetMipLevel(CSoftSurface* top, uint32_t level, CSoftSurface** out) override {
        auto it = m_mips.find(top);
        if (it == m_mips.end() || level >= it->second.size()) return DDERR_NOTFOUND;
        *out = it->second[level];
        return D3D_OK;
    }
    D3DResult GetAttachedBackBuffer(CSoftSurface* primary, CSoftSurface** out) override {
        D3DResult r = m_rec->Call("GetAttachedSurface " + SurfaceName(primary, m_names));
        if (r) return r;
        auto it = m_attachedBack.find(primary);
        if (it == m_attachedBack.end()) return DDERR_NOTFOUND;
        *out = it->second;
        m_attachedBack.erase(it);
        return D3D_OK;
    }
    D3DResult AddAttachedSurface(CSoftSurface* target, CSoftSurface* z) override {
        return m_rec->Call("AddAttachedSurface " + SurfaceName(target, m_names) + " " +
                           SurfaceName(z, m_names));
    }
    void ForgetSurface(CSoftSurface* s) override {
        if (!s || m_names.find(s) == m_names.end()) return;
        m_rec->Call("ReleaseSurface " + SurfaceName(s, m_names));
        auto v = m_video.find(s);
        if (v != m_video.end()) {
            m_rec->videoMemory += v->second;
            m_video.erase(v);
        }
        if (m_names[s].compare(0, 7, "primary") == 0) --m_primaries;
        auto mip = m_mips.find(s);
        if (mip != m_mips.end()) {
            for (size_t i = 1; i < mip->second.size(); ++i) delete mip->second[i];
            m_mips.erase(mip);
        }
        auto b = m_attachedBack.find(s);
        if (b != m_attachedBack.end()) {
            delete b->second;
            m_attachedBack.erase(b);
        }
        m_names.erase(s);
    }
    D3DResult CreateClipper(CDisplayWindow*) override { return m_rec->Call("CreateClipper"); }
    void ReleaseClipper() override { m_rec->Call("ReleaseClipper"); }
    D3DResult Blt(CSoftSurface* primary, const SSurfaceRect& dst, CSoftSurface* back,
                  const SSurfaceRect& src) override {
        return m_rec->Call(Fmt("Blt %s (%d,%d,%d,%d) %s (%d,%d,%d,%d)", SurfaceName(primary, m_names).c_str(),
                               dst.left, dst.top, dst.right, dst.bottom, SurfaceName(back, m_names).c_str(),
                               src.left, src.top, src.right, src.bottom));
    }
    D3DResult Flip(CSoftSurface* primary) override {
        return m_rec->Call("Flip " + SurfaceName(primary, m_names));
    }
    D3DResult QueryDirect3D(ID3D** out) override;

    std::string Name(CSoftSurface* s) const { return SurfaceName(s, m_names); }
    CD3DRecorder* Rec() const { return m_rec; }

    int m_displayW = 1024, m_displayH = 768;

private:
    CD3DRecorder* m_rec;
    const CD3DRecorder::SDriver* m_driver;
    uint32_t m_bits = 32;
    int m_primaries = 0;
    int m_serial = 0;
    std::map<CSoftSurface*, std::string> m_names;
    std::map<CSoftSurface*, int64_t> m_video;
    std::map<CSoftSurface*, CSoftSurface*> m_attachedBack;
    std::map<CSoftSurface*, std::vector<CSoftSurface*>> m_mips;
};

class CRecD3D : public ID3D {
public:
    explicit CRecD3D(CRecDDraw* dd) : m_dd(dd) {}
    ~CRecD3D() override { m_dd->Rec()->Call("ReleaseDirect3D"); }
    D3DResult EnumDevices(std::vector<SD3DDeviceRecord>* out) override {
        D3DResult r = m_dd->Rec()->Call("EnumDevices");
        if (r) return r;
        *out = m_dd->Rec()->devices;
        return D3D_OK;
    }
    D3DResult EnumZBufferFormats(const SD3DGuid& g, std::vector<DDPIXELFORMAT>* out) override {
        D3DResult r = m_dd->Rec()->Call("EnumZBufferFormats " + D3D_GuidText(g));
        if (r) return r;
        *out = m_dd->Rec()->zFormats;
        return D3D_OK;
    }
    D3DResult CreateDevice(const SD3DGuid& g, CSoftSurface* back, ID3DDevice** out) override;
    D3DResult EvictManagedTextures() override { return m_dd->Rec()->Call("EvictManagedTextures"); }

private:
    CRecDDraw* m_dd;
};

class CRecDevice : public CD3DDeviceState {
public:
    CRecDevice(CRecDDraw* dd, const SD3DDeviceRecord& rec) : m_dd(dd), m_desc(rec.desc) {}
    ~CRecDevice() override { R()->Call("ReleaseDevice"); }
    CD3DRecorder* R() const { return m_dd->Rec(); }

    D3DResult GetCaps(D3DDEVICEDESC7* d) override {
        D3DResult r = R()->Call("GetDeviceCaps");
        if (!r) *d = m_desc;
        return r;
    }
    D3DResult EnumTextureFormats(std::vector<DDPIXELFORMAT>* out) override {
        D3DResult r = R()->Call("EnumTextureFormats");
        if (!r) *out = R()->textureFormats;
        return r;
    }
    D3DResult SetRenderTarget(CSoftSurface* s) override {
        return R()->Call("SetRenderTarget " + m_dd->Name(s));
    }
    D3DResult SetRenderState(uint32_t s, uint32_t v) override {
        D3DResult r = R()->Call(Fmt("SetRenderState %u %u", s, v));
        return r ? r : CD3DDeviceState::SetRenderState(s, v);
    }
    D3DResult GetRenderState(uint32_t s, uint32_t* v) override {
        D3DResult r = R()->Call(Fmt("GetRenderState %u", s));
        return r ? r : CD3DDeviceState::GetRenderState(s, v);
    }
    D3DResult SetTextureStageState(uint32_t st, uint32_t s, uint32_t v) override {
        D3DResult r = R()->Call(Fmt("SetTextureStageState %u %u %u", st, s, v));
        return r ? r : CD3DDeviceState::SetTextureStageState(st, s, v);
    }
    D3DResult GetTextureStageState(uint32_t st, uint32_t s, uint32_t* v) override {
        D3DResult r = R()->Call(Fmt("GetTextureStageState %u %u", st, s));
        return r ? r : CD3DDeviceState::GetTextureStageState(st, s, v);
    }
    D3DResult SetTexture(uint32_t st, CSoftSurface* t) override {
        D3DResult r = R()->Call(Fmt("SetTexture %u %s", st, m_dd->Name(t).c_str()));
        return r ? r : CD3DDeviceState::SetTexture(st, t);
    }
    D3DResult GetTexture(uint32_t st, CSoftSurface** t) override {
        D3DResult r = R()->Call(Fmt("GetTexture %u", st));
        return r ? r : CD3DDeviceState::GetTexture(st, t);
    }
    D3DResult SetTransform(uint32_t w, const D3DMATRIX& m) override {
        D3DResult r = R()->Call(Fmt("SetTransform %u", w));
        return r ? r : CD3DDeviceState::SetTransform(w, m);
    }
    D3DResult SetViewport(const D3DVIEWPORT7& vp) override {
        D3DResult r = R()->Call(Fmt("SetViewport %u %u %u %u %g %g", vp.dwX, vp.dwY, vp.dwWidth, vp.dwHeight,
                                    double(vp.dvMinZ), double(vp.dvMaxZ)));
        return r ? r : CD3DDeviceState::SetViewport(vp);
    }
    D3DResult SetMaterial(const D3DMATERIAL7& m) override {
        D3DResult r = R()->Call("SetMaterial");
        return r ? r : CD3DDeviceState::SetMaterial(m);
    }
    D3DResult SetLight(uint32_t i, const D3DLIGHT7& l) override {
        D3DResult r = R()->Call(Fmt("SetLight %u type=%u", i, l.dltType));
        return r ? r : CD3DDeviceState::SetLight(i, l);
    }
    D3DResult LightEnable(uint32_t i, bool on) override {
        D3DResult r = R()->Call(Fmt("LightEnable %u %d", i, on ? 1 : 0));
        return r ? r : CD3DDeviceState::LightEnable(i, on);
    }
    D3DResult Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, uint32_t color, float z,
                    uint32_t stencil) override {
        std::string line = Fmt("Clear %u", count);
        for (uint32_t i = 0; i < count && rects; ++i)
            line += Fmt(" (%d,%d,%d,%d)", rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
        line += Fmt(" flags=%u color=0x%06x z=%g stencil=%u", flags, color, double(z), stencil);
        return R()->Call(line);
    }
    D3DResult BeginScene() override {
        D3DResult r = R()->Call("BeginScene");
        return r ? r : CD3DDeviceState::BeginScene();
    }
    D3DResult EndScene() override {
        D3DResult r = R()->Call("EndScene");
        return r ? r : CD3DDeviceState::EndScene();
    }
    D3DResult DrawPrimitive(uint32_t type, uint32_t fvf, const void* v, uint32_t count, uint32_t flags,
                            const SD3DKept*) override {
        D3DResult r = R()->Call(Fmt("DrawPrimitive %u fvf=0x%x %u flags=%u", type, fvf, count, flags));
        return r ? r : CheckDraw(type, fvf, v, count);
    }
    D3DResult DrawIndexedPrimitive(uint32_t type, uint32_t fvf, const void* v, uint32_t vc,
                                   const uint16_t* idx, uint32_t ic, uint32_t flags,
                                   const SD3DKept*) override {
        D3DResult r =
            R()->Call(Fmt("DrawIndexedPrimitive %u fvf=0x%x %u %u flags=%u", type, fvf, vc, ic, flags));
        if (r) return r;
        r = CheckDraw(type, fvf, v, vc);
        if (r) return r;
        for (uint32_t i = 0; i < ic; ++i)
            if (!idx || idx[i] >= vc) return DDERR_INVALIDPARAMS;
        return D3D_OK;
    }
    D3DResult ComputeSphereVisibility(const D3DVECTOR* c, const float* rad, uint32_t n, uint32_t f,
                                      uint32_t* res) override {
        D3DResult r = R()->Call(Fmt("ComputeSphereVisibility %u", n));
        return r ? r : CD3DDeviceState::ComputeSphereVisibility(c, rad, n, f, res);
    }

private:
    CRecDDraw* m_dd;
    D3DDEVICEDESC7 m_desc;
};

D3DResult CRecDDraw::QueryDirect3D(ID3D** out) {
    D3DResult r = m_rec->Call("QueryDirect3D");
    if (r) return r;
    *out = new CRecD3D(this);
    return D3D_OK;
}

D3DResult CRecD3D::CreateDevice(const SD3DGuid& g, CSoftSurface* back, ID3DDevice** out) {
    D3DResult r = m_dd->Rec()->Call("CreateDevice " + D3D_GuidText(g) + " " + m_dd->Name(back));
    if (r) return r;
    for (const SD3DDeviceRecord& d : m_dd->Rec()->devices)
        if (d.desc.deviceGUID == g) {
            *out = new CRecDevice(m_dd, d);
            return D3D_OK;
        }
    return D3DERR_INVALID_DEVICE;
}

}  // namespace

std::string D3D_GuidText(const SD3DGuid& g) {
    std::string s;
    for (uint8_t b : g.bytes) s += (b >= 32 && b < 127 && b != ' ') ? char(b) : '.';
    return s;
}

DDSURFACEDESC2 CD3DRecorder::Mode(uint32_t w, uint32_t h, uint32_t bits, uint32_t refresh) {
    DDSURFACEDESC2 m;
    m.dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
    m.dwWidth = w;
    m.dwHeight = h;
    m.dwRefreshRate = refresh;
    m.ddpfPixelFormat.dwFlags = DDPF_RGB;
    m.ddpfPixelFormat.dwRGBBitCount = bits;
    return m;
}

CD3DRecorder::CD3DRecorder() {
    SDriver primary;
    primary.pass = 0;
    strcpy(primary.record.description, "Primary Display Driver");
    strcpy(primary.record.name, "display");
    primary.record.monitor = 1;
    for (uint32_t bits : {16u, 32u}) {
        primary.modes.push_back(Mode(640, 480, bits));
        primary.modes.push_back(Mode(800, 600, bits));
        primary.modes.push_back(Mode(1024, 768, bits));
    }
    drivers.push_back(primary);
    devices = D3D_StandardDevices();
    DDPIXELFORMAT z;
    z.dwFlags = DDPF_ZBUFFER;
    z.dwRGBBitCount = 16;
    z.dwRBitMask = 0xffff;
    zFormats.push_back(z);
    DDPIXELFORMAT t;
    t.dwFlags = DDPF_RGB;
    t.dwRGBBitCount = 16;
    t.dwRBitMask = 0xf800;
    t.dwGBitMask = 0x07e0;
    t.dwBBitMask = 0x001f;
    textureFormats.push_back(t);
    t.dwFlags = DDPF_RGB | DDPF_ALPHAPIXELS;
    t.dwRGBBitCount = 32;
    t.dwRBitMask = 0xff0000;
    t.dwGBitMask = 0xff00;
    t.dwBBitMask = 0xff;
    t.dwRGBAlphaBitMask = 0xff000000u;
    textureFormats.push_back(t);
}

CD3DRecorder::~CD3DRecorder() {
    if (DDraw_Factory() == this) DDraw_SetFactory(nullptr);
}

void CD3DRecorder::Fail(const std::string& prefix, D3DResult code, int times, int skip) {
    m_rules.push_back(SRule{prefix, code, times, skip});
}

D3DResult CD3DRecorder::Call(const std::string& line) {
    for (SRule& r : m_rules) {
        if (r.times <= 0 || line.compare(0, r.prefix.size(), r.prefix) != 0) continue;
        if (r.skip > 0) {
            --r.skip;
            continue;
        }
        --r.times;
        log.push_back(line + " -> FAIL");
        return r.code;
    }
    log.push_back(line);
    return D3D_OK;
}

std::vector<std::string> CD3DRecorder::Lines(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& l : log)
        if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
    return out;
}

int CD3DRecorder::Find(const std::string& prefix, int from) const {
    for (int i = from < 0 ? 0 : from; i < int(log.size()); ++i)
        if (log[i].compare(0, prefix.size(), prefix) == 0) return i;
    return -1;
}

void CD3DRecorder::EnumerateDrivers(uint32_t passFlags, std::vector<SDDDriverRecord>* out) {
    Call(Fmt("DirectDrawEnumerate %u", passFlags));
    out->clear();
    for (const SDriver& d : drivers)
        if (d.pass == passFlags) out->push_back(d.record);
}

bool CD3DRecorder::EnumerateModes(const SDDDriverRecord& driver, std::vector<DDSURFACEDESC2>* out) {
    Call(std::string("EnumDisplayModes ") + driver.name);
    out->clear();
    for (const SDriver& d : drivers)
        if (d.record.hasGuid == driver.hasGuid && (!d.record.hasGuid || d.record.guid == driver.guid)) {
            if (!d.canCreate) return false;
            *out = d.modes;
            return true;
        }
    return false;
}

D3DResult CD3DRecorder::CreateDirectDraw(const SD3DGuid* guid, IDDraw** out) {
    D3DResult r = Call(std::string("DirectDrawCreate ") + (guid ? D3D_GuidText(*guid) : "primary"));
    if (r) return r;
    for (const SDriver& d : drivers) {
        if (d.record.hasGuid != (guid != nullptr)) continue;
        if (guid && !(d.record.guid == *guid)) continue;
        if (!d.canCreate) return DDERR_NODIRECTDRAWHW;
        *out = new CRecDDraw(this, &d);
        return D3D_OK;
    }
    return DDERR_INVALIDDIRECTDRAWGUID;
}
