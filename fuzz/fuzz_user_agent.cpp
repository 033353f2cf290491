// Adds the product token to any user agent. Checks that the result is the user agent with
// "; " and the token put before its only closing parenthesis, that a second addition changes
// nothing, and that a user agent that does not end in its first ")" stays as it is.
#include <cstdlib>
#include <string>

#include "browser/user_agent_token.h"

namespace {

void Check(bool ok) {
    if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string userAgent(reinterpret_cast<const char*>(data), size);
    const std::string token = tt::BuildUserAgentToken("TavelleToolbar", "0.1.1");
    const std::optional<std::string> updated = tt::AddTokenToUserAgent(userAgent, token);
    const size_t close = userAgent.find(')');
    const bool hasToken = userAgent.find(token) != std::string::npos;
    Check(updated.has_value() == (!hasToken && close != std::string::npos && close + 1 == userAgent.size()));
    if (!updated) return 0;
    Check(*updated == userAgent.substr(0, close) + "; " + token + ")");
    Check(updated->find(')') + 1 == updated->size());
    Check(!tt::AddTokenToUserAgent(*updated, token).has_value());
    return 0;
}
