#include "e3d/Video.h"

#include <cstring>

#include "core/ListLinks.h"
#include "core/VFSMedia.h"
#include "e3d/Engine.h"
#include "e3d/Screen.h"
#include "e3d/Surface.h"
#include "e3d/Timer.h"
#include "platform/sound/Sound.h"
#include "platform/video/Video.h"

namespace {
using SVideoLinks = SListLinks<CE3DVideo, &CE3DVideo::m_next, &CE3DVideo::m_prev>;

SE3DVideoSoundHooks g_soundHooks;

int BinkSoundTrack() {
    return g_soundHooks.soundTrack ? g_soundHooks.soundTrack() : 0;
}
int EffectsVolume() {
    return g_soundHooks.effectsVolume ? g_soundHooks.effectsVolume() : 100;
}
bool SoundOutput() {
    return CSoundDevice::Current() != nullptr;
}
}  // namespace

void E3DVideo_SetSoundHooks(const SE3DVideoSoundHooks& hooks) {
    g_soundHooks = hooks;
}

void E3DVideo_DestroyAll(CE3DScreen* screen) {
    while (screen->m_videos) delete screen->m_videos;
}

CE3DVideo::CE3DVideo(CE3DScreen* screen) : m_screen(screen) {
    if (!screen) return;
    SVideoLinks::Push(screen->m_videos, this);
    ++screen->m_videoCount;
}

CE3DVideo::~CE3DVideo() {
    delete m_ownSurface;
    m_ownSurface = nullptr;
    m_handle.reset();
    if (m_screen) {
        SVideoLinks::Unlink(m_screen->m_videos, this);
        --m_screen->m_videoCount;
    }
}

int CE3DVideo::ChosenTrack() const {
    // A track asked for before opening is overridden by the game's choice,
    // which is no sound at all without an output device or with sound off.
    return SoundOutput() && m_soundOn ? BinkSoundTrack() : -1;
}

void CE3DVideo::ApplySettings(bool fileVolume) {
    m_handle->Pause(true);
    int volume = m_volume;
    if (fileVolume) volume = (int)((float)EffectsVolume() * 32768.0f / 100.0f);
    m_handle->SetVolume(volume);
    m_handle->SetPan(m_pan);
    m_handle->SetVideoOnOff(m_videoOn != 0);
    m_handle->SetSoundOnOff(m_soundOn != 0);
}

bool CE3DVideo::OpenFromMemory(const void* data, uint32_t size, bool createTarget) {
    m_memory.reset(size ? new uint8_t[size] : nullptr);
    if (size) std::memcpy(m_memory.get(), data, size);
    m_memorySize = size;
    m_handle.reset();
    m_fileHandle = -1;
    std::unique_ptr<CVideoStream> video(new CVideoStream());
    if (video->Open(CMediaInput::FromMemory(m_memory.get(), m_memorySize), ChosenTrack(), m_frameRate))
        m_handle = std::move(video);
    delete m_ownSurface;
    m_ownSurface = nullptr;
    if (!m_handle) return false;
    if (createTarget) MakeOwnTarget(false);
    ApplySettings(false);
    return true;
}

bool CE3DVideo::OpenFile(const char* name, bool preload, bool createTarget) {
    (void)preload;  // the decoder reads ahead on its own
    m_handle.reset();
    m_fileHandle = -1;
    m_name.Assign(name ? name : "");
    std::unique_ptr<CMediaInput> input = VFS_OpenMedia(m_name.GetText());
    if (!input) return false;
    std::unique_ptr<CVideoStream> video(new CVideoStream());
    int track = ChosenTrack();
    bool opened = video->Open(std::move(input), track, m_frameRate);
    delete m_ownSurface;
    m_ownSurface = nullptr;
    if (!opened) return false;
    // A track the file does not have: its first one plays instead.
    if (track > 0 && !video->HasSound()) {
        std::unique_ptr<CMediaInput> again = VFS_OpenMedia(m_name.GetText());
        std::unique_ptr<CVideoStream> first(new CVideoStream());
        if (again && first->Open(std::move(again), 0, m_frameRate)) video = std::move(first);
    }
    m_handle = std::move(video);
    if (createTarget) MakeOwnTarget(true);
    ApplySettings(true);
    return true;
}

