#pragma once
// The search box window: a drop-down combo box over button 2003 of the toolbar.
#include <windows.h>

#include "toolbar/search_box.h"

namespace tt {

constexpr int kSearchBoxWidth = 180;
constexpr int kSearchBoxTextLimit = 2048;
constexpr int kSearchBoxFontHeight = -14;

class CSearchBoxWindow final : public ISearchBoxControl {
public:
    CSearchBoxWindow() = default;
    CSearchBoxWindow(const CSearchBoxWindow&) = delete;
    CSearchBoxWindow& operator=(const CSearchBoxWindow&) = delete;

    // Turns button 2003 of the toolbar into a separator 180 pixels wide and creates the box on
    // it (no control id; the toolbar window is its parent and receives its notifications).
    // *toolbarFont is the toolbar's font: created here when it is null, owned by the toolbar.
    bool Create(HWND toolbar, HFONT* toolbarFont);
    HWND Handle() const { return box_; }
    // Moves the box onto the separator again (button 2002 changing its style moves it).
    void FitToSlot();
    // The window is the box's edit field or its drop-down list.
    bool IsPartOfBox(HWND window) const;
    bool Exists() const override { return box_ && IsWindow(box_); }

    int Count() const override;
    std::u16string Item(int index) const override;
    void Insert(int index, const std::u16string& text) override;
    void Append(const std::u16string& text) override;
    void Delete(int index) override;
    void Reset() override;
    int FindExact(int start, const std::u16string& text) const override;
    int FindPrefix(int start, const std::u16string& prefix) const override;
    std::u16string Text() const override;
    void SetText(const std::u16string& text) override;
    std::optional<EditSelection> Selection() const override;
    void SetSelection(EditSelection selection) override;
    int SelectPrefix(const std::u16string& prefix) override;

private:
    HWND toolbar_ = nullptr;
    HWND box_ = nullptr;
};

}  // namespace tt
