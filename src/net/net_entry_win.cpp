#include "net/net_entry_win.h"

#include "net/http_client_win.h"
#include "net/permission.h"

namespace tt {

void CheckToolbarPermission(bool force) { CheckToolbarPermission(DefaultHttpClient(), force); }

}  // namespace tt
