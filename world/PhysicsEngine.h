// The physics engine: the simple pushes and falls of objects in the world.
// One exists for the life of the game object.
#pragma once

class CGame;

class CPhysicsEngine {
public:
    explicit CPhysicsEngine(CGame* game);
    ~CPhysicsEngine();

    CGame* m_game;
    int m_bodyCount = 0;
};
