#include "tools/lib/GUIPackWriter.h"

#include <cstdio>
#include <cstring>

namespace {

class CPackWriter {
public:
    explicit CPackWriter(std::vector<uint8_t>& out) : m_out(out) {}

    void Bytes(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        m_out.insert(m_out.end(), b, b + n);
    }
    void U8(uint8_t v) { m_out.push_back(v); }
    void U16(uint16_t v) {
        U8(uint8_t(v));
        U8(uint8_t(v >> 8));
    }
    void U32(uint32_t v) {
        U16(uint16_t(v));
        U16(uint16_t(v >> 16));
    }
    void S32(int32_t v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        U32(u);
    }
    bool Name(const std::string& text, const char* what) {
        if (text.size() > kGUIPackNameBytes)
            return Fail(std::string(what) + " \"" + text + "\" is longer than 255 bytes");
        char field[kGUIPackNameBytes] = {};
        std::memcpy(field, text.data(), text.size());
        Bytes(field, sizeof field);
        return true;
    }
    void Frame(const SGUIFrameRecord& f) {
        Name(f.name, "a frame name");
        S32(f.resourceId);
        S32(f.duration);
        S32(f.value);
    }
    bool Object(const SGUIObjectRecord& o, uint32_t depth);
    bool Fail(const std::string& why) {
        if (m_error.empty()) m_error = why;
        return false;
    }

    std::vector<uint8_t>& m_out;
    std::string m_error;
};

bool CPackWriter::Object(const SGUIObjectRecord& o, uint32_t depth) {
    if (depth > kGUIPackMaxDepth) return Fail("objects nest deeper than the reader takes");
    U32(o.ownsResources);
    if (!Name(o.name, "the object name")) return false;
    S32(o.x);
    S32(o.y);
    S32(o.kind);
    U32(o.extraA);
    U32(o.bitmapState);
    U32(o.visible);
    U32(o.childrenHidden);
    S32(o.layer);
    U32(o.extraB);
    if (o.kind == 0) {
        U32(o.bitmapId);
    } else if (o.kind == 1) {
        U32(o.altBitmapId);
    } else if (o.kind == 2) {
        for (uint32_t id : o.stateBitmapIds) U32(id);
        for (const auto& p : o.statePositions) {
            S32(p[0]);
            S32(p[1]);
        }
    }
    U32(o.fontWidth);
    U32(o.fontHeight);
    U8(o.extraC);
    U32(o.textAlign);
    U32(o.fontWeightIndex);
    U32(o.fontAttributes);
    U8(o.extraD);
    U8(o.extraE);
    for (uint32_t c : o.color1) U32(c);
    for (uint32_t c : o.color2) U32(c);
    U32(uint32_t(o.textLines.size()));
    for (const std::string& line : o.textLines)
        if (!Name(line, "the text line")) return false;
    if (o.commandText.size() > kGUIPackMaxCommandBytes)
        return Fail("the command text of \"" + o.name + "\" is too long");
    U32(uint32_t(o.commandText.size()));
    Bytes(o.commandText.data(), o.commandText.size());
    if (!Name(o.fontName, "the font name")) return false;
    U32(o.hoverFlag);
    U32(o.soundBank);
    U32(o.extraF);
    for (uint32_t s : o.eventSamples) U32(s);
    U8(o.hasFrames);
    if (o.hasFrames) {
        U32(uint32_t(o.frames.size()));
        for (const SGUIFrameRecord& f : o.frames) Frame(f);
        U8(o.hasCurrentFrame);
        if (o.hasCurrentFrame) Frame(o.currentFrame);
        U32(o.extraG);
        U32(o.sequenceStops);
        U8(o.extraI);
    }
    U32(uint32_t(o.properties.size()));
    for (const SGUIPropertyRecord& p : o.properties)
        if (!Name(p.name, "the property name") || !Name(p.value, "the property value")) return false;
    U32(o.extraJ);
    U32(o.field36);
    S32(o.guiId);
    U32(o.jumpTarget);
    U32(o.jumpFlag);
    if (o.ownsResources) {
        U32(uint32_t(o.resources.size()));
        for (const SGUIResourceRecord& r : o.resources) {
            if (!Name(r.name, "the resource name")) return false;
            S32(r.id);
        }
    }
    U32(uint32_t(o.children.size()));
    for (const SGUIObjectRecord& child : o.children)
        if (!Object(child, depth + 1)) return false;
    return true;
}

}  // namespace

uint32_t GUIPack_CountObjects(const SGUIObjectRecord& root) {
    uint32_t n = 1;
    for (const SGUIObjectRecord& child : root.children) n += GUIPack_CountObjects(child);
    return n;
}

bool GUIPack_Build(const SGUIPack& pack, std::vector<uint8_t>& out, std::string& error,
                   int64_t objectCountOverride) {
    out.clear();
    CPackWriter w(out);
    const uint32_t objects = GUIPack_CountObjects(pack.root);
    if (objectCountOverride < 0 && objects > kGUIPackMaxObjects) {
        error = "the interface holds " + std::to_string(objects) + " objects, more than " +
                std::to_string(kGUIPackMaxObjects);
        return false;
    }
    w.Bytes(pack.header, sizeof pack.header);
    w.U32(pack.version);
    const uint8_t reserved[kGUIPackReservedBytes] = {};
    w.Bytes(reserved, sizeof reserved);
    w.U32(objectCountOverride >= 0 ? uint32_t(objectCountOverride) : objects);
    w.U32(uint32_t(pack.banks.size()));
    for (const SGUISoundBankRecord& bank : pack.banks) {
        if (!w.Name(bank.name, "the sound bank name")) break;
        w.U32(uint32_t(bank.samples.size()));
        for (const SGUIBankSampleRecord& s : bank.samples) {
            if (!w.Name(s.name, "the sample name")) break;
            w.U32(s.volume);
            w.U32(s.rate);
            w.U32(s.pan);
            w.U8(s.flag);
            w.U16(s.formatTag);
            w.U16(s.channels);
            w.U32(s.samplesPerSec);
            w.U32(s.avgBytesPerSec);
            w.U16(s.blockAlign);
            w.U16(s.bits);
            w.U32(uint32_t(s.data.size()));
            w.Bytes(s.data.data(), s.data.size());
        }
    }
    for (uint32_t v : pack.bankTail) w.U32(v);
    if (!w.m_error.empty() || !w.Object(pack.root, 0)) {
        error = w.m_error;
        return false;
    }
    return true;
}

bool GUIPack_WriteFile(const std::string& path, const SGUIPack& pack, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!GUIPack_Build(pack, bytes, error)) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path;
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) error = "cannot write " + path;
    return ok;
}
