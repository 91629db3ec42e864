// The system texts of the network game's notices: the join failures, the
// lost connection and the master server's states, by their index in the
// interface's table of system texts (the language pack fills it).
#pragma once

class CNetGame;

enum ENetSystemText : int {
    SYSLID_SERVER_CHEATING = 62,
    SYSLID_CONNECTION_SERVERQUIT = 63,
    SYSLID_CONNECTION_CONNECTIONLOSTT = 64,
    SYSLID_CONNECTION_SERVERISFULL = 65,
    SYSLID_CONNECTION_GAMESTARTED = 66,
    SYSLID_CONNECTION_INCORRECTPASSWORD = 67,
    SYSLID_CONNECTION_WRONGPROTOCOLVERSION = 68,
    SYSLID_CONNECTION_WRONGPROTOCOLVERSIONMASTER = 69,
    SYSLID_CONNECTION_CANTCONNECT = 70,
    SYSLID_CONNECTION_MASTER_CONNECT = 71,
    SYSLID_CONNECTION_MASTER_CANTCONNECT = 72,
    SYSLID_CONNECTION_MASTER_CONNECTIONLOST = 73,
    SYSLID_CONNECTION_MASTER_GETTINGLIST = 74,
    SYSLID_CONNECTION_MASTER_UPDATINGSERVERS = 75,
    SYSLID_CONNECTION_MASTER_PINGINGSERVERS = 76,
    SYSLID_CONNECTION_MASTER_PINGINGSERVER = 77,
    SYSLID_CONNECTION_MASTER_DONE = 78,
    SYSLID_CONNECTION_CLOSEDJOINING = 79,
    SYSLID_CONNECTION_CLOSEDCHATTING = 80,
};

// The system text of the index from the interface's table; while the table
// has no text for it (no language pack loaded, a headless server), the
// game's own English line.
const char* NetGame_Text(CNetGame* net, int index);
