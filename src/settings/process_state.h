#pragma once
#include <memory>
#include <string>

#include "support/threads.h"

namespace tt {

using SharedText = std::shared_ptr<const std::u16string>;

// The little state that all browser windows of one process share besides theSettings: the
// server's permission answer, the log-in state and the server-check caches. Tabs run on
// different threads, so every item is read and written under one lock; callers get copies (of
// the cached pages, a share).
class CProcessState {
public:
    // Permission flags (both true at load) and the permission file as last fetched.
    bool AllowToolbar() const;
    void SetAllowToolbar(bool allow);
    bool AllowAutoLogin() const;
    void SetAllowAutoLogin(bool allow);
    bool PermissionFetched() const;
    std::u16string PermissionText() const;
    // Records a fetch: sets the fetched flag and replaces the text (an empty text too).
    void SetPermissionText(const std::u16string& text);

    // loginSeen: a groupware page other than the log-in page completed, or the toolbar sent
    // a log-in body. groupwareCookie: cookie of the last such page.
    bool LoginSeen() const;
    void SetLoginSeen(bool seen);
    std::u16string GroupwareCookie() const;
    void SetGroupwareCookie(const std::u16string& cookie);
    // Sets loginSeen and reports whether it was clear before, so that exactly one caller
    // wins when two windows race to send the log-in.
    bool TakeLoginTurn();

    // The last answers of the digest and own-schedule list pages, up to 1 MiB each: shared
    // and never changed once stored, so a reader holds the page without copying it. Set takes
    // the page (move it in) and gives back what it stored. Never null.
    SharedText DigestCache() const;
    bool HasDigestCache() const;
    SharedText SetDigestCache(std::u16string text);
    SharedText ScheduleCache() const;
    SharedText SetScheduleCache(std::u16string text);

    // Back to the state at load (tests).
    void Reset();

private:
    mutable CriticalSection lock_;
    bool allowToolbar_ = true;
    bool allowAutoLogin_ = true;
    bool permissionFetched_ = false;
    std::u16string permissionText_;
    bool loginSeen_ = false;
    std::u16string groupwareCookie_;
    SharedText digestCache_ = std::make_shared<const std::u16string>();
    SharedText scheduleCache_ = std::make_shared<const std::u16string>();
};

extern CProcessState theProcessState;

}  // namespace tt
