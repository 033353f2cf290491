#pragma once
// Drives a modal dialog of the calling thread from a watcher thread: the watcher waits for the
// dialog, works its controls with window messages and closes it. Observations are written by
// the steps and checked by the test after the modal call has returned.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "support/threads.h"

namespace tt::testing {

struct FoundWindow {
    const wchar_t* className;
    HWND owner;  // null: any owner
    HWND found = nullptr;
};

inline BOOL CALLBACK MatchThreadWindow(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<FoundWindow*>(param);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (lstrcmpW(name, s->className) != 0 || !IsWindowVisible(window)) return TRUE;
    if (s->owner && GetWindow(window, GW_OWNER) != s->owner) return TRUE;
    s->found = window;
    return FALSE;
}

// A top-level window of the thread with that class (and owner), or null.
inline HWND FindThreadWindow(DWORD thread, const wchar_t* className, HWND owner = nullptr) {
    FoundWindow search{className, owner};
    EnumThreadWindows(thread, MatchThreadWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits up to timeoutMs for such a window.
inline HWND WaitForThreadWindow(DWORD thread, const wchar_t* className, HWND owner = nullptr,
                                int timeoutMs = 5000) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (HWND w = FindThreadWindow(thread, className, owner)) return w;
        Sleep(10);
    }
    return nullptr;
}

inline std::wstring WindowText(HWND window) {
    wchar_t text[4096] = {};
    GetWindowTextW(window, text, 4096);
    return text;
}

inline std::wstring ItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

inline bool HasStyle(HWND window, LONG_PTR style) {
    return (GetWindowLongPtrW(window, GWL_STYLE) & style) == style;
}

// Clicks a button as the user would: BN_CLICKED through the button itself.
inline void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
// The same, without waiting (for buttons that open a further modal window).
inline void PostClick(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Types text into an edit control character by character.
inline void Type(HWND edit, const std::wstring& text) {
    for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}

// Runs modal() on this thread and steps(dialog) on a watcher thread once a dialog window of
// this thread shows. Returns modal()'s result; *shown tells whether the steps ran. A dialog
// still open 5 seconds after the steps is cancelled, so a failing test cannot hang.
template <class Modal>
INT_PTR DriveModal(const std::function<void(HWND)>& steps, Modal modal, bool* shown = nullptr) {
    const DWORD thread = GetCurrentThreadId();
    std::atomic<bool> done{false};
    bool ran = false;
    tt::JoinableThread watcher([&] {
        HWND dialog = nullptr;
        for (int waited = 0; waited < 5000 && !done; waited += 10) {
            dialog = FindThreadWindow(thread, L"#32770");
            if (dialog) break;
            Sleep(10);
        }
        if (!dialog) return;
        ran = true;
        steps(dialog);
        for (int waited = 0; waited < 5000 && !done; waited += 10) Sleep(10);
        if (!done) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    const INT_PTR result = modal();
    done = true;
    watcher.Join();
    if (shown) *shown = ran;
    return result;
}

}  // namespace tt::testing
