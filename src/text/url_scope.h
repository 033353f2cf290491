#pragma once
// Whether an address lies under the groupware's stored base address: the rule behind every
// decision to send the user's log-in or cookie, shared by the navigator and the helper object.
#include <cstddef>
#include <string>

namespace tt {

// The query of a URL: the text after its first "?" up to the first "#" after it.
std::u16string QueryOfUrl(const std::u16string& url);

// True when url lies under the stored base URL: the groupware pages, its searches and the
// new-arrival entries. Only these may carry the user's log-in or the groupware's cookie. The
// base is followed by the end, "?", "#" or "/" (or itself ends in "/" or "?" after its host).
bool IsUnderBaseUrl(const std::u16string& url, const std::u16string& baseUrl);

// Where the host part (with user name and port) of "scheme://host..." ends: at the first "/",
// "?" or "#" after it, or the end. npos when the text has no scheme or an empty host part.
size_t AuthorityEnd(const std::u16string& url);

}  // namespace tt
