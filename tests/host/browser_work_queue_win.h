#pragma once
// The browser's own work (navigation steps, events) runs from the thread's message loop, one
// step per posted message, as in the real browser: events reach sinks only while the thread
// pumps messages, and a modal loop (a message box) lets them through.
#include <windows.h>

#include <deque>
#include <functional>

namespace tthost {

class BrowserWorkQueue {
public:
    // The queue of the calling thread (created on first use).
    static BrowserWorkQueue& ForThread();
    // A thread that ends before the process does gives its queue back: destructors of
    // thread_local objects crash at thread exit with this runtime's emulated thread storage.
    static void EndThread();

    void Post(std::function<void()> step);
    bool Idle() const { return steps_.empty() && running_ == 0; }
    size_t Pending() const { return steps_.size(); }

    // Pumps the thread's messages until no browser work is left and no message is waiting;
    // false after timeoutMs. preTranslate may consume a message (keyboard routing to a band).
    bool RunUntilIdle(DWORD timeoutMs = 10000, const std::function<bool(MSG&)>& preTranslate = {});
    // Pumps messages for a while regardless of the queue (timers, posted messages).
    void PumpFor(DWORD milliseconds);

    ~BrowserWorkQueue();

private:
    BrowserWorkQueue();
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void RunOne();

    HWND window_ = nullptr;
    std::deque<std::function<void()>> steps_;
    int running_ = 0;
};

}  // namespace tthost
