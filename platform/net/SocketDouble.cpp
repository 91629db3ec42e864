#include "platform/net/SocketDouble.h"

CNetSocketDouble::CNetSocketDouble(const SNetAddress& bindTo) {
    int err = 0;
    m_real.reset(Net_OpenUdpSocket(bindTo, &err));
}

void CNetSocketDouble::FailReceives(int err, int times) {
    std::lock_guard<std::mutex> l(m_lock);
    m_receiveError = err;
    m_receiveFailures = times;
}

void CNetSocketDouble::FailSends(int err, int times) {
    std::lock_guard<std::mutex> l(m_lock);
    m_sendError = err;
    m_sendFailures = times;
}

void CNetSocketDouble::LoseSends(int times) {
    std::lock_guard<std::mutex> l(m_lock);
    m_sendLosses = times;
}

uint64_t CNetSocketDouble::GetSendCount() {
    std::lock_guard<std::mutex> l(m_lock);
    return m_sends;
}

int CNetSocketDouble::GetHandle() const {
    return m_real ? m_real->GetHandle() : -1;
}

bool CNetSocketDouble::GetName(SNetAddress* out, int* err) {
    return m_real && m_real->GetName(out, err);
}

ENetIo CNetSocketDouble::Send(const void* data, size_t size, const SNetAddress& to, int* err) {
    {
        std::lock_guard<std::mutex> l(m_lock);
        ++m_sends;
        if (m_sendFailures > 0) {
            --m_sendFailures;
            *err = m_sendError;
            return Net_ClassifyError(m_sendError);
        }
        if (m_sendLosses > 0) {
            --m_sendLosses;
            return ENetIo::Ok;
        }
    }
    return m_real ? m_real->Send(data, size, to, err) : ENetIo::Error;
}

ENetIo CNetSocketDouble::Receive(void* buf, size_t cap, size_t* got, SNetAddress* from, int* err) {
    {
        std::lock_guard<std::mutex> l(m_lock);
        if (m_receiveFailures > 0) {
            --m_receiveFailures;
            *err = m_receiveError;
            return Net_ClassifyError(m_receiveError);
        }
    }
    return m_real ? m_real->Receive(buf, cap, got, from, err) : ENetIo::Error;
}
