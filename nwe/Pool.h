// A pool of records handed out from blocks allocated together and taken back
// for reuse, so that steady traffic does not touch the heap.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/sys/Thread.h"

template <typename T>
class NWEPool {
public:
    explicit NWEPool(size_t blockSize) : m_blockSize(blockSize) {}
    NWEPool(const NWEPool&) = delete;
    NWEPool& operator=(const NWEPool&) = delete;

    T* Acquire() {
        CSysScopedLock<CSysCriticalSection> l(m_lock);
        if (m_free.empty()) {
            m_blocks.emplace_back(new T[m_blockSize]);
            T* block = m_blocks.back().get();
            for (size_t i = 0; i < m_blockSize; ++i) m_free.push_back(block + m_blockSize - 1 - i);
            m_records += m_blockSize;
        }
        T* r = m_free.back();
        m_free.pop_back();
        return r;
    }
    void Release(T* r) {
        if (!r) return;
        CSysScopedLock<CSysCriticalSection> l(m_lock);
        m_free.push_back(r);
    }
    size_t GetRecordCount() {
        CSysScopedLock<CSysCriticalSection> l(m_lock);
        return m_records;
    }

private:
    CSysCriticalSection m_lock;
    std::vector<std::unique_ptr<T[]>> m_blocks;
    std::vector<T*> m_free;
    size_t m_blockSize;
    size_t m_records = 0;
};
