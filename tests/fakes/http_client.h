#pragma once
// An HTTP client that records every request and answers from a script.
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "support/threads.h"

namespace tt::testing {

struct RecordedRequest {
    std::u16string url;
    std::u16string verb;
    std::u16string headers;
    std::u16string body;
};

class FakeHttpClient : public IHttpClient {
public:
    std::u16string Request(const std::u16string& url, const std::u16string& verb,
                           const std::u16string& headers, const std::u16string& body) override {
        std::lock_guard<tt::CriticalSection> guard(lock_);
        requests_.push_back({url, verb, headers, body});
        auto it = answers_.find(url);
        return it != answers_.end() ? it->second : std::u16string();
    }

    // The answer to a URL (unknown URLs answer empty, as a failed request does).
    void Answer(const std::u16string& url, const std::u16string& text) {
        std::lock_guard<tt::CriticalSection> guard(lock_);
        answers_[url] = text;
    }
    void Forget(const std::u16string& url) {
        std::lock_guard<tt::CriticalSection> guard(lock_);
        answers_.erase(url);
    }
    std::vector<RecordedRequest> Requests() {
        std::lock_guard<tt::CriticalSection> guard(lock_);
        return requests_;
    }
    size_t RequestCount() {
        std::lock_guard<tt::CriticalSection> guard(lock_);
        return requests_.size();
    }
    void ClearRequests() {
        std::lock_guard<tt::CriticalSection> guard(lock_);
        requests_.clear();
    }

private:
    tt::CriticalSection lock_;
    std::map<std::u16string, std::u16string> answers_;
    std::vector<RecordedRequest> requests_;
};

}  // namespace tt::testing
