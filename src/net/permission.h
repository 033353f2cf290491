#pragma once
// The server's toolbar permission file: the administrator of a groupware server can forbid
// the toolbar, or its automatic log-in, for everybody who uses that server.
#include <string>

namespace tt {

class IHttpClient;

// The two switches of a permission file: each forbids exactly when the value of its first
// "key=" line, up to the line break, is "no" in any letter case.
struct PermissionFlags {
    bool allowToolbar = true;
    bool allowAutoLogin = true;
};
PermissionFlags ReadPermissionFlags(const std::u16string& text);

// Fetches the permission file of the stored server (once per process unless forced), sets
// the AllowToolbar and AllowAutoLogin flags from the last non-empty answer and stores them in
// the settings. An empty answer (failure, 404, empty file) changes nothing; an empty server
// URL does nothing at all.
void CheckToolbarPermission(IHttpClient& http, bool force);

// Until the stored server has been asked in this process, its last answer as stored in the
// settings counts: each non-empty AllowToolbar and AllowAutoLogin entry sets its flag. Runs
// before anything reads the flags (the toolbar's creation, the helper object's attachment), so
// that a server that forbids the automatic log-in is not sent the password at start.
void ApplyStoredPermission();

// The permission file's address for a base URL: scheme, "://", host and string 535. The
// port, the credentials and the path of the base URL are not used. Empty when the base URL
// names no host.
std::u16string PermissionFileUrl(const std::u16string& baseUrl);

}  // namespace tt
