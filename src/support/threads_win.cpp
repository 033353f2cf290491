// Threads and locks of the Windows builds: what Windows XP has (see threads.h).
#include "support/threads.h"

#include <windows.h>
#include <process.h>

#include <memory>
#include <utility>

#include "support/fault_guard.h"

namespace tt {
namespace {
volatile LONG g_setupFailures = 0;
volatile LONG g_detachedThreads = 0;

CRITICAL_SECTION* Section(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }

// What a thread is started with: its body and, for a detached thread, the reference to this
// module that it holds.
struct ThreadStart {
    std::function<void()> body;
    HMODULE module = nullptr;
};

// Runs the body under the fault guard (nothing may leave a thread procedure) and frees the
// start record; returns the module reference the thread holds.
HMODULE RunStart(void* parameter) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
    const HMODULE module = start->module;
    GuardFaults([&] { start->body(); });
    GuardFaults([&] { start.reset(); });
    return module;
}

unsigned __stdcall DetachedThreadMain(void* parameter) {
    const HMODULE module = RunStart(parameter);
    InterlockedDecrement(&g_detachedThreads);
    // The thread's reference goes with the thread: the module may be unloaded at once, and no
    // code of it runs after this call.
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

unsigned __stdcall JoinableThreadMain(void* parameter) {
    RunStart(parameter);
    return 0;
}

}  // namespace

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(unsigned char[sizeof(void*) == 8 ? 40 : 24]),
              "room for a CRITICAL_SECTION");

CriticalSection::CriticalSection() noexcept {
    // Unlike InitializeCriticalSection, this reports low memory on Windows XP instead of raising.
    ready_ = InitializeCriticalSectionAndSpinCount(Section(section_), 0) != FALSE;
    if (!ready_) InterlockedIncrement(&g_setupFailures);
}

CriticalSection::~CriticalSection() {
    if (ready_) DeleteCriticalSection(Section(section_));
}

void CriticalSection::lock() noexcept {
    if (ready_) EnterCriticalSection(Section(section_));
}

void CriticalSection::unlock() noexcept {
    if (ready_) LeaveCriticalSection(Section(section_));
}

bool CriticalSectionSetupFailed() { return InterlockedCompareExchange(&g_setupFailures, 0, 0) != 0; }

ThreadId CurrentThreadId() { return GetCurrentThreadId(); }

bool StartDetachedThread(std::function<void()> body) {
    auto start = std::make_unique<ThreadStart>();
    start->body = std::move(body);
    // The thread's own reference to this module, given back by the thread as it ends.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&DetachedThreadMain), &start->module))
        return false;
    const HMODULE module = start->module;
    InterlockedIncrement(&g_detachedThreads);
    const uintptr_t thread = _beginthreadex(nullptr, 0, DetachedThreadMain, start.get(), 0, nullptr);
    if (!thread) {
        InterlockedDecrement(&g_detachedThreads);
        FreeLibrary(module);
        return false;
    }
    start.release();  // the thread's now
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

long RunningDetachedThreads() { return InterlockedCompareExchange(&g_detachedThreads, 0, 0); }

JoinableThread::JoinableThread(std::function<void()> body) {
    auto start = std::make_unique<ThreadStart>();
    start->body = std::move(body);
    const uintptr_t thread = _beginthreadex(nullptr, 0, JoinableThreadMain, start.get(), 0, nullptr);
    if (!thread) return;
    start.release();
    handle_ = reinterpret_cast<void*>(thread);
}

JoinableThread::~JoinableThread() { Join(); }

JoinableThread::JoinableThread(JoinableThread&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

JoinableThread& JoinableThread::operator=(JoinableThread&& other) noexcept {
    if (this != &other) {
        Join();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

bool JoinableThread::Joinable() const { return handle_ != nullptr; }

void JoinableThread::Join() {
    if (!handle_) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
}

ManualResetEvent::ManualResetEvent(bool initiallySet)
    : handle_(CreateEventW(nullptr, TRUE, initiallySet ? TRUE : FALSE, nullptr)) {}

ManualResetEvent::~ManualResetEvent() {
    if (handle_) CloseHandle(handle_);
}

void ManualResetEvent::Set() {
    if (handle_) SetEvent(handle_);
}

void ManualResetEvent::Reset() {
    if (handle_) ResetEvent(handle_);
}

bool ManualResetEvent::Wait(uint32_t milliseconds) {
    return handle_ && WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0;
}

}  // namespace tt
