// libavformat, libavcodec, libavutil and libswscale, opened when a video or a
// sound first needs them: a run that plays none never loads them, nor the
// hundred libraries of codecs they bring, each with its symbols to bind at
// start-up (and some with timers to calibrate). Only platform/video includes
// this header.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libswscale/swscale.h>
}

// The functions platform/video calls (the decoders and the recordings'
// writer), by their names.
#define TESSARAK_AV_FUNCTIONS(X)       \
    X(av_find_best_stream)             \
    X(av_frame_alloc)                  \
    X(av_frame_free)                   \
    X(av_frame_get_buffer)             \
    X(av_frame_make_writable)          \
    X(av_frame_move_ref)               \
    X(av_frame_unref)                  \
    X(av_free)                         \
    X(av_freep)                        \
    X(av_get_packed_sample_fmt)        \
    X(av_interleaved_write_frame)      \
    X(av_log_set_level)                \
    X(av_malloc)                       \
    X(av_packet_alloc)                 \
    X(av_packet_free)                  \
    X(av_packet_rescale_ts)            \
    X(av_packet_unref)                 \
    X(av_read_frame)                   \
    X(av_reduce)                       \
    X(av_rescale_q)                    \
    X(av_sample_fmt_is_planar)         \
    X(av_seek_frame)                   \
    X(av_write_trailer)                \
    X(avcodec_alloc_context3)          \
    X(avcodec_find_decoder)            \
    X(avcodec_find_encoder)            \
    X(avcodec_flush_buffers)           \
    X(avcodec_free_context)            \
    X(avcodec_open2)                   \
    X(avcodec_parameters_from_context) \
    X(avcodec_parameters_to_context)   \
    X(avcodec_receive_frame)           \
    X(avcodec_receive_packet)          \
    X(avcodec_send_frame)              \
    X(avcodec_send_packet)             \
    X(avformat_alloc_context)          \
    X(avformat_alloc_output_context2)  \
    X(avformat_close_input)            \
    X(avformat_find_stream_info)       \
    X(avformat_flush)                  \
    X(avformat_free_context)           \
    X(avformat_new_stream)             \
    X(avformat_open_input)             \
    X(avformat_seek_file)              \
    X(avformat_write_header)           \
    X(avio_alloc_context)              \
    X(avio_closep)                     \
    X(avio_context_free)               \
    X(avio_open)                       \
    X(avio_seek)                       \
    X(sws_freeContext)                 \
    X(sws_getContext)                  \
    X(sws_scale)

struct SAvLibrary {
#define TESSARAK_AV_POINTER(name) decltype(&::name) name = nullptr;
    TESSARAK_AV_FUNCTIONS(TESSARAK_AV_POINTER)
#undef TESSARAK_AV_POINTER
};

// Opens the libraries of the versions we were built against and binds every
// function, once per process; false (then and ever after) when one cannot be
// had: no video or sound file can then be opened.
bool Av_Load();
// Whether Av_Load succeeded (it is not tried here).
bool Av_Loaded();
// The bound functions; call only after Av_Load gave true.
const SAvLibrary& Av();
