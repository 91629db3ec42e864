// Sound samples: loading a file into the mixer's format, sound banks and the
// music play list.
#include <algorithm>
#include <cstring>
#include <vector>

#include "app/SoundEngine.h"
#include "core/VFSFile.h"
#include "platform/sound/Sound.h"
#include "platform/video/Media.h"

namespace {
// The largest sound file read into memory.
constexpr uint32_t kMaxSoundFileBytes = 256u << 20;
// Bounds of a sound bank record.
constexpr uint32_t kMaxBankSamples = 4096;
constexpr uint32_t kMaxBankSampleBytes = 64u << 20;
constexpr int kBankNameBytes = 255;
// Quality 1 converts to this rate (the mixer takes any rate and resamples).
constexpr uint32_t kLowQualityRate = 11050;

bool IsMP3(const uint8_t* d, size_t n) {
    if (n >= 3 && std::memcmp(d, "ID3", 3) == 0) return true;
    return n >= 2 && d[0] == 0xFF && (d[1] & 0xE0) == 0xE0;
}

SWaveFormat PCMFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
    SWaveFormat f;
    f.formatTag = kWaveFormatPCM;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = (uint16_t)(channels * bits / 8);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

// One channel sample as a signed 16-bit value.
inline int Sample16(const uint8_t* data, int bits, size_t index) {
    // 8-bit samples are unsigned around 128; scaled by multiplication, since
    // a left shift of a negative value is undefined.
    if (bits == 8) return ((int)data[index] - 128) * 256;
    int16_t v;
    std::memcpy(&v, data + index * 2, 2);
    return v;
}
}  // namespace

// ---------------------------------------------------------------------------

SoundSample::SoundSample(SoundEngine* engine) : m_engine(engine) {
    m_next = engine->m_samples;
    if (m_next) m_next->m_prev = this;
    engine->m_samples = this;
}

SoundSample::~SoundSample() {
    SoundEngine_StopSample(m_engine, this);
    for (SoundSample*& slot : m_engine->m_loopSlots)
        if (slot == this) slot = nullptr;
    for (PlayNode* n = m_engine->m_voiceHead; n;) {
        PlayNode* next = n->m_next;
        if (n->m_sample == this) delete n;
        n = next;
    }
    if (m_prev)
        m_prev->m_next = m_next;
    else if (m_engine->m_samples == this)
        m_engine->m_samples = m_next;
    if (m_next) m_next->m_prev = m_prev;
}

uint32_t SoundSample::LengthMs() const {
    uint32_t frameBytes = m_convertedFormat.blockAlign;
    if (!m_converted || !frameBytes || m_rate <= 0) return 0;
    return (uint32_t)((uint64_t)(m_convertedSize / frameBytes) * 1000 / (uint64_t)m_rate);
}

