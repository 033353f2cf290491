// Decides any completed page against any stored server URL (two texts split at a zero byte;
// the first byte says whether the page is the window's own or a frame's). Checks that a page
// judged the server's has the stored URL's scheme, host, user name and port and lies under its
// path, and that only the top page of a window without a server is offered.
#include <cstdlib>

#include "browser/page_complete.h"
#include "fuzz_input.h"
#include "support/utf.h"
#include "text/url.h"

namespace {

void Check(bool ok) {
    if (!ok) abort();
}

// "scheme://authority" of an address, as a browser reads it: the authority ends at the first
// "/", "?" or "#". Empty when there is none.
std::u16string Origin(const std::u16string& url) {
    const size_t separator = url.find(u"://");
    if (separator == std::u16string::npos) return {};
    size_t end = url.find_first_of(u"/?#", separator + 3);
    if (end == std::u16string::npos) end = url.size();
    return url.substr(0, end);
}

std::u16string Lower(std::u16string text) {
    for (char16_t& c : text) c = tt::AsciiLower(c);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool topLevel = data[0] & 1;
    ++data;
    --size;
    const std::u16string server = fuzz::Decode(data, size, true);
    const std::u16string url = fuzz::Decode(data, size, false);
    const std::u16string base = tt::GetServerBaseUrl(url);
    switch (tt::DecidePageComplete(server, url, base, topLevel)) {
        case tt::PageCompleteAction::AutomaticSetting:
            Check(server.empty() && topLevel && !base.empty());
            break;
        case tt::PageCompleteAction::ServerPage: {
            Check(!server.empty());
            const std::u16string origin = Origin(server);
            Check(origin.size() > origin.find(u"://") + 3);  // a host
            Check(Lower(Origin(url)) == Lower(origin));
            // The rest of the stored URL begins the rest of the page's address.
            Check(url.compare(origin.size(), server.size() - origin.size(), server, origin.size()) == 0);
            break;
        }
        case tt::PageCompleteAction::None:
            Check(!server.empty() || base.empty() || !topLevel);
            break;
    }
    return 0;
}
