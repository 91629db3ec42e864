// What the decoders of platform/video share: an opened container read
// through our own I/O context, and the conversion of decoded sound into
// 16-bit interleaved samples. Only platform/video includes this header.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/video/AvLibrary.h"
#include "platform/video/Media.h"

struct SMediaContext {
    ~SMediaContext();
    // Opens the container by its content; false when nothing the library
    // knows is inside (or the libraries cannot be loaded).
    bool Open(std::unique_ptr<CMediaInput> input);
    // Opens a decoder for stream index; null when there is none for it.
    AVCodecContext* OpenDecoder(int stream, int threads);

    std::unique_ptr<CMediaInput> m_input;
    AVIOContext* m_io = nullptr;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_audio = nullptr;
    int m_audioStream = -1;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    bool m_eof = false;  // the demuxer has no more packets
};

// Appends a decoded sound frame as 16-bit interleaved samples in 'channels'
// (1 or 2) channels; more channels in the frame are folded into two.
void Media_AppendSamples(const AVFrame* frame, int channels, std::vector<int16_t>& out);
// The channel count a stream's sound comes out in (1 or 2; 0: unusable).
int Media_OutputChannels(const AVCodecContext* codec);
// Silences the library's own log (once per process).
void Media_QuietLog();
