// UDP sockets and the wait for incoming datagrams.
//
// The network engine talks to the operating system only through these calls:
// a non-blocking IPv4 UDP socket bound to a port, datagram send and receive
// with the source address, the socket's own address, and a poller that waits
// for any of a set of sockets to become readable and can be woken from another
// thread (the engine's receive thread waits here instead of in a window's
// message loop). Errors come back as errno values; Net_ErrorText turns them
// into the text the engine reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An IPv4 endpoint. The address is kept in host byte order; 0 is "any".
struct SNetAddress {
    uint32_t ip = 0;
    uint16_t port = 0;
    bool operator==(const SNetAddress& o) const { return ip == o.ip && port == o.port; }
    bool operator!=(const SNetAddress& o) const { return !(*this == o); }
};

constexpr uint32_t kNetLoopback = 0x7F000001u;  // 127.0.0.1

// "a.b.c.d:port" or "a.b.c.d"; false on anything else.
bool Net_ParseAddress(const std::string& text, SNetAddress* out);
std::string Net_FormatAddress(const SNetAddress& a);
// The IPv4 address of a host name (or a dotted address); false when the name
// does not resolve. It may wait for the name service.
bool Net_ResolveHost(const std::string& host, uint32_t* ip);

// One IPv4 address of this machine and the broadcast address of its network
// (0 when its interface has none, as the loopback).
struct SNetInterfaceAddress {
    uint32_t ip = 0;
    uint32_t broadcast = 0;
};
// Every IPv4 address of the machine's interfaces that are up.
std::vector<SNetInterfaceAddress> Net_LocalAddresses();

// Opens a non-blocking UDP socket bound to the given address (port 0 picks
// one). Returns the handle, or -1 with *err set.
int Net_UdpOpen(const SNetAddress& bindTo, int* err);
void Net_UdpClose(int handle);
bool Net_UdpGetName(int handle, SNetAddress* out, int* err);

// Result of one send or receive call.
enum class ENetIo { Ok, WouldBlock, Truncated, Refused, Error };

// Sends one datagram. Ok only when every byte went.
ENetIo Net_UdpSend(int handle, const void* data, size_t size, const SNetAddress& to, int* err);
// Receives one datagram into buf. A datagram larger than cap comes back as
// Truncated (its bytes must not be used). Refused is an ICMP error caused by
// one earlier send to some remote; the socket stays good for everyone else.
ENetIo Net_UdpReceive(int handle, void* buf, size_t cap, size_t* got, SNetAddress* from, int* err);

std::string Net_ErrorText(int err);
// How a send or receive that failed with this errno value counts.
ENetIo Net_ClassifyError(int err);

// One datagram socket as the network engine uses it. The real one is an IPv4
// UDP socket (Net_OpenUdpSocket); tests put a double in its place
// (platform/net/SocketDouble.h) to make the operating system's rarer answers
// happen on demand.
// One datagram of a batch read: where it goes, and what came.
struct SNetDatagramIn {
    uint8_t* buf = nullptr;
    size_t cap = 0;
    size_t got = 0;
    SNetAddress from;
    bool truncated = false;  // larger than cap: its bytes must not be used
};

class CNetSocket {
public:
    virtual ~CNetSocket() = default;
    // What a poller waits on; the socket stays readable while datagrams wait.
    virtual int GetHandle() const = 0;
    virtual bool GetName(SNetAddress* out, int* err) = 0;
    virtual ENetIo Send(const void* data, size_t size, const SNetAddress& to, int* err) = 0;
    virtual ENetIo Receive(void* buf, size_t cap, size_t* got, SNetAddress* from, int* err) = 0;
    // Up to n waiting datagrams in one call: Ok with *count of them, or the
    // result of the first that failed (WouldBlock when none waits). One by
    // one through Receive unless the socket can do better.
    virtual ENetIo ReceiveBatch(SNetDatagramIn* d, int n, int* count, int* err);
};

// Opens a UDP socket as Net_UdpOpen does; null with *err set.
CNetSocket* Net_OpenUdpSocket(const SNetAddress& bindTo, int* err);

// Waits until one of the handles is readable, the timeout passes, or Wake is
// called. Level-triggered: a handle stays ready while datagrams wait.
class CNetPoller {
public:
    CNetPoller();
    ~CNetPoller();
    CNetPoller(const CNetPoller&) = delete;
    CNetPoller& operator=(const CNetPoller&) = delete;
    // ready receives the handles that can be read. timeoutMs < 0 waits for ever.
    void Wait(const std::vector<int>& handles, int timeoutMs, std::vector<int>* ready);
    void Wake();
    bool IsValid() const { return m_wakeFd >= 0; }

private:
    int m_wakeFd = -1;
};
