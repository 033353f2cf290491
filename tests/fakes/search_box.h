#pragma once
// Stand-ins for the search box window, the toolbar and the code pages.
#include <string>
#include <vector>

#include "fakes/history_store.h"
#include "support/utf.h"
#include "toolbar/search_box.h"

namespace tt::testing {

// A combo box: an unsorted list plus an edit field with a selection.
class FakeSearchBoxControl : public ISearchBoxControl {
public:
    std::vector<std::u16string> items;
    std::u16string text;
    bool canReportSelection = true;
    EditSelection selection;
    std::vector<EditSelection> selectionsSet;
    int selected = -1;

    int Count() const override { return static_cast<int>(items.size()); }
    std::u16string Item(int index) const override { return items.at(static_cast<size_t>(index)); }
    void Insert(int index, const std::u16string& t) override { items.insert(items.begin() + index, t); }
    void Append(const std::u16string& t) override { items.push_back(t); }
    void Delete(int index) override { items.erase(items.begin() + index); }
    void Reset() override {
        items.clear();
        text.clear();
        selected = -1;
    }
    std::u16string Text() const override { return text; }
    void SetText(const std::u16string& t) override { text = t; }
    std::optional<EditSelection> Selection() const override {
        if (!canReportSelection) return std::nullopt;
        return selection;
    }
    void SetSelection(EditSelection s) override {
        selection = s;
        selectionsSet.push_back(s);
    }
    int SelectPrefix(const std::u16string& prefix) override {
        const int index = FindPrefix(-1, prefix);
        if (index >= 0) {
            selected = index;
            text = items[static_cast<size_t>(index)];
        }
        return index;
    }

    // The text the user would see selected.
    std::u16string SelectedText() const {
        const size_t start = static_cast<size_t>(selection.start);
        if (start > text.size()) return {};
        const size_t end = selection.end < 0 ? text.size() : static_cast<size_t>(selection.end);
        return text.substr(start, end - start);
    }
};

struct Navigation {
    std::u16string url;
    bool newTab;
};

class FakeSearchHost : public ISearchHost {
public:
    std::vector<Navigation> navigations;
    std::vector<unsigned> pagesOpened;
    std::vector<std::string> calls;
    std::u16string serverUrl = u"http://gw.example.jp/cgi-bin/ag.cgi";
    bool allowed = true;
    bool newTabSetting = false;
    bool askAnswer = false;
    std::u16string urlSetByDialog;
    int notPermittedShown = 0;
    int asked = 0;

    void NavigateToUrl(const std::u16string& url, bool newTab) override {
        calls.push_back("navigate");
        navigations.push_back({url, newTab});
    }
    void OpenPage(unsigned stringId, bool) override {
        calls.push_back("open");
        pagesOpened.push_back(stringId);
    }
    bool AskForServerUrl() override {
        calls.push_back("ask");
        ++asked;
        if (askAnswer) serverUrl = urlSetByDialog;
        return askAnswer;
    }
    void ShowNotPermitted() override {
        calls.push_back("refused");
        ++notPermittedShown;
    }
    std::u16string ServerUrl() override { return serverUrl; }
    bool ToolbarAllowed() override { return allowed; }
    bool NewTabInSearchResult() override { return newTabSetting; }
};

// UTF-8 for code page 65001; for the thread's ANSI code page, the Shift_JIS bytes of the few
// Japanese characters the tests use ('?' for other characters beyond ASCII).
class FakeCodePageConverter : public ICodePageConverter {
public:
    std::vector<unsigned> codePagesAsked;
    std::string FromUtf16(const std::u16string& text, unsigned codePage) override {
        codePagesAsked.push_back(codePage);
        if (codePage == kCodePageUtf8) return Utf16ToUtf8(text);
        std::string out;
        for (char16_t c : text) {
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c == u'\u3042') {  // あ
                out += "\x82\xa0";
            } else if (c == u'\u691c') {  // 検
                out += "\x8c\x9f";
            } else {
                out += '?';
            }
        }
        return out;
    }
};

}  // namespace tt::testing
