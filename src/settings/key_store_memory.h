#pragma once
#include <memory>
#include <string>

#include "settings/key_store.h"

namespace tt {

// A key store in memory with the registry's semantics: names compared without regard to
// (ASCII) letter case, values enumerated in creation order, a key with subkeys cannot be
// deleted, a handle opened for reading cannot write, a deleted key's handles fail.
// It is the store of native builds and lets tests simulate keys that cannot be opened,
// written, deleted or created. Thread-safe; open keys stay valid after the store is cleared.
class CMemoryKeyStore final : public IKeyStore {
public:
    CMemoryKeyStore();
    ~CMemoryKeyStore() override;
    CMemoryKeyStore(const CMemoryKeyStore&) = delete;
    CMemoryKeyStore& operator=(const CMemoryKeyStore&) = delete;

    std::unique_ptr<IKey> OpenKey(const std::u16string& path, KeyAccess access) override;
    std::unique_ptr<IKey> CreateKey(const std::u16string& path) override;

    // Empties the store and lifts every restriction and count.
    void Clear();

    // The most a key may be opened with: a wider request is denied. Opening with
    // KeyAccess::All is also what deleting the key needs. Applies to the path whether or not
    // the key exists yet.
    void LimitAccess(const std::u16string& path, KeyAccess most);
    // Every open and create of the key fails.
    void DenyAccess(const std::u16string& path);
    // Creating the key fails while it is missing.
    void FailCreate(const std::u16string& path);

    // Enumerates values sorted by name (as Wine's registry does) instead of in creation order.
    void SetSortedEnumeration(bool sorted);

    // Handles that were closed after a write without a flush since.
    int UnflushedCloses() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace tt
