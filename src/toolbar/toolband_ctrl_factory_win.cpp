#include "toolbar/tavelle_toolbar_ctrl_win.h"

namespace tt {

// The band's toolbar window: the plain base toolbar (buttons from resource 515) until the
// product's own toolbar window class takes its place here.
std::unique_ptr<CIEToolbandCtrl> CreateTavelleToolbarCtrl() { return std::make_unique<TavelleToolbarCtrl>(); }

}  // namespace tt
