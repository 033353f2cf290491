#pragma once
// Answers the message boxes that the code under test shows on this thread: a watcher thread
// finds each box as it appears, records its caption, text and buttons, and presses the button
// the test chose (in order; the last answer repeats, IDCANCEL when none was given).
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "support/threads.h"

namespace tthost {

struct SeenMessageBox {
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // IDOK, IDCANCEL, IDYES, IDNO, ... that the box has
    int defaultButton = 0;
    int answer = 0;
};

class MessageBoxAnswerer {
public:
    // Watches the boxes of the calling thread.
    explicit MessageBoxAnswerer(std::vector<int> answers = {});
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    void SetAnswers(std::vector<int> answers);
    std::vector<SeenMessageBox> Seen() const;
    size_t Count() const;

private:
    void Watch();
    bool AnswerOne(HWND box);

    DWORD thread_;
    mutable tt::CriticalSection lock_;
    std::vector<int> answers_;
    size_t next_ = 0;
    std::vector<SeenMessageBox> seen_;
    std::vector<HWND> answered_;
    std::atomic<bool> stop_{false};
    tt::JoinableThread watcher_;
};

}  // namespace tthost
