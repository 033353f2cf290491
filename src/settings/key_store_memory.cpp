#include "settings/key_store_memory.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "support/threads.h"
#include "support/utf.h"

namespace tt {
namespace {

std::u16string Fold(const std::u16string& s) {
    std::u16string folded(s);
    for (char16_t& c : folded) c = AsciiLower(c);
    return folded;
}

bool SameName(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() && Fold(a) == Fold(b);
}

// "A\\B\\\\C" -> {"A", "B", "C"}: empty components are skipped as the registry does.
std::vector<std::u16string> SplitPath(const std::u16string& path) {
    std::vector<std::u16string> parts;
    std::u16string part;
    for (char16_t c : path) {
        if (c == u'\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

std::u16string FoldPath(const std::u16string& path) {
    std::u16string folded;
    for (const auto& part : SplitPath(path)) {
        if (!folded.empty()) folded += u'\\';
        folded += Fold(part);
    }
    return folded;
}

int Level(KeyAccess access) {
    switch (access) {
        case KeyAccess::Read:
            return 1;
        case KeyAccess::ReadWrite:
            return 2;
        case KeyAccess::All:
            return 3;
    }
    return 3;
}

struct Node {
    std::u16string name;
    std::u16string foldedPath;  // from the root, for the access limits
    std::vector<KeyValue> values;
    std::vector<std::shared_ptr<Node>> subkeys;
    bool deleted = false;

    std::shared_ptr<Node> Find(const std::u16string& child) const {
        for (const auto& n : subkeys)
            if (SameName(n->name, child)) return n;
        return nullptr;
    }
};

}  // namespace

struct CMemoryKeyStore::State {
    CriticalSection lock;
    std::shared_ptr<Node> root = std::make_shared<Node>();
    std::map<std::u16string, int> limits;  // folded path -> most access level (0: none)
    std::set<std::u16string> failCreate;
    bool sorted = false;
    int unflushedCloses = 0;

    int Allowed(const std::u16string& foldedPath) const {
        auto it = limits.find(foldedPath);
        return it == limits.end() ? 3 : it->second;
    }

    static std::u16string ChildPath(const Node& parent, const std::u16string& name) {
        return parent.foldedPath.empty() ? Fold(name) : parent.foldedPath + u"\\" + Fold(name);
    }

    // Walks from `from` along `parts`; creates missing keys when `create` is set.
    std::shared_ptr<Node> Walk(std::shared_ptr<Node> from, const std::vector<std::u16string>& parts,
                               bool create) {
        std::shared_ptr<Node> node = std::move(from);
        for (const auto& part : parts) {
            if (node->deleted) return nullptr;
            std::shared_ptr<Node> next = node->Find(part);
            if (!next) {
                std::u16string path = ChildPath(*node, part);
                if (!create || failCreate.count(path) || Allowed(path) < 2) return nullptr;
                next = std::make_shared<Node>();
                next->name = part;
                next->foldedPath = path;
                node->subkeys.push_back(next);
            }
            node = next;
        }
        return node;
    }
};

namespace {

class CMemoryKey final : public IKey {
public:
    CMemoryKey(std::shared_ptr<CMemoryKeyStore::State> state, std::shared_ptr<Node> node, KeyAccess access)
        : state_(std::move(state)), node_(std::move(node)), access_(access) {}

    ~CMemoryKey() override {
        std::lock_guard<CriticalSection> guard(state_->lock);
        if (dirty_) ++state_->unflushedCloses;
    }

    bool QueryValue(const std::u16string& name, uint32_t* type, std::vector<uint8_t>* data) override {
        std::lock_guard<CriticalSection> guard(state_->lock);
        if (node_->deleted) return false;
        for (const auto& v : node_->values) {
            if (SameName(v.name, name)) {
                *type = v.type;
                *data = v.data;
                return true;
            }
        }
        return false;
    }

    bool SetValue(const std::u16string& name, uint32_t type, const std::vector<uint8_t>& data) override {
        std::lock_guard<CriticalSection> guard(state_->lock);
        if (node_->deleted || access_ == KeyAccess::Read) return false;
        dirty_ = true;
        for (auto& v : node_->values) {
            if (SameName(v.name, name)) {  // keeps its place and its first spelling
                v.type = type;
                v.data = data;
                return true;
            }
        }
        node_->values.push_back(KeyValue{name, type, data});
        return true;
    }

    bool DeleteValue(const std::u16string& name) override {
        std::lock_guard<CriticalSection> guard(state_->lock);
        if (node_->deleted || access_ == KeyAccess::Read) return false;
        auto& values = node_->values;
        auto it = std::find_if(values.begin(), values.end(),
                               [&](const KeyValue& v) { return SameName(v.name, name); });
        if (it == values.end()) return false;
        values.erase(it);
        dirty_ = true;
        return true;
    }

    bool EnumValue(uint32_t index, KeyValue* value) override {
        std::lock_guard<CriticalSection> guard(state_->lock);
        if (node_->deleted || index >= node_->values.size()) return false;
        if (!state_->sorted) {
            *value = node_->values[index];
            return true;
        }
        std::vector<const KeyValue*> order;
        for (const auto& v : node_->values) order.push_back(&v);
        std::stable_sort(order.begin(), order.end(),
                         [](const KeyValue* a, const KeyValue* b) { return Fold(a->name) < Fold(b->name); });
        *value = *order[index];
        return true;
    }

    bool EnumSubkey(uint32_t index, std::u16string* name) override {
        std::lock_guard<CriticalSection> guard(state_->lock);
        if (node_->deleted || index >= node_->subkeys.size()) return false;
        *name = node_->subkeys[index]->name;
        return true;
    }

    std::unique_ptr<IKey> OpenSubkey(const std::u16string& name, KeyAccess access) override {
        std::lock_guard<CriticalSection> guard(state_->lock);
        auto node = state_->Walk(node_, SplitPath(name), false);
        if (!node || node->deleted || Level(access) > state_->Allowed(node->foldedPath)) return nullptr;
        return std::make_unique<CMemoryKey>(state_, node, access);
    }

    std::unique_ptr<IKey> CreateSubkey(const std::u16string& name) override {
        std::lock_guard<CriticalSection> guard(state_->lock);
        if (access_ == KeyAccess::Read) return nullptr;
        auto node = state_->Walk(node_, SplitPath(name), true);
        if (!node || node->deleted || state_->Allowed(node->foldedPath) < 2) return nullptr;
        return std::make_unique<CMemoryKey>(state_, node, KeyAccess::ReadWrite);
    }

    bool DeleteSubkey(const std::u16string& name) override {
        std::lock_guard<CriticalSection> guard(state_->lock);
        auto parts = SplitPath(name);
        if (parts.empty() || node_->deleted) return false;
        std::u16string last = parts.back();
        parts.pop_back();
        auto parent = state_->Walk(node_, parts, false);
        if (!parent) return false;
        auto& subkeys = parent->subkeys;
        auto it = std::find_if(subkeys.begin(), subkeys.end(),
                               [&](const std::shared_ptr<Node>& n) { return SameName(n->name, last); });
        if (it == subkeys.end()) return false;
        Node& victim = **it;
        if (!victim.subkeys.empty() || state_->Allowed(victim.foldedPath) < 3) return false;
        victim.deleted = true;
        subkeys.erase(it);
        return true;
    }

    bool Flush() override {
        std::lock_guard<CriticalSection> guard(state_->lock);
        dirty_ = false;
        return !node_->deleted;
    }

private:
    std::shared_ptr<CMemoryKeyStore::State> state_;
    std::shared_ptr<Node> node_;
    KeyAccess access_;
    bool dirty_ = false;
};

}  // namespace

CMemoryKeyStore::CMemoryKeyStore() : state_(std::make_shared<State>()) {}
CMemoryKeyStore::~CMemoryKeyStore() = default;

std::unique_ptr<IKey> CMemoryKeyStore::OpenKey(const std::u16string& path, KeyAccess access) {
    std::lock_guard<CriticalSection> guard(state_->lock);
    auto node = state_->Walk(state_->root, SplitPath(path), false);
    if (!node || Level(access) > state_->Allowed(node->foldedPath)) return nullptr;
    return std::make_unique<CMemoryKey>(state_, node, access);
}

std::unique_ptr<IKey> CMemoryKeyStore::CreateKey(const std::u16string& path) {
    std::lock_guard<CriticalSection> guard(state_->lock);
    auto node = state_->Walk(state_->root, SplitPath(path), true);
    if (!node || state_->Allowed(node->foldedPath) < 2) return nullptr;
    return std::make_unique<CMemoryKey>(state_, node, KeyAccess::ReadWrite);
}

void CMemoryKeyStore::Clear() {
    std::lock_guard<CriticalSection> guard(state_->lock);
    // Handles still open see a deleted key.
    std::vector<std::shared_ptr<Node>> pending{state_->root};
    while (!pending.empty()) {
        auto node = pending.back();
        pending.pop_back();
        node->deleted = true;
        for (auto& sub : node->subkeys) pending.push_back(sub);
    }
    state_->root = std::make_shared<Node>();
    state_->limits.clear();
    state_->failCreate.clear();
    state_->sorted = false;
    state_->unflushedCloses = 0;
}

void CMemoryKeyStore::LimitAccess(const std::u16string& path, KeyAccess most) {
    std::lock_guard<CriticalSection> guard(state_->lock);
    state_->limits[FoldPath(path)] = Level(most);
}

void CMemoryKeyStore::DenyAccess(const std::u16string& path) {
    std::lock_guard<CriticalSection> guard(state_->lock);
    state_->limits[FoldPath(path)] = 0;
}

void CMemoryKeyStore::FailCreate(const std::u16string& path) {
    std::lock_guard<CriticalSection> guard(state_->lock);
    state_->failCreate.insert(FoldPath(path));
}

void CMemoryKeyStore::SetSortedEnumeration(bool sorted) {
    std::lock_guard<CriticalSection> guard(state_->lock);
    state_->sorted = sorted;
}

int CMemoryKeyStore::UnflushedCloses() const {
    std::lock_guard<CriticalSection> guard(state_->lock);
    return state_->unflushedCloses;
}

}  // namespace tt
