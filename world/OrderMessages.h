// The game messages of unit orders, as the world sends and takes them (their
// numbers: world/GameMessages.h).
//
// A machine never starts an order of its own: it sends it, the server checks
// the sender and sends it to every machine, and each machine applies it in
// the frame the message carries. The network game carries the payloads; its
// client handlers hand them here. Every payload is checked whole before
// anything changes: a message of the wrong length, an unknown order type or
// an object that is not a unit changes nothing.
//
//  134 ORDER: u32 unit id, u32 order type bit, the order's body (see
//      UnitOrder.cpp); each type has its exact length (Orders_MessageLength).
//  137 STOPCURRENTORDER: u32 unit id, u32 the running order's id (8 bytes).
//  142 WAYPOINTLIST: the way a path search found for a unit:
//      u32 unit id, u32 the unit's path request number, u8 flags (bit 0: no
//      way, the list is empty, and nothing follows: 9 bytes); with bit 0
//      clear: f32 the height of the way, u16 point count n, then n times
//      i16 a, i16 b (fine path-grid cells, from the unit's side to the
//      goal): 15 + 4 n bytes.
#pragma once

#include <cstddef>
#include <cstdint>

class CGameScene;
class CUnit;
class CWaypointList;

// The length of a whole message 134 of the type, 0 for a type that is no order.
size_t Orders_MessageLength(uint32_t type);

// A confirmed order (134): the unit's sent orders (the one it sent and the
// one that ran) go, the order is made at the front of its queue and runs
// under the unit's next order id, unless it names an object this machine
// does not know (a repair, go-to-object or tow order is then dropped). The
// unit awaits no confirmation any more. False when the message is refused.
bool Orders_ApplyOrder(CGameScene& scene, const void* data, size_t length);
// Message 137: the unit's running order goes when its id is the one named.
bool Orders_ApplyStopOrder(CGameScene& scene, const void* data, size_t length);

// Sends the way (a list of fine cells, as the path finder makes it) for the
// unit's current path request at the height given.
void Orders_SendWaypointList(CUnit* unit, const CWaypointList& cells, float height);
// Message 142: when it is the way of the unit's current path request, the
// unit's waypoints become its points (world points at the height, each a
// little raised or lowered by the unit's own generator) and the unit's
// path-received bit is set; a way with its no-path flag leaves the unit
// halted with no waypoints. A message of an older request is taken and
// changes nothing.
bool Orders_ApplyWaypointList(CGameScene& scene, const void* data, size_t length);
