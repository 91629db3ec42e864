// What the handlers of both sides share: their context, their connection,
// and a reader over a message's payload that checks every read.
#pragma once

#include "netgame/GameSocket.h"
#include "netgame/NetGame.h"
#include "world/StateArchive.h"

namespace netkit {
inline CNetGame* Net(void* context) {
    return static_cast<CNetGame*>(context);
}
// Every peer of the game socket is one of the game's connections.
inline CGameSocket* Conn(NWEPeer* peer) {
    return static_cast<CGameSocket*>(peer);
}
struct SPayload : CStateArchive {
    explicit SPayload(NWEMessage* m) : CStateArchive(m->GetData(), m->GetSize(), kApply) {}
    // Read whole and nothing left over.
    bool End() const { return Ok() && GetRemaining() == 0; }
};
}  // namespace netkit
