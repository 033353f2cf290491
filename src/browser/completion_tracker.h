#pragma once
#include <cstdint>

namespace tt {

// Tells from a browser window's navigation and download events when a page has finished
// loading: once per completed document of any frame, and once at the end of a reload of the
// top page, which fires downloads but no navigation. "Top" means the event's browser is the
// window's own.
class CompletionTracker {
public:
    void OnBeforeNavigate(bool top);

    // DocumentComplete: true when the page is to be reported now (any frame, or the top one
    // once it is no longer busy). After reporting, call DocumentReported().
    bool OnDocumentComplete(bool top, bool busy) const { return !busy || !top; }
    void DocumentReported();

    void OnDownloadBegin();
    // DownloadComplete: true when it ends a reload; the browser's current address is then to
    // be reported.
    bool OnDownloadComplete();

    int32_t PendingNavigations() const { return pendingNavigations_; }
    int32_t ActiveDownloads() const { return activeDownloads_; }
    bool ReloadPending() const { return reloadPending_; }

private:
    int32_t pendingNavigations_ = 0;
    int32_t activeDownloads_ = 0;
    bool reloadPending_ = false;
};

}  // namespace tt
