#pragma once
// The search history's store, in memory: what was saved last, and how often.
#include <string>
#include <vector>

#include "toolbar/search_box_history.h"

namespace tt::testing {

class FakeHistoryStore : public IHistoryStore {
public:
    std::vector<std::u16string> stored;
    int saves = 0;
    std::vector<std::string>* log = nullptr;  // shared with a host to see the order of steps
    std::vector<std::u16string> Load() override { return stored; }
    void Save(const std::vector<std::u16string>& entries) override {
        if (log) log->push_back("save history");
        stored = entries;
        ++saves;
    }
};

}  // namespace tt::testing
