#include "settings/process_state.h"

#include <mutex>
#include <utility>

namespace tt {

CProcessState theProcessState;

#define TT_LOCKED std::lock_guard<CriticalSection> guard(lock_)

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
bool CProcessState::PermissionFetched() const {
    TT_LOCKED;
    return permissionFetched_;
}
std::u16string CProcessState::PermissionText() const {
    TT_LOCKED;
    return permissionText_;
}
void CProcessState::SetPermissionText(const std::u16string& text) {
    TT_LOCKED;
    permissionText_ = text;
    permissionFetched_ = true;
}
bool CProcessState::LoginSeen() const {
    TT_LOCKED;
    return loginSeen_;
}
void CProcessState::SetLoginSeen(bool seen) {
    TT_LOCKED;
    loginSeen_ = seen;
}
std::u16string CProcessState::GroupwareCookie() const {
    TT_LOCKED;
    return groupwareCookie_;
}
void CProcessState::SetGroupwareCookie(const std::u16string& cookie) {
    TT_LOCKED;
    groupwareCookie_ = cookie;
}
bool CProcessState::TakeLoginTurn() {
    TT_LOCKED;
    bool wasClear = !loginSeen_;
    loginSeen_ = true;
    return wasClear;
}
SharedText CProcessState::DigestCache() const {
    TT_LOCKED;
    return digestCache_;
}
bool CProcessState::HasDigestCache() const {
    TT_LOCKED;
    return !digestCache_->empty();
}
SharedText CProcessState::SetDigestCache(std::u16string text) {
    // Made outside the lock; the page it replaces is freed there too, by the last holder.
    SharedText page = std::make_shared<const std::u16string>(std::move(text));
    TT_LOCKED;
    digestCache_.swap(page);
    return digestCache_;
}
SharedText CProcessState::ScheduleCache() const {
    TT_LOCKED;
    return scheduleCache_;
}
SharedText CProcessState::SetScheduleCache(std::u16string text) {
    SharedText page = std::make_shared<const std::u16string>(std::move(text));
    TT_LOCKED;
    scheduleCache_.swap(page);
    return scheduleCache_;
}

void CProcessState::Reset() {
    TT_LOCKED;
    allowToolbar_ = true;
    allowAutoLogin_ = true;
    permissionFetched_ = false;
    permissionText_.clear();
    loginSeen_ = false;
    groupwareCookie_.clear();
    digestCache_ = std::make_shared<const std::u16string>();
    scheduleCache_ = std::make_shared<const std::u16string>();
}

#undef TT_LOCKED

}  // namespace tt
