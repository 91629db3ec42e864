#include "tests/support/SoundCapture.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace {
std::string& Path() {
    static std::string path;
    return path;
}
uint32_t U32(const std::string& d, size_t at) {
    return (uint8_t)d[at] | (uint8_t)d[at + 1] << 8 | (uint8_t)d[at + 2] << 16 |
           (uint32_t)(uint8_t)d[at + 3] << 24;
}
uint16_t U16(const std::string& d, size_t at) {
    return (uint16_t)((uint8_t)d[at] | (uint8_t)d[at + 1] << 8);
}
}  // namespace

void CSoundCapture::Install() {
    if (!Path().empty()) return;
    std::string dir = "/tmp/tessarak-sound-" + std::to_string(getpid());
    std::string mk = "mkdir -p " + dir;
    if (std::system(mk.c_str()) != 0) return;
    Path() = dir + "/mix.wav";
    std::ofstream conf(dir + "/alsoft.conf");
    conf << "[general]\nfrequency = 44100\nchannels = stereo\nsample-type = float32\n"
         << "[wave]\nfile = " << Path() << "\n";
    conf.close();
    setenv("ALSOFT_CONF", (dir + "/alsoft.conf").c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
}

const std::string& CSoundCapture::OutputPath() {
    return Path();
}

bool CSoundCapture::Read(SCapturedSound& out) {
    out = SCapturedSound();
    std::ifstream f(Path(), std::ios::binary);
    std::string d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (d.size() < 12 || d.compare(0, 4, "RIFF") != 0) return false;
    size_t pos = 12;
    uint16_t tag = 0, channels = 0, bits = 0;
    while (pos + 8 <= d.size()) {
        std::string id = d.substr(pos, 4);
        uint32_t len = U32(d, pos + 4);
        size_t body = pos + 8;
        if (id == "fmt ") {
            tag = U16(d, body);
            channels = U16(d, body + 2);
            out.rate = (int)U32(d, body + 4);
            bits = U16(d, body + 14);
            if (tag == 0xFFFE) tag = U16(d, body + 24);  // the extensible header's sub-format
        } else if (id == "data") {
            // The writer fills in the size when it closes; take what is there.
            size_t n = std::min<size_t>(len, d.size() - body);
            size_t frameBytes = (size_t)channels * bits / 8;
            for (size_t i = 0; frameBytes && i + frameBytes <= n; i += frameBytes) {
                float v[2] = {0, 0};
                for (int c = 0; c < std::min<int>(channels, 2); ++c) {
                    size_t at = body + i + (size_t)c * bits / 8;
                    if (tag == 3 && bits == 32) {
                        std::memcpy(&v[c], d.data() + at, 4);
                    } else if (bits == 16) {
                        v[c] = (int16_t)U16(d, at) / 32768.0f;
                    }
                }
                out.left.push_back(v[0]);
                out.right.push_back(channels > 1 ? v[1] : v[0]);
            }
            return true;
        }
        pos = body + len + (len & 1);
    }
    return false;
}

size_t CSoundCapture::WrittenFrames() {
    // Stereo float samples after the 68-byte header the writer puts first.
    std::ifstream f(Path(), std::ios::binary | std::ios::ate);
    long long size = f ? (long long)f.tellg() : 0;
    return size > 68 ? (size_t)(size - 68) / 8 : 0;
}

bool CSoundCapture::WaitMixed(double seconds, void (*service)(void*), void* user, double timeoutSeconds) {
    size_t target = WrittenFrames() + (size_t)(seconds * 44100);
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (WrittenFrames() < target) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (service) service(user);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

size_t Sound_FirstAbove(const std::vector<float>& ch, float threshold, size_t from) {
    for (size_t i = from; i < ch.size(); ++i)
        if (std::fabs(ch[i]) >= threshold) return i;
    return ch.size();
}

double Sound_Rms(const std::vector<float>& ch, size_t from, size_t to) {
    to = std::min(to, ch.size());
    if (to <= from) return 0;
    double s = 0;
    for (size_t i = from; i < to; ++i) s += (double)ch[i] * ch[i];
    return std::sqrt(s / (double)(to - from));
}

double Sound_Frequency(const std::vector<float>& ch, int rate, size_t from, size_t to) {
    to = std::min(to, ch.size());
    size_t first = 0, last = 0, count = 0;
    for (size_t i = from + 1; i < to; ++i)
        if (ch[i - 1] < 0 && ch[i] >= 0) {
            if (!count) first = i;
            last = i;
            ++count;
        }
    if (count < 3) return 0;
    return (double)(count - 1) * rate / (double)(last - first);
}

double Sound_ToneEnergy(const std::vector<float>& ch, int rate, double hz, size_t from, size_t to) {
    to = std::min(to, ch.size());
    if (to <= from) return 0;
    const double pi = 3.14159265358979323846;
    double w = 2 * pi * hz / rate, coeff = 2 * std::cos(w), s1 = 0, s2 = 0;
    for (size_t i = from; i < to; ++i) {
        double s0 = ch[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    double n = (double)(to - from);
    return power / (n * n);
}
