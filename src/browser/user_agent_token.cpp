#include "browser/user_agent_token.h"

namespace tt {

std::string BuildUserAgentToken(const std::string& tokenBase, const std::string& productVersion) {
    return tokenBase + "/" + productVersion;
}

std::optional<std::string> AddTokenToUserAgent(const std::string& userAgent, const std::string& token) {
    if (token.empty() || userAgent.find(token) != std::string::npos) return std::nullopt;
    size_t close = userAgent.find(')');
    if (close == std::string::npos || close + 1 != userAgent.size()) return std::nullopt;
    return userAgent.substr(0, close) + "; " + token + ")";
}

bool IsProductTokenValueName(const std::u16string& valueName, const std::u16string& tokenBase) {
    return !tokenBase.empty() && valueName.find(tokenBase) != std::u16string::npos;
}

}  // namespace tt
