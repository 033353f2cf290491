#include "net/http_client.h"

#include <memory>
#include <mutex>

#include "settings/toolbar_settings.h"
#include "support/fault_guard.h"
#include "text/pattern_matcher.h"

namespace tt {
namespace {

CriticalSection g_jobsLock;
ManualResetEvent g_noJobs(true);  // set while no background request runs
size_t g_runningJobs = 0;

void JobStarted() {
    std::lock_guard<CriticalSection> guard(g_jobsLock);
    if (g_runningJobs++ == 0) g_noJobs.Reset();
}

void JobEnded() {
    std::lock_guard<CriticalSection> guard(g_jobsLock);
    if (--g_runningJobs == 0) g_noJobs.Set();
}

void RunJob(IHttpClient* client, CHttpRequestJob* job) {
    GuardFaults([&] {
        CHttpResult result;
        result.requestingThread = job->requestingThread;
        result.requester = &theSettings;
        result.callerValue = job->callerValue;
        result.text = client->Request(job->url, job->verb, job->headers, job->body);
        if (job->callback) job->callback(result);
    });
}

}  // namespace

bool StartHttpRequestThread(IHttpClient& client, HttpCallback callback, const std::u16string& url,
                            const std::u16string& verb, const std::u16string& headers,
                            const std::u16string& body, uintptr_t callerValue) {
    bool started = false;
    GuardFaults([&] {
        auto job = std::make_shared<CHttpRequestJob>();
        job->requestingThread = CurrentThreadId();
        job->callback = std::move(callback);
        job->url = url;
        job->verb = verb;
        job->headers = headers;
        job->body = body;
        job->callerValue = callerValue;
        JobStarted();
        try {
            // The job is destroyed on its thread, before the thread counts as ended.
            started = StartDetachedThread([client = &client, job = std::move(job)]() mutable {
                RunJob(client, job.get());
                GuardFaults([&] { job.reset(); });
                JobEnded();
            });
        } catch (...) {
            JobEnded();
            throw;
        }
        if (!started) JobEnded();
    });
    return started;
}

size_t RunningHttpJobs() {
    std::lock_guard<CriticalSection> guard(g_jobsLock);
    return g_runningJobs;
}

bool WaitForHttpJobs(std::chrono::milliseconds timeout) {
    const auto ms = timeout.count();
    return g_noJobs.Wait(ms <= 0 ? 0u : ms >= 0x7FFFFFFF ? 0x7FFFFFFFu : static_cast<uint32_t>(ms));
}

std::u16string CharsetNameFromContentType(const std::u16string& contentType) {
    return ExtractPatternGroup(contentType, u"charset={[-a-zA-Z0-9]+}[;\\s]*", 0);
}

uint32_t HttpRequestFlags(bool https) {
    // INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI, and for https
    // also INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION.
    return https ? 0x80C80200u : 0x80080200u;
}

}  // namespace tt
