#include "core/Determinism.h"

#include "world/PhysicsEngine.h"

CPhysicsEngine::CPhysicsEngine(CGameHost* game) : m_game(game) {}

CPhysicsEngine::~CPhysicsEngine() {}
