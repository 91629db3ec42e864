// Reading back what the mixer played: OpenAL Soft's wave-file back end writes
// the mix into a WAV file while a device is open. A sound test installs the
// capture before anything opens a sound device (the library reads its
// settings once), plays, closes the device and reads the file.
#pragma once

#include <string>
#include <vector>

struct SCapturedSound {
    int rate = 0;
    // The file's format: channels, bits per sample and whether the samples
    // are floats.
    int channels = 0, bits = 0;
    bool floats = false;
    // The first two channels (the only one twice for mono), -1 to 1.
    std::vector<float> left, right;
    size_t Frames() const { return left.size(); }
};

class CSoundCapture {
public:
    // Points OpenAL Soft at a wave file in a scratch folder (once per process).
    static void Install();
    static const std::string& OutputPath();
    // The file as the device left it (closed); false when there is none.
    static bool Read(SCapturedSound& out);
    // Frames the open device has written so far.
    static size_t WrittenFrames();
    // Waits until the device has written 'seconds' more of sound (the mixer
    // runs in real time, slower on a busy machine), calling 'service' between
    // looks; false after the time-out.
    static bool WaitMixed(double seconds, void (*service)(void*) = nullptr, void* user = nullptr,
                          double timeoutSeconds = 15.0);
};

// A wave file as OpenAL Soft's writer leaves it (closed or still open);
// false when it has no header yet.
bool Sound_ReadWave(const std::string& path, SCapturedSound& out);
// Frames written to the file so far.
size_t Sound_WrittenFrames(const std::string& path);

// The first frame whose level reaches the threshold (Frames() when none).
size_t Sound_FirstAbove(const std::vector<float>& ch, float threshold, size_t from = 0);
// Root mean square level over [from, to).
double Sound_Rms(const std::vector<float>& ch, size_t from, size_t to);
// Frequency by upward zero crossings over [from, to); 0 with too few.
double Sound_Frequency(const std::vector<float>& ch, int rate, size_t from, size_t to);
// Energy of one frequency over [from, to) (Goertzel), normalised to the
// window length: about amplitude^2 / 4 for a pure tone of that frequency.
double Sound_ToneEnergy(const std::vector<float>& ch, int rate, double hz, size_t from, size_t to);