bool SoundSample::Prepare(const char* name) {
    SoundEngine* e = m_engine;
    if (e->m_noSound || !m_enabled) return true;
    SoundEngine_StopSample(e, this);
    if (name && *name && name != m_fileName.GetText()) m_fileName.Assign(name);
    if (m_deferred) {
        m_deferred = 0;
        return true;
    }
    m_converted.reset();
    m_convertedSize = 0;
    m_buffer.reset();
    m_prepared = 0;
    m_inMemory = 0;

    // A sample with a file decodes it; a sample from a sound bank keeps the
    // sound it was loaded with.
    if (!m_fileName.IsEmpty()) {
        m_decoded.reset();
        m_decodedSize = 0;
        CVFSFile file;
        std::vector<uint8_t> bytes;
        if (file.Open(m_fileName.GetText(), CVFSFile::kModeRead) && file.GetSize() <= kMaxSoundFileBytes) {
            bytes.resize(file.GetSize());
            bytes.resize(file.Read(bytes.data(), (uint32_t)bytes.size()));
        }
        SWaveInfo info;
        bool wave = Wave_ReadChunks(bytes.data(), bytes.size(), info);
        if (wave && info.hasFormat && info.hasData && Wave_IsPlainPCM(info.format)) {
            // PCM stays as it was read.
            // A block align that disagrees with the format (0 among them) is
            // a damaged header: no sound.
            size_t frameBytes = (size_t)info.format.channels * info.format.bitsPerSample / 8;
            size_t size =
                info.format.blockAlign == frameBytes ? info.dataSize - info.dataSize % frameBytes : 0;
            if (size) {
                m_decoded.reset(new uint8_t[size]);
                std::memcpy(m_decoded.get(), bytes.data() + info.dataOffset, size);
                m_decodedSize = (uint32_t)size;
                m_format =
                    PCMFormat(info.format.channels, info.format.samplesPerSec, info.format.bitsPerSample);
            }
        } else if ((wave && info.hasFormat && info.hasData) || (!wave && IsMP3(bytes.data(), bytes.size()))) {
            // ADPCM (and other packed wave formats) and MP3 are decoded.
            SMediaAudio audio;
            if (Media_DecodeAudio(CMediaInput::FromMemory(bytes.data(), bytes.size()), audio)) {
                size_t size = audio.m_samples.size() * 2;
                m_decoded.reset(new uint8_t[size]);
                std::memcpy(m_decoded.get(), audio.m_samples.data(), size);
                m_decodedSize = (uint32_t)size;
                m_format = PCMFormat((uint16_t)audio.m_channels, (uint32_t)audio.m_rate, 16);
            }
        }
        if (m_decoded) m_baseRate = (int32_t)m_format.samplesPerSec;
    }
    if (!m_decoded) {
        e->Log("...SoundSample::Prepare() : '%s' FAILED", m_fileName.GetText());
        return false;
    }
    return Convert();
}

// Quality 4 plays the decoded sound itself; 3 a copy at the file's rate and
// depth; 2 the file's rate in 8 bits; 1 11050 Hz in 8 bits.
bool SoundSample::Convert() {
    const SWaveFormat& src = m_format;
    int quality = m_engine->Quality();
    uint32_t rate = quality == 1 ? kLowQualityRate : src.samplesPerSec;
    uint16_t bits = quality <= 2 ? 8 : src.bitsPerSample;
    int channels = src.channels;
    size_t frames = m_decodedSize / src.blockAlign;
    if (!frames || !rate) return false;
    size_t outFrames =
        rate == src.samplesPerSec ? frames : (size_t)((uint64_t)frames * rate / src.samplesPerSec);
    outFrames = std::max<size_t>(outFrames, 1);
    SWaveFormat dst = PCMFormat((uint16_t)channels, rate, bits);
    size_t outSize = outFrames * dst.blockAlign;
    m_converted.reset(new uint8_t[outSize]);
    m_convertedSize = (uint32_t)outSize;
    m_convertedFormat = dst;
    if (rate == src.samplesPerSec && bits == src.bitsPerSample) {
        std::memcpy(m_converted.get(), m_decoded.get(), outSize);
    } else {
        const uint8_t* in = m_decoded.get();
        uint8_t* out = m_converted.get();
        for (size_t i = 0; i < outFrames; ++i) {
            // Linear between the two nearest source frames.
            uint64_t pos = (uint64_t)i * src.samplesPerSec * 65536 / rate;
            size_t a = (size_t)(pos >> 16), b = std::min(a + 1, frames - 1);
            int frac = (int)(pos & 0xFFFF);
            for (int c = 0; c < channels; ++c) {
                int va = Sample16(in, src.bitsPerSample, a * (size_t)channels + (size_t)c);
                int vb = Sample16(in, src.bitsPerSample, b * (size_t)channels + (size_t)c);
                int v = va + (int)(((int64_t)(vb - va) * frac) >> 16);
                size_t k = i * (size_t)channels + (size_t)c;
                if (bits == 8) {
                    out[k] = (uint8_t)std::max(0, std::min(255, (v >> 8) + 128));
                } else {
                    int16_t s = (int16_t)std::max(-32768, std::min(32767, v));
                    std::memcpy(out + k * 2, &s, 2);
                }
            }
        }
    }
    // The playback rate follows the conversion: a sound made slower or faster
    // than its file (a bank's own rate) keeps that ratio.
    m_rate = (int32_t)((int64_t)m_baseRate * rate / std::max<uint32_t>(1, src.samplesPerSec));
    m_inMemory = quality == 4 ? 0 : 1;
    m_prepared = 1;
    return true;
}

