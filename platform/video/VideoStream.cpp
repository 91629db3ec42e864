#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#include "platform/sound/Sound.h"
#include "platform/sys/Clock.h"
#include "platform/video/MediaContext.h"
#include "platform/video/Video.h"

namespace {
CVideoStream::Clock g_clock = nullptr;

int64_t Now() {
    return g_clock ? g_clock() : Sys_QueryPerformanceCounter();
}

// The decoder library's name for a surface layout; AV_PIX_FMT_NONE when it
// writes none such.
AVPixelFormat TargetFormat(const SVideoTarget& t) {
    if (t.bitCount == 32 && t.rMask == 0xFF0000 && t.gMask == 0xFF00 && t.bMask == 0xFF)
        return AV_PIX_FMT_BGR0;
    if (t.bitCount == 32 && t.rMask == 0xFF && t.gMask == 0xFF00 && t.bMask == 0xFF0000)
        return AV_PIX_FMT_RGB0;
    if (t.bitCount == 24 && t.rMask == 0xFF0000 && t.gMask == 0xFF00 && t.bMask == 0xFF)
        return AV_PIX_FMT_BGR24;
    if (t.bitCount == 24 && t.rMask == 0xFF && t.gMask == 0xFF00 && t.bMask == 0xFF0000)
        return AV_PIX_FMT_RGB24;
    if (t.bitCount == 16 && t.rMask == 0xF800 && t.gMask == 0x7E0 && t.bMask == 0x1F)
        return AV_PIX_FMT_RGB565LE;
    if (t.bitCount == 16 && t.rMask == 0x7C00 && t.gMask == 0x3E0 && t.bMask == 0x1F)
        return AV_PIX_FMT_RGB555LE;
    return AV_PIX_FMT_NONE;
}

int64_t StampOf(const AVPacket* p) {
    return p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
}
}  // namespace

void CVideoStream::SetClock(Clock clock) {
    g_clock = clock;
}

CVideoStream::CVideoStream() = default;

CVideoStream::~CVideoStream() {
    Close();
}

void CVideoStream::Close() {
    m_sound.reset();
    if (Av_Loaded()) {  // otherwise nothing of the library's was made
        Av().sws_freeContext(m_sws);
        Av().av_free(m_scratch);
        Av().av_frame_free(&m_picture);
        Av().avcodec_free_context(&m_video);
    }
    m_sws = nullptr;
    m_scratch = nullptr;
    m_scratchSize = 0;
    delete m_ctx;
    m_ctx = nullptr;
    m_videoStream = -1;
    m_pts.clear();
    m_keys.clear();
    m_keyPts.clear();
    m_width = m_height = 0;
    m_frameNum = 1;
    m_decoded = m_lastOut = 0;
    m_hasSound = false;
    m_paused = false;
    m_soundStarted = false;
    m_samples.clear();
}

