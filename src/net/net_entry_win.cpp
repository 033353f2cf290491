#include "net/net_entry_win.h"

#include "net/http_client_win.h"
#include "net/permission.h"
#include "net/update_check.h"
#include "net/update_notify_dlg_win.h"
#include "resources/string_table.h"
#include "settings/toolbar_settings.h"
#include "support/module_version_win.h"
#include "string_ids.h"

namespace tt {

void CheckToolbarPermission(bool force) { CheckToolbarPermission(DefaultHttpClient(), force); }

void StartVersionCheck(bool automatic) {
    // Stateless but for its launcher: one notifier serves every check, also overlapping ones.
    static CDialogUpdateNotifier notifier(ShellOpen);
    StartVersionCheck(automatic, theSettings, DefaultHttpClient(), notifier,
                      LoadResourceString(kVersionFileUrl), GetModuleVersionString(u"ProductVersion"));
}

}  // namespace tt
