#include "net/http_client.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include "settings/toolbar_settings.h"
#include "support/fault_guard.h"
#include "text/pattern_matcher.h"

namespace tt {
namespace {

std::mutex g_jobsLock;
std::condition_variable g_jobsDone;
size_t g_runningJobs = 0;

void RunJob(IHttpClient* client, std::unique_ptr<CHttpRequestJob> job) {
    GuardFaults([&] {
        CHttpResult result;
        result.requestingThread = job->requestingThread;
        result.requester = &theSettings;
        result.callerValue = job->callerValue;
        result.text = client->Request(job->url, job->verb, job->headers, job->body);
        if (job->callback) job->callback(result);
    });
    GuardFaults([&] { job.reset(); });
    std::lock_guard<std::mutex> guard(g_jobsLock);
    --g_runningJobs;
    g_jobsDone.notify_all();
}

}  // namespace

bool StartHttpRequestThread(IHttpClient& client, HttpCallback callback, const std::u16string& url,
                            const std::u16string& verb, const std::u16string& headers,
                            const std::u16string& body, uintptr_t callerValue) {
    bool started = false;
    GuardFaults([&] {
        auto job = std::make_unique<CHttpRequestJob>();
        job->requestingThread = std::this_thread::get_id();
        job->callback = std::move(callback);
        job->url = url;
        job->verb = verb;
        job->headers = headers;
        job->body = body;
        job->callerValue = callerValue;
        {
            std::lock_guard<std::mutex> guard(g_jobsLock);
            ++g_runningJobs;
        }
        try {
            std::thread(RunJob, &client, std::move(job)).detach();
            started = true;
        } catch (...) {
            std::lock_guard<std::mutex> guard(g_jobsLock);
            --g_runningJobs;
            g_jobsDone.notify_all();
            throw;
        }
    });
    return started;
}

size_t RunningHttpJobs() {
    std::lock_guard<std::mutex> guard(g_jobsLock);
    return g_runningJobs;
}

bool WaitForHttpJobs(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(g_jobsLock);
    return g_jobsDone.wait_for(lock, timeout, [] { return g_runningJobs == 0; });
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
