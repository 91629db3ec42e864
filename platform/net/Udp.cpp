#include "platform/net/Udp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

sockaddr_in ToSockaddr(const SNetAddress& a) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(a.port);
    sa.sin_addr.s_addr = htonl(a.ip);
    return sa;
}

SNetAddress FromSockaddr(const sockaddr_in& sa) {
    SNetAddress a;
    a.ip = ntohl(sa.sin_addr.s_addr);
    a.port = ntohs(sa.sin_port);
    return a;
}

}  // namespace

bool Net_ParseAddress(const std::string& text, SNetAddress* out) {
    std::string host = text;
    long port = 0;
    size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        std::string p = text.substr(colon + 1);
        if (p.empty() || p.size() > 5) return false;
        for (char c : p)
            if (c < '0' || c > '9') return false;
        port = std::strtol(p.c_str(), nullptr, 10);
        if (port > 65535) return false;
    }
    in_addr ia;
    if (inet_pton(AF_INET, host.c_str(), &ia) != 1) return false;
    out->ip = ntohl(ia.s_addr);
    out->port = static_cast<uint16_t>(port);
    return true;
}

std::string Net_FormatAddress(const SNetAddress& a) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u:%u", a.ip >> 24, (a.ip >> 16) & 255, (a.ip >> 8) & 255,
                  a.ip & 255, a.port);
    return buf;
}

bool Net_ResolveHost(const std::string& host, uint32_t* ip) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next) {
        if (a->ai_family != AF_INET || !a->ai_addr) continue;
        *ip = ntohl(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
        ok = true;
    }
    freeaddrinfo(found);
    return ok;
}

std::vector<SNetInterfaceAddress> Net_LocalAddresses() {
    std::vector<SNetInterfaceAddress> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
        SNetInterfaceAddress a;
        a.ip = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
        if ((i->ifa_flags & IFF_BROADCAST) && i->ifa_broadaddr && i->ifa_broadaddr->sa_family == AF_INET)
            a.broadcast = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_broadaddr)->sin_addr.s_addr);
        out.push_back(a);
    }
    freeifaddrs(list);
    return out;
}

int Net_UdpOpen(const SNetAddress& bindTo, int* err) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *err = errno;
        return -1;
    }
    // Large buffers: a server's socket carries every client's burst.
    int size = 2 * 1024 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in sa = ToSockaddr(bindTo);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        *err = errno;
        ::close(fd);
        return -1;
    }
    return fd;
}

void Net_UdpClose(int handle) {
    if (handle >= 0) ::close(handle);
}

