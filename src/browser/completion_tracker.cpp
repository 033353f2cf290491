#include "browser/completion_tracker.h"

namespace tt {

void CompletionTracker::OnBeforeNavigate(bool top) {
    if (top) {
        pendingNavigations_ = 0;
        activeDownloads_ = 0;
        reloadPending_ = false;
    }
    ++pendingNavigations_;
}

void CompletionTracker::DocumentReported() {
    if (pendingNavigations_ > 0) --pendingNavigations_;
}

void CompletionTracker::OnDownloadBegin() {
    ++activeDownloads_;
    if (pendingNavigations_ == 0) reloadPending_ = true;
}

bool CompletionTracker::OnDownloadComplete() {
    if (activeDownloads_ > 0) --activeDownloads_;
    if (reloadPending_ && activeDownloads_ == 0) {
        reloadPending_ = false;
        return true;
    }
    return false;
}

}  // namespace tt
