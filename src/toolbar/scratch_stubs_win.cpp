#include <windows.h>
#include <string>
namespace tt {
INT_PTR ShowOptionsDialog(const std::u16string&) { return 2; }
void StartVersionCheck(bool) {}
}
namespace tt { void ShowAboutDialog() {} }
