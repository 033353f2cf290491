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
//
// Everything but the two permission flags belongs to one server, named by the base URL it came
// from: a read for another base URL sees the state at load, and a write for another one first
// forgets what the old server left. So a changed server URL (in this process or another) never
// sends one server's session to the next, nor shows its answers.
class CProcessState {
public:
    // Permission flags (both true at load), as last answered by a server or stored.
    bool AllowToolbar() const;
    void SetAllowToolbar(bool allow);
    bool AllowAutoLogin() const;
    void SetAllowAutoLogin(bool allow);
    // The permission file of baseUrl's server as last fetched.
    bool PermissionFetched(const std::u16string& baseUrl) const;
    std::u16string PermissionText(const std::u16string& baseUrl) const;
    // Records a fetch: sets the fetched flag and replaces the text (an empty text too).
    void SetPermissionText(const std::u16string& baseUrl, const std::u16string& text);

    // loginSeen: a groupware page other than the log-in page completed, or the toolbar sent
    // a log-in body. groupwareCookie: cookie of the last such page.
    bool LoginSeen(const std::u16string& baseUrl) const;
    void SetLoginSeen(const std::u16string& baseUrl, bool seen);
    std::u16string GroupwareCookie(const std::u16string& baseUrl) const;
    void SetGroupwareCookie(const std::u16string& baseUrl, const std::u16string& cookie);
    // Sets loginSeen and reports whether it was clear before, so that exactly one caller
    // wins when two windows race to send the log-in.
    bool TakeLoginTurn(const std::u16string& baseUrl);

    // The last answers of the digest and own-schedule list pages, up to 1 MiB each: shared
    // and never changed once stored, so a reader holds the page without copying it. Set takes
    // the page (move it in) and gives back what it stored. Never null.
    SharedText DigestCache(const std::u16string& baseUrl) const;
    bool HasDigestCache(const std::u16string& baseUrl) const;
    SharedText SetDigestCache(const std::u16string& baseUrl, std::u16string text);
    SharedText ScheduleCache(const std::u16string& baseUrl) const;
    SharedText SetScheduleCache(const std::u16string& baseUrl, std::u16string text);

    // Back to the state at load (tests).
    void Reset();

private:
    bool BoundTo(const std::u16string& baseUrl) const { return baseUrl == serverUrl_; }
    // Under the lock: binds the server-bound items to baseUrl, forgetting another server's.
    void Follow(const std::u16string& baseUrl);
    void Forget();  // under the lock: the server-bound items as at load

    mutable CriticalSection lock_;
    bool allowToolbar_ = true;
    bool allowAutoLogin_ = true;
    std::u16string serverUrl_;  // the base URL the items below belong to
    bool permissionFetched_ = false;
    std::u16string permissionText_;
    bool loginSeen_ = false;
    std::u16string groupwareCookie_;
    const SharedText emptyPage_ = std::make_shared<const std::u16string>();
    SharedText digestCache_ = emptyPage_;
    SharedText scheduleCache_ = emptyPage_;
};

extern CProcessState theProcessState;

}  // namespace tt
