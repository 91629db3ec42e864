// The music stream: one file looping, or the play list title after title with
// fades. The stream decodes on its own thread; when a title of the play list
// has played out, that thread only raises the stream-ended flag, and the
// game's thread closes the stream and opens the next title in its per-frame
// service.
#include <algorithm>
#include <memory>

#include "app/SoundEngine.h"
#include "core/VFSMedia.h"
#include "platform/sound/Sound.h"

namespace {
constexpr size_t kMaxStreamName = 2048;

void StreamEnded(void* user) {
    SoundEngine* e = static_cast<SoundEngine*>(user);
    CSysScopedLock<CSysCriticalSection> hold(e->m_lock);
    e->m_streamEnded = 1;
}

// Closes the stream and takes the first reserved voice back.
void CloseMusic(SoundEngine* e) {
    if (!e->m_music) return;
    e->m_music->Close();
    delete e->m_music;
    e->m_music = nullptr;
    if (e->m_reserved[0] && e->m_device) e->m_reserved[0]->Allocate();
}

bool OpenMusic(SoundEngine* e, const char* name, int32_t position, bool playlist) {
    CloseMusic(e);
    if (e->m_reserved[0]) e->m_reserved[0]->Release();
    std::unique_ptr<CMusicStream> music(new CMusicStream());
    std::unique_ptr<CMediaInput> input = VFS_OpenMedia(name);
    bool found = input != nullptr;
    bool ok = found && music->Open(std::move(input));
    if (ok && position > 0) music->SetPositionMs(position);
    if (!ok) {
        e->Log("...SoundEngine_Stream() : '%s' FAILED", name);
        e->Log("MSS Err : %s", found ? music->LastError().c_str() : "file not found");
        if (e->m_reserved[0] && e->m_device) e->m_reserved[0]->Allocate();
        return false;
    }
    if (playlist) {
        e->m_playlist->m_started = 1;
        music->SetLoopCount(1);
        music->SetEndCallback(&StreamEnded, e);
        CSysScopedLock<CSysCriticalSection> hold(e->m_lock);
        e->m_streamEnded = 0;
    } else {
        music->SetLoopCount(0);
    }
    e->m_music = music.release();
    SoundEngine_SetStreamVolume(e);
    e->m_music->Start();
    if (name != e->m_musicName.GetText()) e->m_musicName.Assign(name);
    return true;
}
}  // namespace

bool SoundEngine_Stream(SoundEngine* e, const char* name, int32_t position) {
    if (e->m_noSound || !e->m_musicOn) return true;
    // Without an output device there is nothing to stream to.
    if (!e->m_device) return false;
    MusicPlaylist* list = e->m_playlist;
    std::string chosen = name ? name : "";
    if (list->m_active) {
        if (list->m_started) {
            e->m_fadeOut = 0;
            return true;
        }
        const char* next = list->Next();
        chosen.assign(next ? next : "");
        if (chosen.size() > kMaxStreamName) chosen.resize(kMaxStreamName);
    }
    return OpenMusic(e, chosen.c_str(), position, list->m_active != 0);
}

bool SoundEngine_CloseStream(SoundEngine* e, bool force) {
    if (!e->m_music) return false;
    if (e->m_playlist && e->m_playlist->m_active && !force) {
        e->m_fadeOut = 1;
        return true;
    }
    CloseMusic(e);
    // The play list starts again with its next title at the next stream.
    if (e->m_playlist) e->m_playlist->m_started = 0;
    return true;
}

void SoundEngine_EndStream(SoundEngine* e) {
    CSysScopedLock<CSysCriticalSection> hold(e->m_lock);
    e->m_streamEnded = 1;
}

void SoundEngine_SetStreamVolume(SoundEngine* e) {
    if (!e->m_music) return;
    float fade = std::max(0.0f, std::min(e->m_fade, 1.0f));
    e->m_music->SetVolume((int)((float)e->m_musicVolume * fade * 1.27f));
}

int32_t SoundEngine_StreamPosition(SoundEngine* e) {
    return e->m_music ? (int32_t)e->m_music->PositionMs() : 0;
}

void SoundEngine_UpdateStream(SoundEngine* e) {
    MusicPlaylist* list = e->m_playlist;
    float dt = e->FrameTime();
    if (!list || !list->m_active) return;
    if (e->m_fadeOut) {
        e->m_fade = std::max(0.0f, e->m_fade - 2.0f * dt);
        SoundEngine_SetStreamVolume(e);
        if (e->m_fade <= 0.0001f && e->m_music && !e->m_music->IsPaused()) e->m_music->Pause(true);
    } else if (e->m_fade < 0.99999f) {
        if (e->m_music && e->m_music->IsPaused()) e->m_music->Pause(false);
        e->m_fade = std::min(1.0f, e->m_fade + 2.0f * dt);
    }
    SoundEngine_SetStreamVolume(e);
    bool ended;
    {
        CSysScopedLock<CSysCriticalSection> hold(e->m_lock);
        ended = e->m_streamEnded != 0;
        e->m_streamEnded = 0;
    }
    if (!ended) return;
    CloseMusic(e);
    const char* next = list->Next();
    std::string name(next ? next : "");
    if (name.size() > kMaxStreamName) name.resize(kMaxStreamName);
    if (!name.empty()) OpenMusic(e, name.c_str(), 0, true);
}
