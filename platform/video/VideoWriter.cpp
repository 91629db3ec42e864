#include "platform/video/VideoWriter.h"

#include "platform/video/AvLibrary.h"

struct CVideoWriter::SState {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    bool headerWritten = false;

    ~SState() {
        Av().sws_freeContext(sws);
        Av().av_packet_free(&packet);
        Av().av_frame_free(&frame);
        Av().avcodec_free_context(&codec);
        if (format) {
            if (format->pb) Av().avio_closep(&format->pb);
            Av().avformat_free_context(format);
        }
    }
};

CVideoWriter::CVideoWriter() = default;

CVideoWriter::~CVideoWriter() {
    Close();
}

bool CVideoWriter::IsOpen() const {
    return m_state != nullptr;
}

bool CVideoWriter::Fail(const char* what) {
    m_error = what;
    m_state.reset();
    return false;
}

bool CVideoWriter::Open(const std::string& path, int width, int height, int rate, int divisor) {
    Close();
    m_frames = 0;
    m_error.clear();
    m_width = width & ~1;
    m_height = height & ~1;
    if (m_width < 2 || m_height < 2 || rate <= 0 || divisor <= 0)
        return Fail("no picture size or frame rate");
    // The libraries are opened by the first user (a program that plays no
    // video before it writes one included).
    if (!Av_Load()) return Fail("the video libraries cannot be loaded");
    Av().av_log_set_level(AV_LOG_QUIET);
    m_state.reset(new SState);
    SState& s = *m_state;
    if (Av().avformat_alloc_output_context2(&s.format, nullptr, "avi", path.c_str()) < 0 || !s.format)
        return Fail("no AVI writer");
    const AVCodec* encoder = Av().avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!encoder) return Fail("no MPEG-4 encoder");
    s.stream = Av().avformat_new_stream(s.format, nullptr);
    s.codec = Av().avcodec_alloc_context3(encoder);
    if (!s.stream || !s.codec) return Fail("out of memory");
    AVRational period;
    Av().av_reduce(&period.num, &period.den, divisor, rate, 1 << 30);
    s.codec->width = m_width;
    s.codec->height = m_height;
    s.codec->time_base = period;
    s.codec->framerate = AVRational{period.den, period.num};
    s.codec->pix_fmt = AV_PIX_FMT_YUV420P;
    s.codec->gop_size = 12;
    s.codec->max_b_frames = 0;
    // A fixed quantiser: the picture's quality does not depend on a bit
    // rate guessed for the size.
    s.codec->flags |= AV_CODEC_FLAG_QSCALE;
    s.codec->global_quality = FF_QP2LAMBDA * 3;
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) s.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (Av().avcodec_open2(s.codec, encoder, nullptr) < 0) return Fail("the encoder does not open");
    if (Av().avcodec_parameters_from_context(s.stream->codecpar, s.codec) < 0)
        return Fail("no stream parameters");
    s.stream->time_base = s.codec->time_base;
    if (Av().avio_open(&s.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
        return Fail("the file cannot be created");
    if (Av().avformat_write_header(s.format, nullptr) < 0) return Fail("the file's head cannot be written");
    s.headerWritten = true;
    s.frame = Av().av_frame_alloc();
    s.packet = Av().av_packet_alloc();
    if (!s.frame || !s.packet) return Fail("out of memory");
    s.frame->format = AV_PIX_FMT_YUV420P;
    s.frame->width = m_width;
    s.frame->height = m_height;
    if (Av().av_frame_get_buffer(s.frame, 0) < 0) return Fail("out of memory");
    s.sws = Av().sws_getContext(m_width, m_height, AV_PIX_FMT_RGB24, m_width, m_height, AV_PIX_FMT_YUV420P,
                                SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!s.sws) return Fail("no picture converter");
    return true;
}

// The packets the encoder has ready go into the file (all of them, at the
// end, with flush).
bool CVideoWriter::Drain(bool flush) {
    SState& s = *m_state;
    for (;;) {
        const int got = Av().avcodec_receive_packet(s.codec, s.packet);
        if (got == AVERROR(EAGAIN) || (flush && got == AVERROR_EOF)) return true;
        if (got < 0) return false;
        Av().av_packet_rescale_ts(s.packet, s.codec->time_base, s.stream->time_base);
        s.packet->stream_index = s.stream->index;
        const int written = Av().av_interleaved_write_frame(s.format, s.packet);
        Av().av_packet_unref(s.packet);
        if (written < 0) return false;
    }
}

bool CVideoWriter::AddFrame(const uint8_t* rgb, int pitch) {
    if (!m_state || !rgb) return false;
    SState& s = *m_state;
    if (Av().av_frame_make_writable(s.frame) < 0) return false;
    const uint8_t* rows[1] = {rgb};
    const int pitches[1] = {pitch};
    Av().sws_scale(s.sws, rows, pitches, 0, m_height, s.frame->data, s.frame->linesize);
    s.frame->pts = m_frames;
    if (Av().avcodec_send_frame(s.codec, s.frame) < 0 || !Drain(false)) return false;
    ++m_frames;
    return true;
}

bool CVideoWriter::Close() {
    if (!m_state) return true;
    SState& s = *m_state;
    bool ok = true;
    if (s.headerWritten) {
        ok = Av().avcodec_send_frame(s.codec, nullptr) >= 0 && Drain(true);
        ok = Av().av_write_trailer(s.format) >= 0 && ok;
    }
    m_state.reset();
    if (!ok) m_error = "the file's end cannot be written";
    return ok;
}
