#include "ui/GUIPackfile.h"

#include <cstring>

namespace {

// A cursor over the file's bytes: every read says whether the bytes were
// there, and nothing is read past the end.
class CPackCursor {
public:
    CPackCursor(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t Left() const { return m_size - m_pos; }
    size_t Position() const { return m_pos; }
    const uint8_t* Here() const { return m_data + m_pos; }

    bool Bytes(void* out, size_t n) {
        if (n > Left()) return false;
        if (n) std::memcpy(out, m_data + m_pos, n);
        m_pos += n;
        return true;
    }
    bool Skip(size_t n) {
        if (n > Left()) return false;
        m_pos += n;
        return true;
    }
    bool U8(uint8_t& v) { return Bytes(&v, 1); }
    bool U16(uint16_t& v) {
        uint8_t b[2];
        if (!Bytes(b, 2)) return false;
        v = uint16_t(b[0] | (b[1] << 8));
        return true;
    }
    bool U32(uint32_t& v) {
        uint8_t b[4];
        if (!Bytes(b, 4)) return false;
        v = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
        return true;
    }
    bool S32(int32_t& v) {
        uint32_t u;
        if (!U32(u)) return false;
        std::memcpy(&v, &u, 4);
        return true;
    }
    // A name255 field: the text up to its first zero byte, all 255 bytes
    // when there is none.
    bool Name(std::string& out) {
        if (Left() < kGUIPackNameBytes) return false;
        const char* p = reinterpret_cast<const char*>(m_data + m_pos);
        const void* zero = std::memchr(p, 0, kGUIPackNameBytes);
        out.assign(p, zero ? size_t(static_cast<const char*>(zero) - p) : size_t(kGUIPackNameBytes));
        m_pos += kGUIPackNameBytes;
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// The parts of records that hold no count: a count that claims more records
// than the bytes left could hold is refused before anything is made for it.
constexpr size_t kFrameBytes = kGUIPackNameBytes + 12;
constexpr size_t kPropertyBytes = 2 * kGUIPackNameBytes;
constexpr size_t kResourceBytes = kGUIPackNameBytes + 4;
constexpr size_t kSampleFixedBytes = kGUIPackNameBytes + 4 + 4 + 4 + 1 + 16 + 4;
// The smallest object record: kind 3 or above, no text, no command, no
// frames, no properties, no resources, no children.
constexpr size_t kSmallestObjectBytes = 4 + kGUIPackNameBytes + 9 * 4 + 2 * 4 + 1 + 3 * 4 + 2 + 6 * 4 + 4 +
                                        4 + kGUIPackNameBytes + 4 + 4 + 4 + 5 * 4 + 1 + 4 + 5 * 4 + 4;

class CPackReader {
public:
    CPackReader(const uint8_t* data, size_t size) : m_in(data, size) {}

    bool Read(SGUIPack& out, std::string& error);

private:
    bool Fail(const std::string& why) {
        if (m_error.empty()) m_error = why;
        return false;
    }
    bool Cut(const std::string& what) { return Fail("the file ends inside " + what); }
    bool Count(uint32_t n, size_t each, const char* what) {
        if (each && n > m_in.Left() / each)
            return Fail(std::string("the ") + what + " count " + std::to_string(n) +
                        " is more than the file holds");
        return true;
    }
    bool Frame(SGUIFrameRecord& f) {
        return m_in.Name(f.name) && m_in.S32(f.resourceId) && m_in.S32(f.duration) && m_in.S32(f.value);
    }
    bool Bank(SGUISoundBankRecord& bank);
    bool Object(SGUIObjectRecord& o, uint32_t depth);

    CPackCursor m_in;
    std::string m_error;
    uint32_t m_objects = 0;
    std::string m_where;  // the object being read, for the message
};

bool CPackReader::Bank(SGUISoundBankRecord& bank) {
    const size_t start = m_in.Position();
    const uint8_t* at = m_in.Here();
    uint32_t count = 0;
    if (!m_in.Name(bank.name) || !m_in.U32(count)) return Cut("a sound bank");
    if (count > kGUIPackMaxBankSamples) return Fail("sound bank \"" + bank.name + "\" has too many samples");
    if (!Count(count, kSampleFixedBytes, "sample")) return false;
    bank.samples.resize(count);
    for (SGUIBankSampleRecord& s : bank.samples) {
        uint32_t size = 0;
        if (!m_in.Name(s.name) || !m_in.U32(s.volume) || !m_in.U32(s.rate) || !m_in.U32(s.pan) ||
            !m_in.U8(s.flag) || !m_in.U16(s.formatTag) || !m_in.U16(s.channels) ||
            !m_in.U32(s.samplesPerSec) || !m_in.U32(s.avgBytesPerSec) || !m_in.U16(s.blockAlign) ||
            !m_in.U16(s.bits) || !m_in.U32(size))
            return Cut("a sound bank's sample");
        if (size > m_in.Left()) return Fail("sample \"" + s.name + "\" is larger than the file");
        s.data.assign(reinterpret_cast<const char*>(m_in.Here()), size);
        m_in.Skip(size);
    }
    bank.raw.assign(reinterpret_cast<const char*>(at), m_in.Position() - start);
    return true;
}

bool CPackReader::Object(SGUIObjectRecord& o, uint32_t depth) {
    if (++m_objects > kGUIPackMaxObjects)
        return Fail("it holds more than " + std::to_string(kGUIPackMaxObjects) + " objects");
    if (depth > kGUIPackMaxDepth)
        return Fail("its objects nest deeper than " + std::to_string(kGUIPackMaxDepth));
    uint32_t visible = 0, hidden = 0;
    if (!m_in.U32(o.ownsResources) || !m_in.Name(o.name)) return Cut("an object");
    m_where = o.name;
    if (!m_in.S32(o.x) || !m_in.S32(o.y) || !m_in.S32(o.kind) || !m_in.U32(o.extraA) ||
        !m_in.U32(o.bitmapState) || !m_in.U32(visible) || !m_in.U32(hidden) || !m_in.S32(o.layer) ||
        !m_in.U32(o.extraB))
        return Cut("object \"" + m_where + "\"");
    o.visible = visible;
    o.childrenHidden = hidden;
    bool ok = true;
    if (o.kind == 0) {
        ok = m_in.U32(o.bitmapId);
    } else if (o.kind == 1) {
        ok = m_in.U32(o.altBitmapId);
    } else if (o.kind == 2) {
        for (uint32_t& id : o.stateBitmapIds) ok = ok && m_in.U32(id);
        for (auto& p : o.statePositions) ok = ok && m_in.S32(p[0]) && m_in.S32(p[1]);
    }
    ok = ok && m_in.U32(o.fontWidth) && m_in.U32(o.fontHeight) && m_in.U8(o.extraC) &&
         m_in.U32(o.textAlign) && m_in.U32(o.fontWeightIndex) && m_in.U32(o.fontAttributes) &&
         m_in.U8(o.extraD) && m_in.U8(o.extraE);
    for (uint32_t& c : o.color1) ok = ok && m_in.U32(c);
    for (uint32_t& c : o.color2) ok = ok && m_in.U32(c);
    uint32_t n = 0;
    if (!ok || !m_in.U32(n)) return Cut("object \"" + m_where + "\"");
    if (!Count(n, kGUIPackNameBytes, "text line")) return false;
    o.textLines.resize(n);
    for (std::string& line : o.textLines) (void)m_in.Name(line);  // the count check holds them all
    uint32_t length = 0;
    if (!m_in.U32(length)) return Cut("object \"" + m_where + "\"");
    if (length > kGUIPackMaxCommandBytes || length > m_in.Left())
        return Fail("the command text of object \"" + m_where + "\" is longer than the file or the limit");
    o.commandText.assign(reinterpret_cast<const char*>(m_in.Here()), length);
    m_in.Skip(length);
    ok = m_in.Name(o.fontName) && m_in.U32(o.hoverFlag) && m_in.U32(o.soundBank) && m_in.U32(o.extraF);
    for (uint32_t& s : o.eventSamples) ok = ok && m_in.U32(s);
    if (!ok || !m_in.U8(o.hasFrames)) return Cut("object \"" + m_where + "\"");
    if (o.hasFrames) {
        if (!m_in.U32(n)) return Cut("object \"" + m_where + "\"");
        if (!Count(n, kFrameBytes, "frame")) return false;
        o.frames.resize(n);
        for (SGUIFrameRecord& f : o.frames) (void)Frame(f);
        if (!m_in.U8(o.hasCurrentFrame) || (o.hasCurrentFrame && !Frame(o.currentFrame)) ||
            !m_in.U32(o.extraG) || !m_in.U32(o.sequenceStops) || !m_in.U8(o.extraI))
            return Cut("object \"" + m_where + "\"");
    }
    if (!m_in.U32(n)) return Cut("object \"" + m_where + "\"");
    if (!Count(n, kPropertyBytes, "property")) return false;
    o.properties.resize(n);
    for (SGUIPropertyRecord& p : o.properties) (void)(m_in.Name(p.name) && m_in.Name(p.value));
    if (!m_in.U32(o.extraJ) || !m_in.U32(o.field36) || !m_in.S32(o.guiId) || !m_in.U32(o.jumpTarget) ||
        !m_in.U32(o.jumpFlag))
        return Cut("object \"" + m_where + "\"");
    if (o.ownsResources) {
        if (!m_in.U32(n)) return Cut("object \"" + m_where + "\"");
        if (!Count(n, kResourceBytes, "resource")) return false;
        o.resources.resize(n);
        for (SGUIResourceRecord& r : o.resources) (void)(m_in.Name(r.name) && m_in.S32(r.id));
    }
    if (!m_in.U32(n)) return Cut("object \"" + m_where + "\"");
    if (!Count(n, kSmallestObjectBytes, "child")) return false;
    o.children.resize(n);
    for (SGUIObjectRecord& child : o.children)
        if (!Object(child, depth + 1)) return false;
    return true;
}

bool CPackReader::Read(SGUIPack& out, std::string& error) {
    bool ok = m_in.Bytes(out.header, sizeof out.header) && m_in.U32(out.version);
    if (!ok) {
        error = "it is not a GUI packfile (shorter than its header)";
        return false;
    }
    if (out.version != kGUIPackVersion) {
        error = "its version is " + std::to_string(out.version) + ", not " + std::to_string(kGUIPackVersion);
        return false;
    }
    uint32_t banks = 0;
    if (!m_in.Skip(kGUIPackReservedBytes) || !m_in.U32(out.objectCount) || !m_in.U32(banks)) {
        error = "the file ends inside its header";
        return false;
    }
    if (out.objectCount > kGUIPackMaxObjects) {
        error = "its object count " + std::to_string(out.objectCount) + " is above " +
                std::to_string(kGUIPackMaxObjects);
        return false;
    }
    if (banks > kGUIPackMaxBanks) {
        error = "it has " + std::to_string(banks) + " sound banks";
        return false;
    }
    out.banks.resize(banks);
    for (SGUISoundBankRecord& bank : out.banks)
        if (!Bank(bank)) {
            error = m_error;
            return false;
        }
    for (uint32_t& v : out.bankTail)
        if (!m_in.U32(v)) {
            error = "the file ends after its sound banks";
            return false;
        }
    if (!Object(out.root, 0)) {
        error = m_error;
        return false;
    }
    out.objects = m_objects;
    return true;
}

}  // namespace

bool GUIPack_IsPackfileOfOurVersion(const uint8_t* data, size_t size) {
    const size_t at = sizeof(SGUIPack::header);
    if (!data || size < at + 4) return false;
    const uint32_t version = uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
                             uint32_t(data[at + 3]) << 24;
    return version == kGUIPackVersion;
}

bool GUIPack_Parse(const uint8_t* data, size_t size, SGUIPack& out, std::string& error) {
    out = SGUIPack();
    CPackReader reader(data, size);
    return reader.Read(out, error);
}
