#include "settings/process_state.h"

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
std::u16string CProcessState::DigestCache() const {
    TT_LOCKED;
    return digestCache_;
}
bool CProcessState::HasDigestCache() const {
    TT_LOCKED;
    return !digestCache_.empty();
}
void CProcessState::SetDigestCache(const std::u16string& text) {
    TT_LOCKED;
    digestCache_ = text;
}
std::u16string CProcessState::ScheduleCache() const {
    TT_LOCKED;
    return scheduleCache_;
}
void CProcessState::SetScheduleCache(const std::u16string& text) {
    TT_LOCKED;
    scheduleCache_ = text;
}

void CProcessState::Reset() {
    TT_LOCKED;
    allowToolbar_ = true;
    allowAutoLogin_ = true;
    permissionFetched_ = false;
    permissionText_.clear();
    loginSeen_ = false;
    groupwareCookie_.clear();
    digestCache_.clear();
    scheduleCache_.clear();
}

#undef TT_LOCKED

}  // namespace tt
