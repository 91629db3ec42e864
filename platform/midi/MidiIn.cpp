#include "platform/midi/MidiIn.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <unistd.h>

#include <vector>

#include "platform/sys/Chatter.h"

namespace {
constexpr int kMaxSources = 16;

uint32_t Pack(int status, int d1, int d2) {
    return static_cast<uint32_t>(status & 0xff) | (static_cast<uint32_t>(d1 & 0x7f) << 8) |
           (static_cast<uint32_t>(d2 & 0x7f) << 16);
}
}  // namespace

int CMidiIn::Open(MidiInCallback callback, void* context) {
    Close();
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) return 0;
    snd_seq_t* seq = nullptr;
    Chatter_TakeAlsa();
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) return 0;
    snd_seq_set_client_name(seq, "Tessarak");
    int port = snd_seq_create_simple_port(seq, "Tessarak MIDI in",
                                          SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                          SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) {
        snd_seq_close(seq);
        return 0;
    }
    int self = snd_seq_client_id(seq);

    snd_seq_client_info_t* cinfo;
    snd_seq_port_info_t* pinfo;
    snd_seq_client_info_alloca(&cinfo);
    snd_seq_port_info_alloca(&pinfo);
    snd_seq_client_info_set_client(cinfo, -1);
    int devices = 0;
    while (devices < kMaxSources && snd_seq_query_next_client(seq, cinfo) >= 0) {
        int client = snd_seq_client_info_get_client(cinfo);
        if (client == SND_SEQ_CLIENT_SYSTEM || client == self) continue;
        snd_seq_port_info_set_client(pinfo, client);
        snd_seq_port_info_set_port(pinfo, -1);
        while (devices < kMaxSources && snd_seq_query_next_port(seq, pinfo) >= 0) {
            unsigned caps = snd_seq_port_info_get_capability(pinfo);
            const unsigned want = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
            if ((caps & want) != want) continue;
            if (snd_seq_connect_from(seq, port, client, snd_seq_port_info_get_port(pinfo)) >= 0) ++devices;
        }
    }
    m_seq = seq;
    m_devices = devices;
    m_callback = callback;
    m_context = context;
    m_stop = false;
    m_thread = std::thread(&CMidiIn::Run, this);
    return devices;
}

void CMidiIn::Run() {
    snd_seq_t* seq = static_cast<snd_seq_t*>(m_seq);
    int n = snd_seq_poll_descriptors_count(seq, POLLIN);
    std::vector<pollfd> fds(n > 0 ? n : 1);
    n = snd_seq_poll_descriptors(seq, fds.data(), fds.size(), POLLIN);
    while (!m_stop) {
        // A short timeout so that Close never waits long for the thread.
        if (poll(fds.data(), n, 100) <= 0) continue;
        snd_seq_event_t* ev = nullptr;
        while (!m_stop && snd_seq_event_input(seq, &ev) >= 0 && ev) {
            uint32_t msg = 0;
            switch (ev->type) {
                case SND_SEQ_EVENT_NOTEON:
                    msg = Pack(0x90 | (ev->data.note.channel & 0x0f), ev->data.note.note,
                               ev->data.note.velocity);
                    break;
                case SND_SEQ_EVENT_NOTEOFF:
                    msg = Pack(0x80 | (ev->data.note.channel & 0x0f), ev->data.note.note,
                               ev->data.note.velocity);
                    break;
                case SND_SEQ_EVENT_CONTROLLER:
                    msg = Pack(0xB0 | (ev->data.control.channel & 0x0f), ev->data.control.param,
                               ev->data.control.value);
                    break;
                default:
                    break;
            }
            if (msg && m_callback) m_callback(msg, m_context);
        }
    }
}

void CMidiIn::Close() {
    if (m_thread.joinable()) {
        m_stop = true;
        m_thread.join();
    }
    if (m_seq) snd_seq_close(static_cast<snd_seq_t*>(m_seq));
    m_seq = nullptr;
    m_devices = 0;
}
