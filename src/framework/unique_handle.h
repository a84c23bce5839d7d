// Owning wrappers for Win32 handles that are closed by one function call.
//
//   UniqueHKey key;                       // null: nothing owned
//   RegOpenKeyExW(..., key.Receive());    // fill it through an out-parameter
//   UniqueModule dll(LoadLibraryW(L"X.DLL"));
//   if (!dll) ...; GetProcAddress(dll.Get(), "Name");
//
// Copying is deleted so a handle is never closed twice; moving hands it on.
// Other kinds: using UniqueX = UniqueHandle<HANDLE_TYPE, &CloseFunction>;
#pragma once

#include <windows.h>

#include <utility>

template <class Handle, auto Close>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : m_handle(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }

    Handle Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

    // Closes what is owned and returns the address to receive a new handle.
    Handle* Receive() {
        Reset();
        return &m_handle;
    }

    void Reset(Handle handle = nullptr) {
        if (m_handle) Close(m_handle);
        m_handle = handle;
    }

private:
    Handle m_handle = nullptr;
};

using UniqueHKey = UniqueHandle<HKEY, &RegCloseKey>;
using UniqueModule = UniqueHandle<HMODULE, &FreeLibrary>;
