// The plain password leaves no copy behind in memory given back to the heap: the log-in body,
// its UTF-8 bytes and the post data of a navigation, and the body of a background request.
// Native only: the test program's own operator delete looks into every block it frees.
#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "fakes/fresh_state.h"
#include "fakes/navigation.h"
#include "net/http_client.h"
#include "net/server_check.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"
#include "toolbar/navigator.h"

namespace {

// Short enough for the settings' own text buffer, so that only the copies made on the way to
// the server are heap blocks.
constexpr char kPassword8[] = "Zq7-pw9";
constexpr char16_t kPassword16[] = u"Zq7-pw9";

std::atomic<bool> g_watching{false};
std::atomic<int> g_blocksWithPassword{0};

bool Holds(const void* block, size_t size, const void* part, size_t n) {
    return size >= n && memmem(block, size, part, n) != nullptr;
}

void Inspect(void* p) {
    if (!p || !g_watching.load(std::memory_order_relaxed)) return;
    const size_t size = malloc_usable_size(p);
    if (Holds(p, size, kPassword8, sizeof kPassword8 - 1) ||
        Holds(p, size, kPassword16, sizeof kPassword16 - 2))
        ++g_blocksWithPassword;
}

}  // namespace

void* operator new(size_t n) {
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    try {
        return operator new(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return operator new(n, std::nothrow); }
void operator delete(void* p) noexcept {
    Inspect(p);
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }

namespace tt {
namespace {

// Sees whether the body carried the password, and keeps nothing of it.
class CheckingHttp : public IHttpClient {
public:
    bool sawPassword = false;
    std::u16string Request(const std::u16string&, const std::u16string&, const std::u16string&,
                           const std::u16string& body) override {
        sawPassword = body.find(kPassword16) != std::u16string::npos;
        return {};
    }
};

class LoginWipe : public testing::FreshStateTest<> {};

TEST_F(LoginWipe, NoFreedBlockHoldsThePasswordAfterALogInIsSent) {
    theSettings.Set(u"TavelleUrl", u"http://gw.example/cgi-bin/ag.cgi");
    theSettings.Set(u"AutoLogin", u"Yes");
    theSettings.Set(u"Username", u"taro");
    StoreProtectedValue(u"UserPassword", kPassword16, u"");
    testing::FakeBrowser browser;
    testing::FakeKeys keys;
    testing::FakePrompts prompts;
    CToolbarNavigator navigator(keys, prompts);
    navigator.browser = &browser;
    CheckingHttp http;

    g_blocksWithPassword = 0;
    g_watching = true;
    navigator.OpenPage(2062, false);           // the first page posts the log-in
    FetchServerPage(http, kDigestPageString);  // a poll without a cookie logs in as well
    g_watching = false;

    ASSERT_EQ(browser.navigations.size(), 1u);
    EXPECT_NE(browser.Last().PostText().find(kPassword8), std::string::npos);
    EXPECT_TRUE(http.sawPassword);
    EXPECT_EQ(g_blocksWithPassword.load(), 0);
}

}  // namespace
}  // namespace tt
