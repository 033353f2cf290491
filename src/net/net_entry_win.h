#pragma once
// The process's entry points of the server communication, on the platform's HTTP client.

namespace tt {

// The permission check of the stored server (see net/permission.h).
void CheckToolbarPermission(bool force);

}  // namespace tt
namespace tt { void StartVersionCheck(bool automatic); }
