#include "platform/video/Media.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/video/MediaContext.h"

// ---------------------------------------------------------------------------
// Inputs

std::unique_ptr<CMediaInput> CMediaInput::FromFile(int fd, uint64_t offset, int64_t length, bool ownFd) {
    if (fd < 0) return nullptr;
    off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0 || (uint64_t)end < offset) {
        if (ownFd) close(fd);
        return nullptr;
    }
    uint64_t avail = (uint64_t)end - offset;
    if (length < 0 || (uint64_t)length > avail) length = (int64_t)avail;
    std::unique_ptr<CMediaInput> in(new CMediaInput());
    in->m_fd = fd;
    in->m_ownFd = ownFd;
    in->m_offset = offset;
    in->m_length = length;
    return in;
}

std::unique_ptr<CMediaInput> CMediaInput::FromMemory(const void* data, size_t size) {
    std::unique_ptr<CMediaInput> in(new CMediaInput());
    if (data && size) in->m_memory.assign((const uint8_t*)data, (const uint8_t*)data + size);
    in->m_length = (int64_t)in->m_memory.size();
    return in;
}

CMediaInput::~CMediaInput() {
    if (m_ownFd && m_fd >= 0) close(m_fd);
}

int CMediaInput::Read(uint8_t* buf, int size) {
    if (size <= 0 || m_pos >= m_length) return 0;
    int64_t n = std::min<int64_t>(size, m_length - m_pos);
    if (m_fd < 0) {
        std::memcpy(buf, m_memory.data() + m_pos, (size_t)n);
    } else {
        ssize_t got = pread(m_fd, buf, (size_t)n, (off_t)(m_offset + (uint64_t)m_pos));
        if (got < 0) return -1;
        n = got;
    }
    m_pos += n;
    return (int)n;
}

int64_t CMediaInput::Seek(int64_t offset, int whence) {
    int64_t base = whence == SEEK_CUR ? m_pos : whence == SEEK_END ? m_length : 0;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
    int64_t to = base + offset;
    if (to < 0) return -1;
    m_pos = to;
    return to;
}

// ---------------------------------------------------------------------------
// The container

void Media_QuietLog() {
    static std::once_flag once;
    if (Av_Load()) std::call_once(once, [] { Av().av_log_set_level(AV_LOG_QUIET); });
}

namespace {
constexpr int kIOBufferSize = 32768;

int ReadPacket(void* opaque, uint8_t* buf, int size) {
    int n = static_cast<CMediaInput*>(opaque)->Read(buf, size);
    if (n == 0) return AVERROR_EOF;
    return n < 0 ? AVERROR(EIO) : n;
}

int64_t SeekInput(void* opaque, int64_t offset, int whence) {
    CMediaInput* in = static_cast<CMediaInput*>(opaque);
    if (whence & AVSEEK_SIZE) return in->Size();
    return in->Seek(offset, whence & ~AVSEEK_FORCE);
}
}  // namespace

SMediaContext::~SMediaContext() {
    if (!Av_Loaded()) return;  // nothing was made
    Av().av_frame_free(&m_frame);
    Av().av_packet_free(&m_packet);
    Av().avcodec_free_context(&m_audio);
    Av().avformat_close_input(&m_format);
    if (m_io) {
        Av().av_freep(&m_io->buffer);
        Av().avio_context_free(&m_io);
    }
}

bool SMediaContext::Open(std::unique_ptr<CMediaInput> input) {
    if (!Av_Load()) return false;
    Media_QuietLog();
    if (!input || input->Size() <= 0) return false;
    m_input = std::move(input);
    uint8_t* buffer = static_cast<uint8_t*>(Av().av_malloc(kIOBufferSize));
    if (!buffer) return false;
    m_io = Av().avio_alloc_context(buffer, kIOBufferSize, 0, m_input.get(), &ReadPacket, nullptr, &SeekInput);
    if (!m_io) {
        Av().av_free(buffer);
        return false;
    }
    m_format = Av().avformat_alloc_context();
    if (!m_format) return false;
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // No name: the container is found by its content alone.
    if (Av().avformat_open_input(&m_format, "", nullptr, nullptr) < 0) {
        m_format = nullptr;  // freed by the failed open
        return false;
    }
    if (Av().avformat_find_stream_info(m_format, nullptr) < 0) return false;
    m_packet = Av().av_packet_alloc();
    m_frame = Av().av_frame_alloc();
    return m_packet && m_frame;
}

