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

namespace {
// Where the samples start and what they are, from the header the writer
// puts first; false before there is one.
struct SWaveLayout {
    uint16_t tag = 0, channels = 0, bits = 0;
    int rate = 0;
    size_t data = 0, size = 0;  // the data chunk's body and its stated size
};

bool Layout(const std::string& d, SWaveLayout& w) {
    if (d.size() < 12 || d.compare(0, 4, "RIFF") != 0) return false;
    size_t pos = 12;
    while (pos + 8 <= d.size()) {
        std::string id = d.substr(pos, 4);
        uint32_t len = U32(d, pos + 4);
        size_t body = pos + 8;
        if (id == "fmt " && body + 16 <= d.size()) {
            w.tag = U16(d, body);
            w.channels = U16(d, body + 2);
            w.rate = (int)U32(d, body + 4);
            w.bits = U16(d, body + 14);
            if (w.tag == 0xFFFE && body + 26 <= d.size()) w.tag = U16(d, body + 24);  // the sub-format
        } else if (id == "data") {
            w.data = body;
            w.size = len;
            return w.channels > 0 && w.bits >= 8;
        }
        pos = body + len + (len & 1);
    }
    return false;
}

std::string ReadFile(const std::string& path, size_t limit = std::string::npos) {
    std::ifstream f(path, std::ios::binary);
    std::string d;
    if (limit == std::string::npos) {
        d.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    } else {
        d.resize(limit);
        f.read(&d[0], (std::streamsize)limit);
        d.resize((size_t)f.gcount());
    }
    return d;
}

float Sample(const std::string& d, size_t at, const SWaveLayout& w) {
    switch (w.bits) {
        case 8:
            return ((int)(uint8_t)d[at] - 128) / 128.0f;
        case 16:
            return (int16_t)U16(d, at) / 32768.0f;
        case 32:
            if (w.tag == 3) {
                float v;
                std::memcpy(&v, d.data() + at, 4);
                return v;
            }
            return (float)((int32_t)U32(d, at) / 2147483648.0);
        default:
            return 0.0f;
    }
}
}  // namespace

bool CSoundCapture::Read(SCapturedSound& out) {
    return Sound_ReadWave(Path(), out);
}

size_t CSoundCapture::WrittenFrames() {
    return Sound_WrittenFrames(Path());
}

bool Sound_ReadWave(const std::string& path, SCapturedSound& out) {
    out = SCapturedSound();
    std::string d = ReadFile(path);
    SWaveLayout w;
    if (!Layout(d, w)) return false;
    out.rate = w.rate;
    out.channels = w.channels;
    out.bits = w.bits;
    out.floats = w.tag == 3;
    // The writer fills in the size when it closes; take what is there.
    size_t n = std::min<size_t>(w.size, d.size() - w.data);
    size_t sampleBytes = w.bits / 8u, frameBytes = (size_t)w.channels * sampleBytes;
    for (size_t i = 0; i + frameBytes <= n; i += frameBytes) {
        size_t at = w.data + i;
        out.left.push_back(Sample(d, at, w));
        out.right.push_back(Sample(d, w.channels > 1 ? at + sampleBytes : at, w));
    }
    return true;
}

size_t Sound_WrittenFrames(const std::string& path) {
    std::string head = ReadFile(path, 256);
    SWaveLayout w;
    if (!Layout(head, w)) return 0;
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    long long size = f ? (long long)f.tellg() : 0;
    size_t frameBytes = (size_t)w.channels * w.bits / 8;
    return size > (long long)w.data ? (size_t)(size - (long long)w.data) / frameBytes : 0;
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
