#pragma once
// The process's entry points of the server communication, on the platform's HTTP client.

namespace tt {

// The permission check of the stored server (see net/permission.h).
void CheckToolbarPermission(bool force);

// The update check against the maker's update server (string 503), with the notice dialog and
// the browser started on Yes (see net/update_check.h). The request runs on a thread of its
// own; while it runs, RunningHttpJobs() is not zero and the module must stay loaded.
void StartVersionCheck(bool automatic);

}  // namespace tt