AVCodecContext* SMediaContext::OpenDecoder(int stream, int threads) {
    if (!m_format || stream < 0 || stream >= (int)m_format->nb_streams) return nullptr;
    AVStream* st = m_format->streams[stream];
    const AVCodec* codec = Av().avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return nullptr;
    AVCodecContext* ctx = Av().avcodec_alloc_context3(codec);
    if (!ctx) return nullptr;
    if (Av().avcodec_parameters_to_context(ctx, st->codecpar) < 0) {
        Av().avcodec_free_context(&ctx);
        return nullptr;
    }
    ctx->thread_count = threads;
    ctx->pkt_timebase = st->time_base;
    if (Av().avcodec_open2(ctx, codec, nullptr) < 0) {
        Av().avcodec_free_context(&ctx);
        return nullptr;
    }
    return ctx;
}

// ---------------------------------------------------------------------------
// Sound samples

int Media_OutputChannels(const AVCodecContext* codec) {
    int n = codec ? codec->ch_layout.nb_channels : 0;
    if (n <= 0) return 0;
    return n >= 2 ? 2 : 1;
}

namespace {
inline int16_t ClampS16(float v) {
    float s = v * 32768.0f;
    if (s >= 32767.0f) return 32767;
    if (s <= -32768.0f) return -32768;
    return (int16_t)std::lrintf(s);
}

// One sample of channel c at position i, as a float in [-1, 1).
float SampleAt(const AVFrame* f, AVSampleFormat fmt, int channels, int c, int i) {
    bool planar = Av().av_sample_fmt_is_planar(fmt);
    const uint8_t* base = planar ? f->extended_data[c] : f->extended_data[0];
    int index = planar ? i : i * channels + c;
    switch (Av().av_get_packed_sample_fmt(fmt)) {
        case AV_SAMPLE_FMT_U8:
            return ((int)base[index] - 128) / 128.0f;
        case AV_SAMPLE_FMT_S16: {
            int16_t v;
            std::memcpy(&v, base + index * 2, 2);
            return v / 32768.0f;
        }
        case AV_SAMPLE_FMT_S32: {
            int32_t v;
            std::memcpy(&v, base + index * 4, 4);
            return (float)(v / 2147483648.0);
        }
        case AV_SAMPLE_FMT_FLT: {
            float v;
            std::memcpy(&v, base + index * 4, 4);
            return v;
        }
        case AV_SAMPLE_FMT_DBL: {
            double v;
            std::memcpy(&v, base + index * 8, 8);
            return (float)v;
        }
        case AV_SAMPLE_FMT_S64: {
            int64_t v;
            std::memcpy(&v, base + index * 8, 8);
            return (float)(v / 9223372036854775808.0);
        }
        default:
            return 0.0f;
    }
}
}  // namespace

void Media_AppendSamples(const AVFrame* f, int channels, std::vector<int16_t>& out) {
    int in = f->ch_layout.nb_channels;
    if (in <= 0 || f->nb_samples <= 0 || channels < 1) return;
    AVSampleFormat fmt = (AVSampleFormat)f->format;
    size_t start = out.size();
    out.resize(start + (size_t)f->nb_samples * (size_t)channels);
    int16_t* dst = out.data() + start;
    // The common case, 16-bit interleaved in the wanted layout, is a copy.
    if (fmt == AV_SAMPLE_FMT_S16 && in == channels) {
        std::memcpy(dst, f->extended_data[0], (size_t)f->nb_samples * (size_t)channels * 2);
        return;
    }
    for (int i = 0; i < f->nb_samples; ++i) {
        if (channels == 1) {
            *dst++ = ClampS16(SampleAt(f, fmt, in, 0, i));
        } else if (in == 1) {
            int16_t v = ClampS16(SampleAt(f, fmt, in, 0, i));
            *dst++ = v;
            *dst++ = v;
        } else {
            *dst++ = ClampS16(SampleAt(f, fmt, in, 0, i));
            *dst++ = ClampS16(SampleAt(f, fmt, in, 1, i));
        }
    }
}

