#include "world/PhysicsEngine.h"

CPhysicsEngine::CPhysicsEngine(CGame* game) : m_game(game) {}

CPhysicsEngine::~CPhysicsEngine() {}
