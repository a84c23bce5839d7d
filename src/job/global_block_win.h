// A block of movable, zero-filled global memory, locked while this object
// lives: the form in which the engine's records are handed over.
#pragma once

#include <windows.h>

class GlobalBlock {
public:
    explicit GlobalBlock(SIZE_T size)
        : m_handle(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size)),
          m_data(m_handle ? GlobalLock(m_handle) : nullptr) {}
    ~GlobalBlock() {
        if (m_data) GlobalUnlock(m_handle);
        if (m_handle) GlobalFree(m_handle);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;

    bool Allocated() const { return m_handle != nullptr; }
    bool Locked() const { return m_data != nullptr; }

    template <class T>
    T* As() const {
        return static_cast<T*>(m_data);
    }

private:
    HGLOBAL m_handle;
    void* m_data;
};