bool CVideoStream::Open(std::unique_ptr<CMediaInput> input, int soundTrack, int frameRate) {
    Close();
    m_ctx = new SMediaContext();
    if (!m_ctx->Open(std::move(input))) {
        Close();
        return false;
    }
    AVFormatContext* fmt = m_ctx->m_format;
    m_videoStream = Av().av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    // Several threads decode a frame each: playback keeps pace with the
    // command-line decoder.
    m_video = m_videoStream >= 0 ? m_ctx->OpenDecoder(m_videoStream, 0) : nullptr;
    if (!m_video || m_video->width <= 0 || m_video->height <= 0 || !Index()) {
        Close();
        return false;
    }
    m_width = (uint32_t)m_video->width;
    m_height = (uint32_t)m_video->height;
    AVStream* vs = fmt->streams[m_videoStream];
    AVRational rate =
        vs->avg_frame_rate.num > 0 && vs->avg_frame_rate.den > 0 ? vs->avg_frame_rate : vs->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
    m_rate = (uint32_t)rate.num;
    m_rateDiv = (uint32_t)rate.den;
    if (frameRate >= 0) {
        m_rate = (uint32_t)frameRate;
        m_rateDiv = 1;
    }
    // The sound track: the n-th sound stream of the file.
    int track = 0;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        AVStream* st = fmt->streams[i];
        if ((int)i == m_videoStream) continue;
        if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && soundTrack >= 0 && track++ == soundTrack &&
            m_ctx->m_audioStream < 0) {
            m_ctx->m_audioStream = (int)i;
            continue;
        }
        st->discard = AVDISCARD_ALL;
    }
    if (m_ctx->m_audioStream >= 0) {
        m_ctx->m_audio = m_ctx->OpenDecoder(m_ctx->m_audioStream, 1);
        m_hasSound = m_ctx->m_audio && Media_OutputChannels(m_ctx->m_audio) > 0;
        if (!m_hasSound) fmt->streams[m_ctx->m_audioStream]->discard = AVDISCARD_ALL;
    }
    if (m_hasSound && CSoundDevice::Current()) {
        m_sound.reset(new CSoundStream());
        if (m_sound->Open(m_ctx->m_audio->sample_rate, Media_OutputChannels(m_ctx->m_audio))) {
            SetVolume(m_volume);
            SetPan(m_pan);
        } else {
            m_sound.reset();
        }
    }
    m_picture = Av().av_frame_alloc();
    if (!m_picture || !Rewind(0)) {
        Close();
        return false;
    }
    m_frameNum = 1;
    m_baseFrame = 1;
    m_baseTime = Now();
    return true;
}

// Reads every packet of the video once: the frame count is the packet count,
// the showing order the order of their time stamps, and the key frames are
// where a jump can start decoding.
bool CVideoStream::Index() {
    AVFormatContext* fmt = m_ctx->m_format;
    AVPacket* p = m_ctx->m_packet;
    struct SEntry {
        int64_t pts;
        bool key;
    };
    std::vector<SEntry> entries;
    int64_t fallback = 0;
    while (Av().av_read_frame(fmt, p) >= 0) {
        if (p->stream_index == m_videoStream) {
            int64_t ts = StampOf(p);
            if (ts == AV_NOPTS_VALUE) ts = fallback;
            fallback = ts + 1;
            entries.push_back({ts, (p->flags & AV_PKT_FLAG_KEY) != 0});
        }
        Av().av_packet_unref(p);
    }
    if (entries.empty()) return false;
    std::vector<SEntry> sorted = entries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const SEntry& a, const SEntry& b) { return a.pts < b.pts; });
    m_pts.reserve(sorted.size());
    for (const SEntry& e : sorted) m_pts.push_back(e.pts);
    for (const SEntry& e : entries) {
        if (!e.key) continue;
        m_keys.push_back(RankOf(e.pts));
        m_keyPts.push_back(e.pts);
    }
    if (m_keys.empty() || m_keys.front() != 0) {
        // A stream that does not say where its key frames are starts at the
        // first frame and never jumps anywhere else.
        m_keys.insert(m_keys.begin(), 0);
        m_keyPts.insert(m_keyPts.begin(), m_pts.front());
    }
    return true;
}

uint32_t CVideoStream::RankOf(int64_t pts) const {
    if (pts != AV_NOPTS_VALUE) {
        auto it = std::lower_bound(m_pts.begin(), m_pts.end(), pts);
        if (it != m_pts.end() && *it == pts) return (uint32_t)(it - m_pts.begin());
    }
    return m_lastOut;  // the one after the last picture
}

bool CVideoStream::Rewind(uint32_t keyIndex) {
    AVFormatContext* fmt = m_ctx->m_format;
    int64_t ts = m_keyPts[keyIndex];
    int r = Av().av_seek_frame(fmt, m_videoStream, ts, AVSEEK_FLAG_BACKWARD);
    if (r < 0) r = Av().avformat_seek_file(fmt, m_videoStream, INT64_MIN, ts, ts, 0);
    if (r < 0 && keyIndex == 0) r = Av().av_seek_frame(fmt, m_videoStream, 0, AVSEEK_FLAG_BYTE);
    if (r < 0) return false;
    Av().avcodec_flush_buffers(m_video);
    if (m_ctx->m_audio) Av().avcodec_flush_buffers(m_ctx->m_audio);
    m_ctx->m_eof = false;
    m_drained = false;
    m_lastOut = m_keys[keyIndex];
    return true;
}