void CE3DVideo::MakeOwnTarget(bool systemMemory) {
    CE3DSurface* s = new CE3DSurface(m_screen);
    s->Create((int)Width(), (int)Height(), systemMemory);
    s->Fill(0);
    m_ownSurface = s;
    m_target = s;
    DecodeFrame();
}

uint32_t CE3DVideo::Width() const {
    return m_handle ? m_handle->Width() : 0;
}
uint32_t CE3DVideo::Height() const {
    return m_handle ? m_handle->Height() : 0;
}
uint32_t CE3DVideo::FrameCount() const {
    return m_handle ? m_handle->Frames() : 0;
}
uint32_t CE3DVideo::FrameNumber() const {
    return m_handle ? m_handle->FrameNum() : 0;
}

int64_t CE3DVideo::TimerNow() const {
    CE3DEngine* engine = m_screen ? m_screen->m_engine : nullptr;
    return engine && engine->m_timer ? engine->m_timer->Elapsed() : 0;
}

int64_t CE3DVideo::TicksPerFrame() const {
    if (!m_handle) return 0;
    CE3DEngine* engine = m_screen ? m_screen->m_engine : nullptr;
    double frequency = engine && engine->m_timer ? engine->m_timer->m_frequency : 1193182.0;
    // The exact rate: a rate below its divisor or 30000/1001 must neither
    // divide by zero nor lose its fraction.
    uint32_t rate = m_handle->FrameRate(), div = m_handle->FrameRateDiv();
    if (rate == 0) return (int64_t)(frequency / 25.0);
    return (int64_t)(frequency * (double)div / (double)rate);
}

void CE3DVideo::Play() {
    Resume();
    GotoFrame(0);
    m_playing = 1;
}

void CE3DVideo::Pause() {
    if (m_handle) m_handle->Pause(true);
}

void CE3DVideo::Resume() {
    if (m_handle) m_handle->Pause(false);
}

void CE3DVideo::GotoFrame(int frame) {
    if (!m_handle) return;
    m_handle->Goto((uint32_t)(frame < 0 ? 0 : frame) + 1);
    if (m_timedByEngine) m_nextFrameTime = TimerNow() + TicksPerFrame();
    DecodeIntoTarget();
    m_handle->NextFrame();
}

void CE3DVideo::CopyToTarget() {
    if (!m_target || !m_target->Lock()) return;
    SVideoTarget t;
    t.pixels = m_target->Bits();
    t.pitch = m_target->Pitch();
    t.width = m_target->m_width;
    t.height = m_target->m_height;
    const SSurfacePixelFormat& f = m_target->m_desc.pixelFormat;
    t.bitCount = f.bitCount;
    t.rMask = f.rMask;
    t.gMask = f.gMask;
    t.bMask = f.bMask;
    m_handle->CopyToBuffer(t, m_destX, m_destY);
    m_target->Unlock();
}

void CE3DVideo::DecodeIntoTarget() {
    if (!m_handle || !m_target) return;
    m_handle->DoFrame();
    CopyToTarget();
}

void CE3DVideo::DecodeFrame() {
    if (!m_handle || !m_target || !m_playing) return;
    if (!m_timedByEngine) {
        if (m_handle->Wait()) return;
    } else {
        int64_t now = TimerNow();
        if (now < m_nextFrameTime) return;
        m_nextFrameTime = now + TicksPerFrame();
    }
    bool last = m_handle->Frames() == m_handle->FrameNum();
    m_handle->DoFrame();
    m_handle->NextFrame();
    CopyToTarget();
    if (last) {
        if (m_loop)
            GotoFrame(0);
        else
            m_playing = 0;
    }
}
