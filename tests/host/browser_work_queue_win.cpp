#include "host/browser_work_queue_win.h"

namespace tthost {
namespace {

constexpr UINT kRunStep = WM_APP + 0x51;
const wchar_t kQueueClass[] = L"TavelleTestHostWorkQueue";

}  // namespace

namespace {
thread_local BrowserWorkQueue* t_queue = nullptr;  // no destructor: see EndThread
}  // namespace

BrowserWorkQueue& BrowserWorkQueue::ForThread() {
    if (!t_queue) t_queue = new BrowserWorkQueue();
    return *t_queue;
}

void BrowserWorkQueue::EndThread() {
    delete t_queue;
    t_queue = nullptr;
}

BrowserWorkQueue::BrowserWorkQueue() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kQueueClass;
    RegisterClassW(&wc);  // fails harmlessly when another thread registered it
    window_ =
        CreateWindowExW(0, kQueueClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

BrowserWorkQueue::~BrowserWorkQueue() {
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK BrowserWorkQueue::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kRunStep) {
        if (auto* self = reinterpret_cast<BrowserWorkQueue*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
            self->RunOne();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void BrowserWorkQueue::Post(std::function<void()> step) {
    steps_.push_back(std::move(step));
    PostMessageW(window_, kRunStep, 0, 0);
}

void BrowserWorkQueue::RunOne() {
    if (steps_.empty()) return;
    std::function<void()> step = std::move(steps_.front());
    steps_.pop_front();
    ++running_;
    try {
        step();
    } catch (...) {
        // The browser's own work never lets a failure escape into the message loop.
        OutputDebugStringW(L"test host: a browser step failed\n");
    }
    --running_;
}

bool BrowserWorkQueue::RunUntilIdle(DWORD timeoutMs, const std::function<bool(MSG&)>& preTranslate) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        bool any = false;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            any = true;
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return Idle();
            }
            if (preTranslate && preTranslate(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!any && steps_.empty()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        if (!any) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void BrowserWorkQueue::PumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

}  // namespace tthost
