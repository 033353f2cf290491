#pragma once
#include <windows.h>

#include "settings/key_store.h"

namespace tt {

// The key store on the Windows registry. Paths are relative to `root` (HKEY_CURRENT_USER
// for the toolbar; tests give a scratch key of their own). The root handle is not owned.
class CRegistryKeyStore final : public IKeyStore {
public:
    explicit CRegistryKeyStore(HKEY root = HKEY_CURRENT_USER) : root_(root) {}

    std::unique_ptr<IKey> OpenKey(const std::u16string& path, KeyAccess access) override;
    std::unique_ptr<IKey> CreateKey(const std::u16string& path) override;

private:
    HKEY root_;
};

}  // namespace tt
