#pragma once
// The product token in the browser process's user-agent string ("TavelleToolbar/" and the
// module's version), so that the groupware server can tell the toolbar is present. Texts here
// are 8-bit, in the system's ANSI code page, as the browser's session option holds them.
#include <optional>
#include <string>

namespace tt {

// Token base, "/", product version.
std::string BuildUserAgentToken(const std::string& tokenBase, const std::string& productVersion);

// The user agent with the token added before its closing parenthesis, or nothing when it is
// to stay as it is: it already holds the token, or its first ")" is not its last character
// (also when it has none).
std::optional<std::string> AddTokenToUserAgent(const std::string& userAgent, const std::string& token);

// Values of the machine's "Post Platform" key that name a token of this product, of any
// version, are removed again after each attachment.
bool IsProductTokenValueName(const std::u16string& valueName, const std::u16string& tokenBase);

}  // namespace tt