void SoundSample::ReleaseBuffer() {
    m_buffer.reset();
    m_bufferLoop[0] = m_bufferLoop[1] = -1;
}

CSoundBuffer* SoundSample::Buffer() {
    if (!m_converted || !m_convertedSize) return nullptr;
    // The loop block in frames of the converted sound: the file's first loop
    // from its start frame to its end frame, both inside.
    int32_t loop[2] = {0, 0};
    if (m_looping && m_loopEnd > m_loopStart && m_loopStart >= 0) {
        uint64_t scaleNum = m_convertedFormat.samplesPerSec,
                 scaleDen = std::max<uint32_t>(1, m_format.samplesPerSec);
        loop[0] = (int32_t)((uint64_t)m_loopStart * scaleNum / scaleDen);
        loop[1] = (int32_t)(((uint64_t)m_loopEnd + 1) * scaleNum / scaleDen);
    }
    if (m_buffer && loop[0] == m_bufferLoop[0] && loop[1] == m_bufferLoop[1]) return m_buffer.get();
    SoundEngine_StopSample(m_engine, this);
    m_buffer.reset(new CSoundBuffer());
    if (!m_buffer->Set(m_converted.get(), m_convertedSize, m_convertedFormat.bitsPerSample,
                       m_convertedFormat.channels, (int)m_convertedFormat.samplesPerSec, (uint32_t)loop[0],
                       (uint32_t)loop[1])) {
        m_buffer.reset();
        return nullptr;
    }
    m_bufferLoop[0] = loop[0];
    m_bufferLoop[1] = loop[1];
    return m_buffer.get();
}

// ---------------------------------------------------------------------------
// Sound banks
//
// A bank record, little-endian: the bank's name (255 bytes, zero-padded), u32
// sample count, then per sample: its name (255 bytes, zero-padded), u32
// volume in percent, u32 playback rate in Hz, u32 pan stored as pan / 2 + 64
// (0 to 127), u8 flag, the wave format (u16 format tag, u16 channels, u32
// samples per second, u32 bytes per second, u16 block align, u16 bits per
// sample), u32 data size and that many bytes of PCM data. The writer is
// tools/lib/SoundBankWriter.

namespace {
bool ReadName(CVFSFile& f, CStrBuf& out) {
    char name[kBankNameBytes + 1];
    if (f.Read(name, kBankNameBytes) != (uint32_t)kBankNameBytes) return false;
    name[kBankNameBytes] = 0;
    out.Assign(name);
    return true;
}
}  // namespace

void SoundBank::Free() {
    for (int32_t i = 0; i < m_count; ++i) delete m_samples[i];
    delete[] m_samples;
    m_samples = nullptr;
    m_count = 0;
}

