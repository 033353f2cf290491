#include "net/update_check.h"

#include "net/http_client.h"
#include "net/text_fields.h"
#include "resources/string_table.h"
#include "settings/toolbar_settings.h"
#include "support/utf.h"
#include "text/pattern_matcher.h"
#include "text/url.h"
#include "string_ids.h"

namespace tt {
namespace {

bool StartsWithNoCase(const std::u16string& text, const std::u16string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (AsciiLower(text[i]) != prefix[i]) return false;
    return true;
}

}  // namespace

bool IsSafeDownloadAddress(const std::u16string& address) {
    if (!StartsWithNoCase(address, u"http://") && !StartsWithNoCase(address, u"https://")) return false;
    for (char16_t c : address)
        if (c <= u' ' || c == u'"' || c == 0x7F) return false;
    CUrlParts parts;
    return SplitUrl(parts, address) && !parts.hostName.empty();
}

std::u16string DownloadAddress(const std::u16string& response) {
    const std::u16string address = ExtractLineValue(response, u"DownloadPath");
    return IsSafeDownloadAddress(address) ? address : LoadResourceString(kProductPage);
}

void OnVersionFileReceived(const std::u16string& response, bool manual, const std::u16string& currentVersion,
                           CToolbarSettings& settings, IUpdateNotifier& notifier) {
    const std::u16string latest = ExtractPatternGroup(response, u"LatestVersion={[\\.0-9]+}", 0);
    if (latest.empty()) {
        if (manual) notifier.ShowNotice(LoadResourceString(kUpdateCheckFailedNotice), false, nullptr);
        return;
    }
    if (!manual && latest == settings.NoCheckVersion()) return;
    // Plain code-unit order, as the server's version texts have always been compared.
    if (currentVersion.compare(latest) < 0) {
        const std::u16string address = DownloadAddress(response);
        const std::u16string message = FillTemplate(LoadResourceString(kNewVersionQuestion),
                                                    {latest, LoadResourceString(kMessageCaption)});
        bool dontNotifyAgain = false;
        const int answer = notifier.ShowNotice(message, true, &dontNotifyAgain);
        if (answer == kNoticeYes) {
            notifier.OpenDownloadPage(address);
        } else if (answer == kNoticeNo && dontNotifyAgain) {
            settings.SetNoCheckVersion(latest);
            settings.Save(false);
        }
    } else if (manual) {
        notifier.ShowNotice(LoadResourceString(kUpToDateNotice), false, nullptr);
    }
}

bool StartVersionCheck(bool automatic, CToolbarSettings& settings, IHttpClient& http,
                       IUpdateNotifier& notifier, const std::u16string& versionFileUrl,
                       const std::u16string& currentVersion) {
    if (automatic && !settings.UpdateCheckDue()) return false;
    const bool manual = !automatic;
    return StartHttpRequestThread(
        http,
        [manual, currentVersion, &settings, &notifier](CHttpResult& result) {
            OnVersionFileReceived(result.text, manual, currentVersion, settings, notifier);
        },
        versionFileUrl, u"GET", u"", u"", 0);
}

}  // namespace tt
