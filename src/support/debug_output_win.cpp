// Windows-only support compiled into tt_win; the fault guard itself is portable.
#include "support/unique_handle_win.h"
#include <string>
