#include "toolbar/tavelle_toolbar_ctrl_win.h"

namespace tt {

// The band's toolbar window is the product's own toolbar window class.
std::unique_ptr<CIEToolbandCtrl> CreateTavelleToolbarCtrl() { return std::make_unique<TavelleToolbarCtrl>(); }

}  // namespace tt
