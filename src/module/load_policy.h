#pragma once
#include <string>

namespace tt {

// The module stays out of the Windows shell: a host process whose executable path, lower-cased,
// contains "explorer.exe" is refused. Internet Explorer's own "iexplore.exe" in its
// "Internet Explorer" folder passes, since neither name contains that text.
bool IsRefusedHostPath(const std::u16string& executablePath);

}  // namespace tt
