// The network engine.
//
// Every game, the single-player one included, runs through this engine: it
// carries registered messages between peers over UDP. An application creates
// one NWEEngine, opens an NWESocket on a port, and makes an NWEPeer for each
// remote address (or a pair of linked local peers for the host's own client).
// Message types are registered in an NWEMessageTypes registry with a handler
// and five settings: class (0 is acknowledged and resent until its receipt
// comes), priority, delay (0 sends at once), direct (the handler runs on the
// receive thread) and short header. A message is sent with NWEPeer::SendMessage;
// at the other end its handler runs once, either on the receive thread or when
// the application flushes the type's NWEQueue, or, for lockstep traffic, when
// the game executes the message's frame from its NWEFrameTable.
//
// Datagrams are checked whole before anything in them is believed. Lost
// datagrams are resent after a time-out that follows the measured round trip,
// and a receiver asks at once for any gap it sees, so one loss costs about one
// round trip. A reliable message that cannot be delivered after every try
// times the link out, as a silent peer does: it is never reported delivered.
//
// Threads: a receive thread waits on all sockets and does all receive work; a
// tick thread runs the periodic work every 20 ms (or, when the game drives the
// engine with Tick(0) each frame, only checks every second).
#pragma once

#include "nwe/AccessGuard.h"
#include "nwe/Clock.h"
#include "nwe/Datagram.h"
#include "nwe/Engine.h"
#include "nwe/FrameTable.h"
#include "nwe/ListEntry.h"
#include "nwe/Message.h"
#include "nwe/MessageTypes.h"
#include "nwe/Peer.h"
#include "nwe/Socket.h"
#include "nwe/Wire.h"
