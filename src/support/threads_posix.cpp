// Threads and locks of the native builds: the standard library's.
#include "support/threads.h"

#include <atomic>
#include <chrono>
#include <utility>

#include "support/fault_guard.h"

namespace tt {
namespace {
std::atomic<long> g_detachedThreads{0};
}  // namespace

CriticalSection::CriticalSection() noexcept = default;
CriticalSection::~CriticalSection() = default;
void CriticalSection::lock() noexcept { mutex_.lock(); }
void CriticalSection::unlock() noexcept { mutex_.unlock(); }

bool CriticalSectionSetupFailed() { return false; }

ThreadId CurrentThreadId() {
    static std::atomic<ThreadId> next{1};
    thread_local const ThreadId id = next++;
    return id;
}

bool StartDetachedThread(std::function<void()> body) {
    ++g_detachedThreads;
    try {
        std::thread([body = std::move(body)]() mutable {
            GuardFaults([&] { body(); });
            GuardFaults([&] { body = nullptr; });
            --g_detachedThreads;
        }).detach();
    } catch (...) {
        --g_detachedThreads;
        return false;
    }
    return true;
}

long RunningDetachedThreads() { return g_detachedThreads.load(); }

JoinableThread::JoinableThread(std::function<void()> body)
    : thread_([body = std::move(body)] { GuardFaults([&] { body(); }); }) {}

JoinableThread::~JoinableThread() { Join(); }

JoinableThread::JoinableThread(JoinableThread&& other) noexcept = default;

JoinableThread& JoinableThread::operator=(JoinableThread&& other) noexcept {
    if (this != &other) {
        Join();
        thread_ = std::move(other.thread_);
    }
    return *this;
}

bool JoinableThread::Joinable() const { return thread_.joinable(); }

void JoinableThread::Join() {
    if (thread_.joinable()) thread_.join();
}

ManualResetEvent::ManualResetEvent(bool initiallySet) : set_(initiallySet) {}
ManualResetEvent::~ManualResetEvent() = default;

void ManualResetEvent::Set() {
    std::lock_guard<std::mutex> guard(mutex_);
    set_ = true;
    changed_.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard<std::mutex> guard(mutex_);
    set_ = false;
}

bool ManualResetEvent::Wait(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return set_; });
}

}  // namespace tt
