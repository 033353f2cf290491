#pragma once
// Windows for the toolbar window tests: a window that records the messages it receives.
#include <windows.h>

#include <vector>

namespace tt::testing {

struct ReceivedMessage {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// A child or top-level window of its own class that records every message of interest
// (WM_USER and above, keys, characters, WM_COMMAND, WM_NOTIFY) and answers the reflected
// range with a fixed result.
class RecordingWindow {
public:
    static constexpr LRESULT kAnswer = 0x5151;
    RecordingWindow(HWND parent, DWORD style, int id = 0);
    ~RecordingWindow();
    HWND Handle() const { return hwnd_; }
    const std::vector<ReceivedMessage>& Received() const { return received_; }
    bool Saw(UINT msg) const;
    void Clear() { received_.clear(); }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
    std::vector<ReceivedMessage> received_;
};

inline RecordingWindow::RecordingWindow(HWND parent, DWORD style, int id) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TavelleTestRecordingWindow";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", style, 0, 0, 50, 20, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), wc.hInstance, nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

inline RecordingWindow::~RecordingWindow() {
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

inline bool RecordingWindow::Saw(UINT msg) const {
    for (const auto& m : received_) {
        if (m.msg == msg) return true;
    }
    return false;
}

inline LRESULT CALLBACK RecordingWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    const bool interesting =
        msg >= WM_USER || (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) || msg == WM_COMMAND || msg == WM_NOTIFY;
    if (self && interesting) {
        self->received_.push_back({msg, wParam, lParam});
        if (msg >= WM_USER + 0x1c00) return kAnswer;
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace tt::testing