bool Net_UdpGetName(int handle, SNetAddress* out, int* err) {
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    if (::getsockname(handle, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        *err = errno;
        return false;
    }
    *out = FromSockaddr(sa);
    return true;
}

ENetIo Net_ClassifyError(int e) {
    if (e == EAGAIN || e == EWOULDBLOCK) return ENetIo::WouldBlock;
    if (e == ECONNREFUSED || e == EHOSTUNREACH || e == ENETUNREACH || e == ECONNRESET) return ENetIo::Refused;
    return ENetIo::Error;
}

ENetIo Net_UdpSend(int handle, const void* data, size_t size, const SNetAddress& to, int* err) {
    sockaddr_in sa = ToSockaddr(to);
    for (;;) {
        ssize_t n = ::sendto(handle, data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        if (n >= 0) {
            if (static_cast<size_t>(n) == size) return ENetIo::Ok;
            *err = EMSGSIZE;
            return ENetIo::Error;
        }
        if (errno == EINTR) continue;
        *err = errno;
        return Net_ClassifyError(errno);
    }
}

ENetIo Net_UdpReceive(int handle, void* buf, size_t cap, size_t* got, SNetAddress* from, int* err) {
    for (;;) {
        sockaddr_in sa;
        socklen_t len = sizeof sa;
        std::memset(&sa, 0, sizeof sa);
        // MSG_TRUNC makes the kernel return the real length, so an oversized
        // datagram is recognised instead of being handed on cut short.
        ssize_t n = ::recvfrom(handle, buf, cap, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sa), &len);
        if (n >= 0) {
            *from = FromSockaddr(sa);
            *got = static_cast<size_t>(n) > cap ? cap : static_cast<size_t>(n);
            return static_cast<size_t>(n) > cap ? ENetIo::Truncated : ENetIo::Ok;
        }
        if (errno == EINTR) continue;
        *err = errno;
        return Net_ClassifyError(errno);
    }
}

ENetIo CNetSocket::ReceiveBatch(SNetDatagramIn* d, int n, int* count, int* err) {
    *count = 0;
    for (int i = 0; i < n; ++i) {
        ENetIo io = Receive(d[i].buf, d[i].cap, &d[i].got, &d[i].from, err);
        if (io != ENetIo::Ok && io != ENetIo::Truncated) return *count > 0 ? ENetIo::Ok : io;
        d[i].truncated = io == ENetIo::Truncated;
        ++*count;
    }
    return ENetIo::Ok;
}

namespace {

class CUdpSocket : public CNetSocket {
public:
    explicit CUdpSocket(int handle) : m_handle(handle) {}
    ~CUdpSocket() override { Net_UdpClose(m_handle); }
    int GetHandle() const override { return m_handle; }
    bool GetName(SNetAddress* out, int* err) override { return Net_UdpGetName(m_handle, out, err); }
    ENetIo Send(const void* data, size_t size, const SNetAddress& to, int* err) override {
        return Net_UdpSend(m_handle, data, size, to, err);
    }
    ENetIo Receive(void* buf, size_t cap, size_t* got, SNetAddress* from, int* err) override {
        return Net_UdpReceive(m_handle, buf, cap, got, from, err);
    }
    // recvmmsg: a burst of datagrams in one system call.
    ENetIo ReceiveBatch(SNetDatagramIn* d, int n, int* count, int* err) override {
        constexpr int kMax = 32;
        mmsghdr msgs[kMax];
        iovec iov[kMax];
        sockaddr_in from[kMax];
        n = n < kMax ? n : kMax;
        std::memset(msgs, 0, sizeof(mmsghdr) * static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            iov[i].iov_base = d[i].buf;
            iov[i].iov_len = d[i].cap;
            msgs[i].msg_hdr.msg_iov = &iov[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
            msgs[i].msg_hdr.msg_name = &from[i];
            msgs[i].msg_hdr.msg_namelen = sizeof from[i];
        }
        *count = 0;
        for (;;) {
            int got = ::recvmmsg(m_handle, msgs, static_cast<unsigned>(n), MSG_DONTWAIT, nullptr);
            if (got >= 0) {
                for (int i = 0; i < got; ++i) {
                    d[i].from = FromSockaddr(from[i]);
                    d[i].truncated = (msgs[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
                    d[i].got = msgs[i].msg_len > d[i].cap ? d[i].cap : msgs[i].msg_len;
                }
                *count = got;
                return got > 0 ? ENetIo::Ok : ENetIo::WouldBlock;
            }
            if (errno == EINTR) continue;
            *err = errno;
            return Net_ClassifyError(errno);
        }
    }

private:
    int m_handle;
};

}  // namespace

CNetSocket* Net_OpenUdpSocket(const SNetAddress& bindTo, int* err) {
    int h = Net_UdpOpen(bindTo, err);
    return h < 0 ? nullptr : new CUdpSocket(h);
}

std::string Net_ErrorText(int err) {
    char buf[256];
    buf[0] = 0;
#if (_POSIX_C_SOURCE >= 200112L) && !_GNU_SOURCE
    if (strerror_r(err, buf, sizeof buf) != 0) return std::string();
    return buf;
#else
    const char* s = strerror_r(err, buf, sizeof buf);
    return s ? std::string(s) : std::string();
#endif
}

CNetPoller::CNetPoller() {
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CNetPoller::~CNetPoller() {
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}

void CNetPoller::Wake() {
    uint64_t one = 1;
    if (m_wakeFd >= 0) {
        ssize_t r = ::write(m_wakeFd, &one, sizeof one);
        (void)r;
    }
}

void CNetPoller::Wait(const std::vector<int>& handles, int timeoutMs, std::vector<int>* ready) {
    ready->clear();
    std::vector<pollfd> fds;
    fds.reserve(handles.size() + 1);
    fds.push_back({m_wakeFd, POLLIN, 0});
    for (int h : handles) fds.push_back({h, POLLIN, 0});
    int n = ::poll(fds.data(), fds.size(), timeoutMs);
    if (n <= 0) return;
    if (fds[0].revents & POLLIN) {
        uint64_t v;
        ssize_t r = ::read(m_wakeFd, &v, sizeof v);
        (void)r;
    }
    for (size_t i = 1; i < fds.size(); ++i)
        if (fds[i].revents & (POLLIN | POLLERR)) ready->push_back(fds[i].fd);
}
