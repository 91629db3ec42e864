// The physics engine: the simple pushes and falls of objects in the world.
// One exists for the life of the game object.
#pragma once

class CGameHost;

class CPhysicsEngine {
public:
    explicit CPhysicsEngine(CGameHost* game);
    ~CPhysicsEngine();

    CGameHost* m_game;
    int m_bodyCount = 0;
};
