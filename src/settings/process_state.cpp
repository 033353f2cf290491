#include "settings/process_state.h"

#include <mutex>
#include <utility>

namespace tt {

CProcessState theProcessState;

#define TT_LOCKED std::lock_guard<CriticalSection> guard(lock_)

void CProcessState::Follow(const std::u16string& baseUrl) {
    if (BoundTo(baseUrl)) return;
    serverUrl_ = baseUrl;
    Forget();
}

void CProcessState::Forget() {
    permissionFetched_ = false;
    permissionText_.clear();
    loginSeen_ = false;
    groupwareCookie_.clear();
    digestCache_ = emptyPage_;
    scheduleCache_ = emptyPage_;
}

bool CProcessState::AllowToolbar() const {
    TT_LOCKED;
    return allowToolbar_;
}
void CProcessState::SetAllowToolbar(bool allow) {
    TT_LOCKED;
    allowToolbar_ = allow;
}
bool CProcessState::AllowAutoLogin() const {
    TT_LOCKED;
    return allowAutoLogin_;
}
void CProcessState::SetAllowAutoLogin(bool allow) {
    TT_LOCKED;
    allowAutoLogin_ = allow;
}
bool CProcessState::PermissionFetched(const std::u16string& baseUrl) const {
    TT_LOCKED;
    return BoundTo(baseUrl) && permissionFetched_;
}
std::u16string CProcessState::PermissionText(const std::u16string& baseUrl) const {
    TT_LOCKED;
    return BoundTo(baseUrl) ? permissionText_ : std::u16string();
}
void CProcessState::SetPermissionText(const std::u16string& baseUrl, const std::u16string& text) {
    TT_LOCKED;
    Follow(baseUrl);
    permissionText_ = text;
    permissionFetched_ = true;
}
bool CProcessState::LoginSeen(const std::u16string& baseUrl) const {
    TT_LOCKED;
    return BoundTo(baseUrl) && loginSeen_;
}
void CProcessState::SetLoginSeen(const std::u16string& baseUrl, bool seen) {
    TT_LOCKED;
    Follow(baseUrl);
    loginSeen_ = seen;
}
std::u16string CProcessState::GroupwareCookie(const std::u16string& baseUrl) const {
    TT_LOCKED;
    return BoundTo(baseUrl) ? groupwareCookie_ : std::u16string();
}
void CProcessState::SetGroupwareCookie(const std::u16string& baseUrl, const std::u16string& cookie) {
    TT_LOCKED;
    Follow(baseUrl);
    groupwareCookie_ = cookie;
}
bool CProcessState::TakeLoginTurn(const std::u16string& baseUrl) {
    TT_LOCKED;
    Follow(baseUrl);
    bool wasClear = !loginSeen_;
    loginSeen_ = true;
    return wasClear;
}
SharedText CProcessState::DigestCache(const std::u16string& baseUrl) const {
    TT_LOCKED;
    return BoundTo(baseUrl) ? digestCache_ : emptyPage_;
}
bool CProcessState::HasDigestCache(const std::u16string& baseUrl) const {
    TT_LOCKED;
    return BoundTo(baseUrl) && !digestCache_->empty();
}
SharedText CProcessState::SetDigestCache(const std::u16string& baseUrl, std::u16string text) {
    // Made outside the lock; the page it replaces is freed there too, by the last holder.
    SharedText page = std::make_shared<const std::u16string>(std::move(text));
    TT_LOCKED;
    Follow(baseUrl);
    digestCache_.swap(page);
    return digestCache_;
}
SharedText CProcessState::ScheduleCache(const std::u16string& baseUrl) const {
    TT_LOCKED;
    return BoundTo(baseUrl) ? scheduleCache_ : emptyPage_;
}
SharedText CProcessState::SetScheduleCache(const std::u16string& baseUrl, std::u16string text) {
    SharedText page = std::make_shared<const std::u16string>(std::move(text));
    TT_LOCKED;
    Follow(baseUrl);
    scheduleCache_.swap(page);
    return scheduleCache_;
}

void CProcessState::Reset() {
    TT_LOCKED;
    allowToolbar_ = true;
    allowAutoLogin_ = true;
    serverUrl_.clear();
    Forget();
}

#undef TT_LOCKED

}  // namespace tt