void CVideoStream::HandleAudio() {
    AVCodecContext* audio = m_ctx->m_audio;
    if (Av().avcodec_send_packet(audio, m_ctx->m_packet) < 0) return;
    while (Av().avcodec_receive_frame(audio, m_ctx->m_frame) == 0) {
        if (m_sound && m_soundOn && m_ctx->m_frame->sample_rate == m_sound->Rate()) {
            m_samples.clear();
            Media_AppendSamples(m_ctx->m_frame, m_sound->Channels(), m_samples);
            // At most ten seconds ahead of the mixer; more is dropped.
            m_sound->Queue(m_samples.data(), m_samples.size() / (size_t)m_sound->Channels(),
                           (size_t)m_sound->Rate() * 10);
        }
        Av().av_frame_unref(m_ctx->m_frame);
    }
    if (m_sound) m_sound->Service();
}

bool CVideoStream::DecodeNext() {
    AVFrame* out = Av().av_frame_alloc();
    if (!out) return false;
    bool got = false;
    for (;;) {
        int r = Av().avcodec_receive_frame(m_video, out);
        if (r == 0) {
            int64_t ts = out->best_effort_timestamp != AV_NOPTS_VALUE ? out->best_effort_timestamp : out->pts;
            m_lastOut = RankOf(ts) + 1;
            Av().av_frame_unref(m_picture);
            Av().av_frame_move_ref(m_picture, out);
            got = true;
            break;
        }
        if (r != AVERROR(EAGAIN)) break;  // drained or broken
        if (m_ctx->m_eof) {
            if (m_drained) break;
            Av().avcodec_send_packet(m_video, nullptr);
            m_drained = true;
            continue;
        }
        AVPacket* p = m_ctx->m_packet;
        if (Av().av_read_frame(m_ctx->m_format, p) < 0) {
            m_ctx->m_eof = true;
            if (m_sound) m_sound->Flush();
            continue;
        }
        if (p->stream_index == m_videoStream)
            Av().avcodec_send_packet(m_video, p);  // a damaged packet costs its frame only
        else if (p->stream_index == m_ctx->m_audioStream && m_ctx->m_audio)
            HandleAudio();
        Av().av_packet_unref(p);
    }
    Av().av_frame_free(&out);
    return got;
}

void CVideoStream::ServiceSound() {
    if (!m_sound) return;
    // The sound starts with the first frame that is shown unpaused.
    if (!m_soundStarted && !m_paused && m_soundOn) {
        m_sound->Play();
        m_soundStarted = true;
    }
    m_sound->Service();
}

bool CVideoStream::DoFrame() {
    if (!m_ctx) return false;
    ServiceSound();
    uint32_t target = m_frameNum;
    if (m_decoded == target) return true;
    // Forward from where the decoder is when the wanted frame lies ahead and
    // no key frame comes first; otherwise from the key frame before it.
    uint32_t key = 0;
    for (uint32_t i = 0; i < m_keys.size(); ++i)
        if (m_keys[i] < target) key = i;
    bool forward = m_lastOut < target && m_lastOut >= m_keys[key];
    if (!forward && !Rewind(key)) return false;
    while (m_lastOut < target)
        if (!DecodeNext()) {
            // The file ended before its index said it would: the last
            // picture stands for the rest.
            m_decoded = m_lastOut;
            return m_lastOut > 0;
        }
    m_decoded = target;
    return true;
}

void CVideoStream::NextFrame() {
    if (!m_ctx) return;
    if (m_frameNum >= Frames()) {
        // After the last frame comes the first; the clock runs on.
        m_baseTime += (int64_t)(Frames() + 1 - m_baseFrame) * FramePeriod();
        m_baseFrame = 1;
        m_frameNum = 1;
    } else {
        ++m_frameNum;
    }
}

void CVideoStream::Goto(uint32_t n) {
    if (!m_ctx || Frames() == 0) return;
    m_frameNum = std::max(1u, std::min(n, Frames()));
    m_baseFrame = m_frameNum;
    m_baseTime = Now();
}

