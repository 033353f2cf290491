#pragma once
#include <optional>
#include <string>

#include "toolbar/search_box_escape.h"
#include "toolbar/search_box_history.h"
#include "string_ids.h"

namespace tt {

// String-table entries of the searches.

// An edit selection as CB_GETEDITSEL reports it; end -1 runs to the end of the text.
struct EditSelection {
    int start = 0;
    int end = 0;
};

// The search box window: its edit field and drop-down list.
class ISearchBoxControl : public IHistoryList {
public:
    // False once the window has been destroyed: it then reads as an empty list, which must
    // never be stored as the history.
    virtual bool Exists() const { return true; }
    virtual std::u16string Text() const = 0;
    virtual void SetText(const std::u16string& text) = 0;
    // Empty when the box cannot report a selection.
    virtual std::optional<EditSelection> Selection() const = 0;
    virtual void SetSelection(EditSelection selection) = 0;
    // Selects the first item that begins with prefix ignoring case, which puts the item's
    // text into the edit field; returns its index or -1 when none does.
    virtual int SelectPrefix(const std::u16string& prefix) = 0;
};

// What the searches need from the toolbar and its navigator.
class ISearchHost {
public:
    virtual ~ISearchHost() = default;
    virtual void NavigateToUrl(const std::u16string& url, bool newTab) = 0;
    virtual void OpenPage(unsigned stringId, bool newTab) = 0;
    // Asks the user to set the server URL now; true when the options dialog ran.
    virtual bool AskForServerUrl() = 0;
    // Message 539 with the error icon.
    virtual void ShowNotPermitted() = 0;
    virtual std::u16string ServerUrl() = 0;
    virtual bool ToolbarAllowed() = 0;
    virtual bool NewTabInSearchResult() = 0;
};

// The groupware search: true when the query was handled (searched, or refused with a message),
// false when it is empty. With no server URL stored the user is asked for one, as the page
// commands do, instead of opening the page query on its own.
bool SearchGroupware(ISearchHost& host, ICodePageConverter& converter, unsigned templateId,
                     const std::u16string& query, const std::u16string& suffix);

// What a key in the search box means to the toolbar's accelerator pass.
enum class SearchBoxKey { None, StartWebSearch, SuppressCompletion, ResumeCompletion };
// message: WM_KEYDOWN (0x100) or WM_KEYUP (0x101); Backspace, Delete and Ctrl+X hold off the
// inline completion while they are down, Enter starts a web search.
SearchBoxKey ClassifySearchBoxKey(unsigned message, unsigned virtualKey, bool ctrlHeld);

// The search box's behaviour over its window.
class CSearchBox {
public:
    CSearchBox(ISearchBoxControl& control, IHistoryStore& history, ISearchHost& host,
               ICodePageConverter& converter);

    // Button 2004 and Enter.
    void SearchWeb();
    // Buttons 2005 to 2008: true when a search was made or refused, false when the index page
    // was opened instead.
    bool SearchOrOpenIndex(unsigned templateId, unsigned indexId);

    // CBN_EDITUPDATE: inline completion from the history.
    void OnEditUpdate();
    // CBN_SETFOCUS: refills the list from the stored history.
    void OnSetFocus();

    void SetAutoCompleteSuppressed(bool suppressed) { autoCompleteSuppressed_ = suppressed; }
    bool AutoCompleteSuppressed() const { return autoCompleteSuppressed_; }

    void ReloadHistory();
    void SaveHistory();
    void AddToHistory(const std::u16string& text);

private:
    ISearchBoxControl& control_;
    IHistoryStore& history_;
    ISearchHost& host_;
    ICodePageConverter& converter_;
    bool autoCompleteSuppressed_ = false;
};

}  // namespace tt
