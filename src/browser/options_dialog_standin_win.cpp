// Stand-in for the options dialog until it is built: shows nothing and answers Cancel.
#include "toolbar/options_dialog_win.h"

namespace tt {

INT_PTR ShowOptionsDialog(const std::u16string&) { return IDCANCEL; }

}  // namespace tt
