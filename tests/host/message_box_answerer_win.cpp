#include "host/message_box_answerer_win.h"

#include <algorithm>

namespace tthost {

MessageBoxAnswerer::MessageBoxAnswerer(std::vector<int> answers)
    : thread_(GetCurrentThreadId()), answers_(std::move(answers)) {
    watcher_ = tt::JoinableThread([this] { Watch(); });
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
    stop_ = true;
    watcher_.Join();
}

void MessageBoxAnswerer::SetAnswers(std::vector<int> answers) {
    std::lock_guard<tt::CriticalSection> g(lock_);
    answers_ = std::move(answers);
    next_ = 0;
}

std::vector<SeenMessageBox> MessageBoxAnswerer::Seen() const {
    std::lock_guard<tt::CriticalSection> g(lock_);
    return seen_;
}

size_t MessageBoxAnswerer::Count() const {
    std::lock_guard<tt::CriticalSection> g(lock_);
    return seen_.size();
}

// A window enumerator must be stdcall on 32-bit Windows, which a lambda cannot be.
static BOOL CALLBACK CollectVisibleBoxes(HWND hwnd, LPARAM param) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(hwnd))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

void MessageBoxAnswerer::Watch() {
    while (!stop_) {
        std::vector<HWND> boxes;
        EnumThreadWindows(thread_, CollectVisibleBoxes, reinterpret_cast<LPARAM>(&boxes));
        {
            std::lock_guard<tt::CriticalSection> g(lock_);
            answered_.erase(
                std::remove_if(answered_.begin(), answered_.end(), [](HWND h) { return !IsWindow(h); }),
                answered_.end());
        }
        for (HWND box : boxes) AnswerOne(box);
        Sleep(15);
    }
}

bool MessageBoxAnswerer::AnswerOne(HWND box) {
    {
        std::lock_guard<tt::CriticalSection> g(lock_);
        if (std::find(answered_.begin(), answered_.end(), box) != answered_.end() && IsWindow(box)) {
            return false;  // pressed already; waiting for it to close
        }
    }
    // A message box: buttons with the standard ids and a static text.
    static const int kButtons[] = {IDOK,  IDCANCEL, IDABORT,    IDRETRY,   IDIGNORE,
                                   IDYES, IDNO,     IDTRYAGAIN, IDCONTINUE};
    SeenMessageBox seen;
    wchar_t buf[4096];
    GetWindowTextW(box, buf, ARRAYSIZE(buf));
    seen.caption = buf;
    for (int id : kButtons) {
        HWND b = GetDlgItem(box, id);
        if (b && IsWindowVisible(b)) seen.buttons.push_back(id);
    }
    if (seen.buttons.empty()) return false;  // some other dialog
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[16] = {};
        GetClassNameW(child, cls, 16);
        if (_wcsicmp(cls, L"Static") != 0) continue;
        GetWindowTextW(child, buf, ARRAYSIZE(buf));
        if (wcslen(buf) > seen.text.size()) seen.text = buf;
    }
    // The default button is the one drawn as such (the dialog's default id may not follow it).
    for (int id : seen.buttons) {
        if ((GetWindowLongPtrW(GetDlgItem(box, id), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
            seen.defaultButton = id;
    }
    if (!seen.defaultButton) {
        const LRESULT def = SendMessageW(box, DM_GETDEFID, 0, 0);
        if (HIWORD(def) == DC_HASDEFID) seen.defaultButton = LOWORD(def);
    }
    int answer;
    {
        std::lock_guard<tt::CriticalSection> g(lock_);
        answer = answers_.empty() ? IDCANCEL : answers_[std::min(next_, answers_.size() - 1)];
        ++next_;
        // A button the box lacks: what Esc would give (Cancel, or the only button).
        if (std::find(seen.buttons.begin(), seen.buttons.end(), answer) == seen.buttons.end()) {
            answer = std::find(seen.buttons.begin(), seen.buttons.end(), IDCANCEL) != seen.buttons.end()
                         ? IDCANCEL
                         : seen.buttons.front();
        }
        seen.answer = answer;
        seen_.push_back(seen);
        answered_.push_back(box);
    }
    HWND button = GetDlgItem(box, answer);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

}  // namespace tthost
