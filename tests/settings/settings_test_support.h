#pragma once
// Helpers shared by the settings tests: readers and writers of stored values.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/clock.h"
#include "settings/key_store.h"

namespace tt::testing {

inline const std::u16string kSettingsPath = u"Software\\Tavelle\\TavelleToolbar";

inline std::u16string Sub(const std::u16string& name) { return kSettingsPath + u"\\" + name; }

// A value as stored, or type 0 when it cannot be read.
struct Stored {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    bool operator==(const Stored& o) const { return type == o.type && data == o.data; }
};

inline Stored ReadStored(IKeyStore& store, const std::u16string& path, const std::u16string& name) {
    Stored s;
    if (auto key = store.OpenKey(path, KeyAccess::Read)) {
        if (!key->QueryValue(name, &s.type, &s.data)) s = Stored{};
    }
    return s;
}

inline Stored StoredText(const std::u16string& text) { return Stored{kRegSz, TextValueBytes(text)}; }
inline Stored StoredDword(uint32_t v) { return Stored{kRegDword, DwordValueBytes(v)}; }

// Value names of a key in enumeration order; {"<missing>"} when the key cannot be opened.
inline std::vector<std::u16string> ValueNames(IKeyStore& store, const std::u16string& path) {
    auto key = store.OpenKey(path, KeyAccess::Read);
    if (!key) return {u"<missing>"};
    std::vector<std::u16string> names;
    KeyValue v;
    for (uint32_t i = 0; key->EnumValue(i, &v); ++i) names.push_back(v.name);
    return names;
}

inline std::vector<std::u16string> SubkeyNames(IKeyStore& store, const std::u16string& path) {
    auto key = store.OpenKey(path, KeyAccess::Read);
    if (!key) return {u"<missing>"};
    std::vector<std::u16string> names;
    std::u16string name;
    for (uint32_t i = 0; key->EnumSubkey(i, &name); ++i) names.push_back(name);
    return names;
}

inline void Put(IKeyStore& store, const std::u16string& path, const std::u16string& name, uint32_t type,
                const std::vector<uint8_t>& data) {
    auto key = store.CreateKey(path);
    if (key) {
        key->SetValue(name, type, data);
        key->Flush();
    }
}

inline void PutText(IKeyStore& store, const std::u16string& path, const std::u16string& name,
                    const std::u16string& text) {
    Put(store, path, name, kRegSz, TextValueBytes(text));
}

inline void PutDword(IKeyStore& store, const std::u16string& path, const std::u16string& name, uint32_t v) {
    Put(store, path, name, kRegDword, DwordValueBytes(v));
}

inline std::u16string Repeat(const std::u16string& unit, size_t count) {
    std::u16string s;
    for (size_t i = 0; i < count; ++i) s += unit;
    return s;
}

inline std::u16string Decimal(size_t n) {
    std::string d = std::to_string(n);
    return std::u16string(d.begin(), d.end());
}

// A store that calls `after` after every change made through it, so that a test can read the
// underlying store at each step, as a reader in another window or process would.
class CObservedKeyStore final : public IKeyStore {
public:
    CObservedKeyStore(IKeyStore& inner, std::function<void()> after)
        : inner_(inner), after_(std::move(after)) {}
    std::unique_ptr<IKey> OpenKey(const std::u16string& path, KeyAccess access) override {
        return Wrap(inner_.OpenKey(path, access));
    }
    std::unique_ptr<IKey> CreateKey(const std::u16string& path) override {
        return Wrap(inner_.CreateKey(path));
    }

private:
    class Key final : public IKey {
    public:
        Key(std::unique_ptr<IKey> inner, CObservedKeyStore& owner)
            : inner_(std::move(inner)), owner_(owner) {}
        bool QueryValue(const std::u16string& n, uint32_t* t, std::vector<uint8_t>* d) override {
            return inner_->QueryValue(n, t, d);
        }
        bool SetValue(const std::u16string& n, uint32_t t, const std::vector<uint8_t>& d) override {
            return Changed(inner_->SetValue(n, t, d));
        }
        bool DeleteValue(const std::u16string& n) override { return Changed(inner_->DeleteValue(n)); }
        bool EnumValue(uint32_t i, KeyValue* v) override { return inner_->EnumValue(i, v); }
        bool EnumSubkey(uint32_t i, std::u16string* n) override { return inner_->EnumSubkey(i, n); }
        std::unique_ptr<IKey> OpenSubkey(const std::u16string& n, KeyAccess a) override {
            return owner_.Wrap(inner_->OpenSubkey(n, a));
        }
        std::unique_ptr<IKey> CreateSubkey(const std::u16string& n) override {
            return owner_.Wrap(inner_->CreateSubkey(n));
        }
        bool DeleteSubkey(const std::u16string& n) override { return Changed(inner_->DeleteSubkey(n)); }
        bool Flush() override { return inner_->Flush(); }

    private:
        bool Changed(bool result) {
            owner_.after_();
            return result;
        }
        std::unique_ptr<IKey> inner_;
        CObservedKeyStore& owner_;
    };
    std::unique_ptr<IKey> Wrap(std::unique_ptr<IKey> key) {
        if (!key) return nullptr;
        return std::make_unique<Key>(std::move(key), *this);
    }

    IKeyStore& inner_;
    std::function<void()> after_;
};

}  // namespace tt::testing