bool SoundBank::Load(CVFSFile& f, SoundEngine* engine) {
    Free();
    uint32_t count = 0;
    if (!ReadName(f, m_name) || !f.ReadU32(count) || count > kMaxBankSamples) return false;
    m_samples = new SoundSample*[count ? count : 1];
    for (uint32_t i = 0; i < count; ++i) {
        CStrBuf name;
        uint32_t volume = 0, rate = 0, pan = 0, sps = 0, bps = 0, size = 0;
        uint8_t flag = 0;
        SWaveFormat fmt;
        bool ok = ReadName(f, name) && f.ReadU32(volume) && f.ReadU32(rate) && f.ReadU32(pan) &&
                  f.ReadU8(flag) && f.ReadU16(fmt.formatTag) && f.ReadU16(fmt.channels) && f.ReadU32(sps) &&
                  f.ReadU32(bps) && f.ReadU16(fmt.blockAlign) && f.ReadU16(fmt.bitsPerSample) &&
                  f.ReadU32(size);
        // The data size is only believed when the file holds that much.
        if (!ok || size > kMaxBankSampleBytes || size > f.GetSize() - f.Tell()) return false;
        fmt.samplesPerSec = sps;
        fmt.avgBytesPerSec = bps;
        std::unique_ptr<uint8_t[]> data(new uint8_t[size ? size : 1]);
        if (f.Read(data.get(), size) != size) return false;
        SoundSample* s = new SoundSample(engine);
        m_samples[m_count++] = s;
        s->m_deferred = 0;
        s->m_volume = (int32_t)std::min<uint32_t>(volume, 127);
        s->m_rate = s->m_baseRate = (int32_t)std::min<uint32_t>(rate, 1000000);
        s->m_pan = (int32_t)std::min<uint32_t>(pan, 127);
        s->m_bankFlag = flag;
        // Only plain PCM plays from a bank; anything else stays silent.
        uint32_t frameBytes = (uint32_t)fmt.channels * fmt.bitsPerSample / 8;
        if (!Wave_IsPlainPCM(fmt) || fmt.blockAlign != frameBytes || size < frameBytes) {
            s->m_enabled = 0;
            continue;
        }
        size -= size % frameBytes;
        s->m_format = PCMFormat(fmt.channels, fmt.samplesPerSec, fmt.bitsPerSample);
        s->m_decodedSize = size;
        s->m_decoded.reset(new uint8_t[size]);
        std::memcpy(s->m_decoded.get(), data.get(), size);
        s->m_convertedFormat = s->m_format;
        s->m_convertedSize = size;
        s->m_converted = std::move(data);
        s->m_inMemory = 1;
        s->m_prepared = 1;
    }
    return true;
}

void SoundBank::StopAll(SoundEngine* engine, bool all) {
    SoundEngine_ReloadSamples(engine, all);
}

void SoundBank::MarkAll(SoundEngine* engine) {
    SoundEngine_MarkAllForReload(engine);
}

// ---------------------------------------------------------------------------
// The music play list

namespace {
constexpr size_t kMaxPlaylistLine = 2059;
constexpr uint32_t kMaxPlaylistBytes = 1u << 20;

bool SoundFileExists(const char* name) {
    return *name && (g_VFS.Find(name) != nullptr || FileExists(name));
}
}  // namespace

void MusicPlaylist::Clear() {
    while (m_head) {
        SEntry* next = m_head->next;
        delete m_head;
        m_head = next;
    }
    m_current = nullptr;
    m_active = 0;
    m_started = 0;
}

void MusicPlaylist::Add(const char* name) {
    SEntry* e = new SEntry();
    e->name.Assign(name ? name : "");
    SEntry** tail = &m_head;
    while (*tail) tail = &(*tail)->next;
    *tail = e;
    if (!m_current) m_current = m_head;
}

int MusicPlaylist::Count() const {
    int n = 0;
    for (SEntry* e = m_head; e; e = e->next) ++n;
    return n;
}

const char* MusicPlaylist::Next() {
    if (!m_head) return nullptr;
    if (!m_current) m_current = m_head;
    const char* name = m_current->name.GetText();
    m_current = m_current->next ? m_current->next : m_head;
    return name ? name : "";
}

bool MusicPlaylist::Load(const char* path) {
    Clear();
    if (!path || !SoundFileExists(path)) return false;
    CVFSFile f;
    if (!f.Open(path, CVFSFile::kModeRead)) return false;
    std::vector<char> text(std::min<uint32_t>(f.GetSize(), kMaxPlaylistBytes));
    text.resize(f.Read(text.data(), (uint32_t)text.size()));
    size_t i = 0;
    while (i < text.size()) {
        // A line ends at CR or LF; CR LF and LF CR are one end.
        size_t start = i;
        while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
        std::string line(text.data() + start, std::min(i - start, kMaxPlaylistLine));
        if (i < text.size()) {
            char first = text[i++];
            if (i < text.size() && (text[i] == '\r' || text[i] == '\n') && text[i] != first) ++i;
        }
        size_t lead = line.find_first_not_of(" \t");
        if (lead != std::string::npos && line[lead] == '#') continue;
        if (SoundFileExists(line.c_str())) Add(line.c_str());
    }
    if (m_head) m_active = 1;
    return true;
}
