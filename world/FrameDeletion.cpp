#include "core/Determinism.h"
// (the lockstep guard first: what is deleted when is the same on every machine)

#include <unordered_set>

#include "e3d/Frame.h"
#include "world/GameScene.h"
#include "world/TessarakObject.h"

void CGameScene::DeleteQueuedFrames(float elapsed) {
    SE3DScene* frames = m_rootFrame ? m_rootFrame->Scene() : nullptr;
    if (!frames) return;
    // After a deletion or a release the walk starts again from the list's
    // head: a frame's deletion takes its children with it and a release may
    // delete other objects, any of which may have stood next on the list.
    // The frames that stay are only looked up, never walked in set order.
    std::unordered_set<CE3DFrame*> staying;
    CE3DFrame* f = frames->deletionHead;
    while (f) {
        if (staying.count(f)) {
            f = f->m_deletionNext;
            continue;
        }
        CTessarakObject* o = CGameNode::AsObject(f);
        if (!o || !o->IsWorldObject()) {
            delete f;
            f = frames->deletionHead;
            continue;
        }
        // A world object goes out of play at once (links to it empty, its
        // groups, the id table and the world's list left) and its frame
        // stays a while.
        staying.insert(f);
        if (!o->IsReleased()) {
            o->Release();
            o->LeaveWorldList();
            o->m_lingerTimer = kLingerSeconds;
            f = frames->deletionHead;
        } else if ((o->m_lingerTimer -= elapsed) <= 0.0f) {
            staying.erase(f);
            delete o;
            f = frames->deletionHead;
        } else {
            o->LeaveWorldList();
            f = f->m_deletionNext;
        }
    }
}