// ---------------------------------------------------------------------------
// Sound readers

CMediaAudioReader::CMediaAudioReader() = default;

CMediaAudioReader::~CMediaAudioReader() {
    Close();
}

void CMediaAudioReader::Close() {
    delete m_ctx;
    m_ctx = nullptr;
    m_rate = m_channels = 0;
}

bool CMediaAudioReader::IsOpen() const {
    return m_ctx != nullptr;
}

bool CMediaAudioReader::Open(std::unique_ptr<CMediaInput> input) {
    Close();
    m_ctx = new SMediaContext();
    if (m_ctx->Open(std::move(input))) {
        int stream = Av().av_find_best_stream(m_ctx->m_format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (stream >= 0) {
            m_ctx->m_audioStream = stream;
            m_ctx->m_audio = m_ctx->OpenDecoder(stream, 1);
        }
    }
    if (!m_ctx->m_audio || Media_OutputChannels(m_ctx->m_audio) == 0 || m_ctx->m_audio->sample_rate <= 0) {
        Close();
        return false;
    }
    for (unsigned i = 0; i < m_ctx->m_format->nb_streams; ++i)
        if ((int)i != m_ctx->m_audioStream) m_ctx->m_format->streams[i]->discard = AVDISCARD_ALL;
    m_rate = m_ctx->m_audio->sample_rate;
    m_channels = Media_OutputChannels(m_ctx->m_audio);
    return true;
}

bool CMediaAudioReader::ReadMore(std::vector<int16_t>& out) {
    if (!m_ctx) return false;
    SMediaContext& c = *m_ctx;
    for (;;) {
        int r = Av().avcodec_receive_frame(c.m_audio, c.m_frame);
        if (r == 0) {
            // A rate change in mid-stream cannot be followed by the voice:
            // such a stream ends there.
            if (c.m_frame->sample_rate != m_rate) {
                Av().av_frame_unref(c.m_frame);
                return false;
            }
            Media_AppendSamples(c.m_frame, m_channels, out);
            Av().av_frame_unref(c.m_frame);
            return true;
        }
        if (r == AVERROR_EOF) return false;
        if (r != AVERROR(EAGAIN)) return false;
        if (c.m_eof) return false;
        r = Av().av_read_frame(c.m_format, c.m_packet);
        if (r < 0) {
            c.m_eof = true;
            Av().avcodec_send_packet(c.m_audio, nullptr);  // drain
            continue;
        }
        if (c.m_packet->stream_index == c.m_audioStream) {
            // A damaged packet is skipped; the stream goes on with the next.
            Av().avcodec_send_packet(c.m_audio, c.m_packet);
        }
        Av().av_packet_unref(c.m_packet);
    }
}

bool CMediaAudioReader::SeekMilliseconds(int64_t ms) {
    if (!m_ctx) return false;
    SMediaContext& c = *m_ctx;
    if (ms < 0) ms = 0;
    AVStream* st = c.m_format->streams[c.m_audioStream];
    int64_t ts = Av().av_rescale_q(ms, AVRational{1, 1000}, st->time_base);
    if (st->start_time != AV_NOPTS_VALUE) ts += st->start_time;
    int r = Av().av_seek_frame(c.m_format, c.m_audioStream, ts, AVSEEK_FLAG_BACKWARD);
    if (r < 0 && ms == 0) {
        // Streams that cannot seek by time go back by bytes.
        r = Av().avio_seek(c.m_format->pb, 0, SEEK_SET) < 0 ? -1 : 0;
        if (r == 0) Av().avformat_flush(c.m_format);
    }
    Av().avcodec_flush_buffers(c.m_audio);
    c.m_eof = false;
    return r >= 0;
}

bool Media_DecodeAudio(std::unique_ptr<CMediaInput> input, SMediaAudio& out) {
    out = SMediaAudio();
    CMediaAudioReader reader;
    if (!reader.Open(std::move(input))) return false;
    out.m_rate = reader.Rate();
    out.m_channels = reader.Channels();
    while (reader.ReadMore(out.m_samples))
        if (out.Frames() > kMediaMaxAudioFrames) {
            out = SMediaAudio();
            return false;
        }
    return out.Frames() > 0;
}
