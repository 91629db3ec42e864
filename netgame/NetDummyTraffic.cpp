#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "netgame/NetGame.h"

void CNetGame::SendDummyTraffic() {
    // Link tests (nw_DummyNum, nw_DummySize): DUMMYDATA {u32 the words to
    // send back} up to nw_DummyNum times a frame, while the link's queue
    // holds less than two seconds of its rate.
    if (m_dummyNum <= 0) return;
    CGameSocket* link = TakeClientLink();
    if (!link) return;
    for (int i = 0; i < m_dummyNum; ++i) {
        if (link->GetPendingBytes() >= 2.0f * link->GetSendRate()) break;
        m_send.Reset();
        m_send.WriteU32(static_cast<uint32_t>(m_dummySize));
        SendBuilt(NS_NOTIFYTYPE_DUMMYDATA);
    }
    link->Release();
}
