#pragma once
// Locks, threads and waits built from what every Windows version the toolbar loads on has
// (Windows XP on): critical sections, _beginthreadex, events and interlocked counts. A thread
// run-time library would bring imports that Windows XP's loader cannot resolve. The native
// build uses the standard library's.
#include <cstdint>
#include <functional>

#ifndef _WIN32
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace tt {

// A recursive lock, for std::lock_guard. On Windows a CRITICAL_SECTION.
class CriticalSection {
public:
    CriticalSection() noexcept;
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void lock() noexcept;
    void unlock() noexcept;

private:
#ifdef _WIN32
    // The CRITICAL_SECTION itself, without <windows.h> in every header of the core.
    alignas(void*) unsigned char section_[sizeof(void*) == 8 ? 40 : 24];
    bool ready_ = false;
#else
    std::recursive_mutex mutex_;
#endif
};

// True when a critical section could not be set up (low memory on Windows XP): the module
// then refuses to load rather than run unguarded.
bool CriticalSectionSetupFailed();

// The id of the calling thread (GetCurrentThreadId on Windows).
using ThreadId = uint32_t;
ThreadId CurrentThreadId();

// Runs body on a thread of its own that nobody waits for. While it runs the thread holds its
// own reference to the module that holds this code, and it leaves through
// FreeLibraryAndExitThread: the browser may release the module meanwhile without unloading
// the code under the thread. A fault inside body ends at the thread's guard. Returns false
// (body not run) when no thread could be started.
bool StartDetachedThread(std::function<void()> body);

// Threads started by StartDetachedThread that have not finished their body yet.
long RunningDetachedThreads();

// A thread its owner waits for: the destructor joins it.
class JoinableThread {
public:
    JoinableThread() = default;
    explicit JoinableThread(std::function<void()> body);
    ~JoinableThread();
    JoinableThread(JoinableThread&& other) noexcept;
    JoinableThread& operator=(JoinableThread&& other) noexcept;
    JoinableThread(const JoinableThread&) = delete;
    JoinableThread& operator=(const JoinableThread&) = delete;

    // A thread could be started (and has not been joined yet).
    bool Joinable() const;
    void Join();

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    std::thread thread_;
#endif
};

// A manual-reset event: Set wakes every waiter until Reset.
class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false);
    ~ManualResetEvent();
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set();
    void Reset();
    // Waits until set; false when the time (milliseconds) ran out first.
    bool Wait(uint32_t milliseconds);

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_;
#endif
};

}  // namespace tt
