#pragma once
// The update notice, dialog 507: a question (Yes / No, with the "do not show until the next
// version" check box) or a plain notice (OK), topmost, with the message on the window colour.
#include <windows.h>

#include <functional>
#include <string>

#include "net/update_check.h"
#include "support/modal_dialog_win.h"
#include "support/unique_handle_win.h"

namespace tt {

class CUpdateNotifyDlg final : public ModalDialog {
public:
    CUpdateNotifyDlg();

    // Appends a line feed and the text, so the text starts one line down in its box.
    void SetMessage(const std::u16string& text) { message_ += u"\n" + text; }
    void SetTopmost(bool topmost) { topmost_ = topmost; }
    void SetQuestionMode(bool question) { questionMode_ = question; }

    // Runs the dialog; the result is the id of the button that closed it (-1 when the dialog
    // could not be created).
    INT_PTR DoModal(HWND owner);
    bool DontNotifyChecked() const { return dontNotifyChecked_; }
    const std::u16string& Message() const { return message_; }

private:
    INT_PTR OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog(HWND dialog);
    void OnDontNotifyClicked(HWND dialog);

    bool topmost_ = true;
    bool questionMode_ = true;
    bool dontNotifyChecked_ = false;
    std::u16string message_;
    unique_hgdiobj windowBrush_;
};

// Shows the notice from the calling thread, owned by its active window (none on a background
// thread: the notice then stands alone, topmost), and starts the browser on the download
// address through the launcher (file, parameters).
class CDialogUpdateNotifier : public IUpdateNotifier {
public:
    using Launcher = std::function<void(const std::u16string& file, const std::u16string& parameters)>;
    explicit CDialogUpdateNotifier(Launcher launcher);
    int ShowNotice(const std::u16string& message, bool questionMode, bool* dontNotifyAgain) override;
    void OpenDownloadPage(const std::u16string& address) override;

private:
    Launcher launcher_;
};

// ShellExecuteW "open" of file with parameters, no owner window, no directory, SW_SHOW.
void ShellOpen(const std::u16string& file, const std::u16string& parameters);

}  // namespace tt