int64_t CVideoStream::FramePeriod() const {
    if (m_rate == 0) return Sys_QueryPerformanceFrequency() / 25;
    return Sys_QueryPerformanceFrequency() * (int64_t)m_rateDiv / (int64_t)m_rate;
}

bool CVideoStream::Wait() {
    if (!m_ctx) return false;
    ServiceSound();
    if (m_paused) return true;
    int64_t now = Now();
    int64_t due = m_baseTime + (int64_t)(m_frameNum - m_baseFrame) * FramePeriod();
    if (now < due) return true;
    // Far behind (a long stall): the clock starts again from here instead of
    // rushing through the frames it missed.
    if (now - due > Sys_QueryPerformanceFrequency()) {
        m_baseTime = now;
        m_baseFrame = m_frameNum;
    }
    return false;
}

void CVideoStream::Pause(bool paused) {
    if (!m_ctx || paused == m_paused) return;
    if (paused)
        m_pausedAt = Now();
    else
        m_baseTime += Now() - m_pausedAt;
    m_paused = paused;
    if (m_sound && m_soundStarted) m_sound->Pause(paused || !m_soundOn);
}

bool CVideoStream::CopyToBuffer(const SVideoTarget& t, int x, int y) {
    if (!m_ctx || !m_picture || !m_picture->data[0] || !t.pixels) return false;
    if (!m_videoOn) return true;
    AVPixelFormat dstFormat = TargetFormat(t);
    if (dstFormat == AV_PIX_FMT_NONE || x < 0 || y < 0) return false;
    int w = std::min<int>(m_picture->width, t.width - x);
    int h = std::min<int>(m_picture->height, t.height - y);
    if (w <= 0 || h <= 0) return true;
    int key[5] = {w, h, m_picture->format, (int)dstFormat, 1};
    if (!m_sws || !std::equal(key, key + 5, m_swsKey)) {
        Av().sws_freeContext(m_sws);
        m_sws = Av().sws_getContext(w, h, (AVPixelFormat)m_picture->format, w, h, dstFormat, SWS_POINT,
                                    nullptr, nullptr, nullptr);
        std::copy(key, key + 5, m_swsKey);
        if (!m_sws) return false;
    }
    // The converter writes whole aligned blocks, past the end of a row: it
    // converts into a scratch picture, whose rows are then copied into the
    // target cut to its edges.
    int bpp = (int)t.bitCount / 8;
    int scratchPitch = (w * bpp + 63) & ~63;
    size_t need = (size_t)scratchPitch * (size_t)(h + 1);
    if (m_scratchSize < need) {
        Av().av_free(m_scratch);
        m_scratch = static_cast<uint8_t*>(Av().av_malloc(need));
        m_scratchSize = m_scratch ? need : 0;
        if (!m_scratch) return false;
    }
    uint8_t* dst[4] = {m_scratch, nullptr, nullptr, nullptr};
    int dstStride[4] = {scratchPitch, 0, 0, 0};
    if (Av().sws_scale(m_sws, m_picture->data, m_picture->linesize, 0, h, dst, dstStride) <= 0) return false;
    for (int row = 0; row < h; ++row)
        std::memcpy(t.pixels + (ptrdiff_t)(y + row) * t.pitch + (ptrdiff_t)x * bpp,
                    m_scratch + (ptrdiff_t)row * scratchPitch, (size_t)w * (size_t)bpp);
    return true;
}

void CVideoStream::SetVolume(int volume) {
    m_volume = volume;
    if (m_sound) m_sound->SetVolume((int)std::min<int64_t>(127, (int64_t)std::max(0, volume) * 127 / 32768));
}

void CVideoStream::SetPan(int pan) {
    m_pan = pan;
    if (m_sound) m_sound->SetPan((int)(((int64_t)std::max(0, std::min(pan, 65536)) * 127 + 32768) / 65536));
}

void CVideoStream::SetSoundOnOff(bool on) {
    m_soundOn = on;
    if (m_sound && m_soundStarted) m_sound->Pause(!on || m_paused);
}
