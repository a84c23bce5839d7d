#include "threads.h"

#include <windows.h>

#include <memory>
#include <system_error>
#include <utility>

namespace threads {
namespace {

static_assert(sizeof(void*) == sizeof(SRWLOCK) && sizeof(void*) == sizeof(CONDITION_VARIABLE));

PSRWLOCK Lock(void*& lock) { return reinterpret_cast<PSRWLOCK>(&lock); }
PCONDITION_VARIABLE Variable(void*& condition) { return reinterpret_cast<PCONDITION_VARIABLE>(&condition); }

DWORD WINAPI RunBody(void* parameter) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    (*body)();
    return 0;
}

}  // namespace

void Mutex::lock() { AcquireSRWLockExclusive(Lock(lock_)); }
void Mutex::unlock() { ReleaseSRWLockExclusive(Lock(lock_)); }

void Condition::wait(std::unique_lock<Mutex>& lock) {
    SleepConditionVariableSRW(Variable(condition_), Lock(lock.mutex()->lock_), INFINITE, 0);
}
void Condition::wait_for_ms(std::unique_lock<Mutex>& lock, unsigned long milliseconds) {
    SleepConditionVariableSRW(Variable(condition_), Lock(lock.mutex()->lock_), milliseconds, 0);
}
void Condition::notify_one() { WakeConditionVariable(Variable(condition_)); }
void Condition::notify_all() { WakeAllConditionVariable(Variable(condition_)); }

Thread::Thread(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    handle_ = CreateThread(nullptr, 0, RunBody, owned.get(), 0, nullptr);
    if (!handle_) throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
    owned.release();  // the thread owns it now
}

Thread::~Thread() { join(); }

Thread::Thread(Thread&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        join();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

void Thread::join() {
    if (!handle_) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
}

void Thread::detach() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
}

void Detach(Thread& thread) {
    // Pinned: loaded until the process ends, whatever FreeLibrary is called.
    static const char kInTheEngine = 0;
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&kInTheEngine), &module);
    thread.detach();
}

}  // namespace threads
