#include "toolbar/search_box.h"

#include "resources/string_table.h"

namespace tt {

bool SearchGroupware(ISearchHost& host, ICodePageConverter& converter, unsigned templateId,
                     const std::u16string& query, const std::u16string& suffix) {
    if (!host.ToolbarAllowed()) {
        host.ShowNotPermitted();
        return true;
    }
    if (query.empty()) return false;
    std::u16string base = host.ServerUrl();
    if (base.empty()) {
        // A page query without a server is no address; ask as the page commands do.
        if (!host.AskForServerUrl()) return true;
        base = host.ServerUrl();
        if (base.empty()) return true;
    }
    const std::u16string path =
        FillTemplate(LoadResourceString(templateId), {EscapeQuery(query, kCodePageThreadAnsi, converter)});
    host.NavigateToUrl(base + path + suffix, host.NewTabInSearchResult());
    return true;
}

SearchBoxKey ClassifySearchBoxKey(unsigned message, unsigned virtualKey, bool ctrlHeld) {
    constexpr unsigned kKeyDown = 0x0100, kKeyUp = 0x0101;
    constexpr unsigned kReturn = 0x0D, kBack = 0x08, kDelete = 0x2E, kX = 'X';
    if (message != kKeyDown && message != kKeyUp) return SearchBoxKey::None;
    if (message == kKeyDown && virtualKey == kReturn) return SearchBoxKey::StartWebSearch;
    const bool deleting = virtualKey == kBack || virtualKey == kDelete || (virtualKey == kX && ctrlHeld);
    if (!deleting) return SearchBoxKey::None;
    return message == kKeyDown ? SearchBoxKey::SuppressCompletion : SearchBoxKey::ResumeCompletion;
}

CSearchBox::CSearchBox(ISearchBoxControl& control, IHistoryStore& history, ISearchHost& host,
                       ICodePageConverter& converter)
    : control_(control), history_(history), host_(host), converter_(converter) {}

void CSearchBox::SearchWeb() {
    const std::u16string q = control_.Text();
    std::u16string address;
    bool newTab = false;
    if (!q.empty()) {
        AddToHistory(q);
        address =
            FillTemplate(LoadResourceString(kWebSearchTemplate), {EscapeQuery(q, kCodePageUtf8, converter_)});
        newTab = host_.NewTabInSearchResult();
    } else {
        address = LoadResourceString(kWebPortalPage);
    }
    host_.NavigateToUrl(address, newTab);
}

bool CSearchBox::SearchOrOpenIndex(unsigned templateId, unsigned indexId) {
    const std::u16string q = control_.Text();
    if (SearchGroupware(host_, converter_, templateId, q, std::u16string())) {
        // The search may have asked the user first; the box may be gone since.
        if (control_.Exists()) AddToHistory(q);
        return true;
    }
    host_.OpenPage(indexId, false);
    return false;
}

void CSearchBox::OnEditUpdate() {
    if (autoCompleteSuppressed_) return;
    const std::u16string typed = control_.Text();
    // An emptied box stays empty: every item begins with the empty text.
    if (typed.empty()) return;
    const int n = static_cast<int>(typed.size());
    const std::optional<EditSelection> sel = control_.Selection();
    if (control_.SelectPrefix(typed) < 0) {
        control_.SetText(typed);
        if (sel) control_.SetSelection(*sel);
    }
    if (!sel || sel->end >= n) {
        control_.SetSelection({n, -1});
    } else {
        control_.SetSelection(*sel);
    }
}

void CSearchBox::OnSetFocus() { ReloadHistory(); }

void CSearchBox::ReloadHistory() { tt::ReloadHistory(control_, history_); }

void CSearchBox::SaveHistory() { tt::SaveHistory(control_, history_); }

void CSearchBox::AddToHistory(const std::u16string& text) { tt::AddToHistory(control_, history_, text); }

}  // namespace tt
