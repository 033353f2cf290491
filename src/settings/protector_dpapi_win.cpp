#include <windows.h>
#include <wincrypt.h>

#include "settings/protected_value.h"
#include "support/unique_handle_win.h"

namespace tt {
namespace {

// Windows data protection with the system's fixed parameters: no entropy, no prompt,
// nothing reserved; flags 0 bind the blob to the current user.
class CDpapiProtector final : public IDataProtector {
public:
    bool Protect(const std::vector<uint8_t>& plain, const std::u16string& description, uint32_t flags,
                 std::vector<uint8_t>* blob) override {
        DATA_BLOB in{static_cast<DWORD>(plain.size()), const_cast<BYTE*>(plain.data())};
        DATA_BLOB out{};
        if (!CryptProtectData(&in, Wide(description), nullptr, nullptr, nullptr, flags, &out)) return false;
        unique_hlocal owner(out.pbData);
        blob->assign(out.pbData, out.pbData + out.cbData);
        return true;
    }

    bool Unprotect(const std::vector<uint8_t>& blob, uint32_t flags, std::vector<uint8_t>* plain) override {
        if (blob.empty()) return false;
        DATA_BLOB in{static_cast<DWORD>(blob.size()), const_cast<BYTE*>(blob.data())};
        DATA_BLOB out{};
        if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, flags, &out)) return false;
        unique_hlocal owner(out.pbData);
        plain->assign(out.pbData, out.pbData + out.cbData);
        SecureZeroMemory(out.pbData, out.cbData);
        return true;
    }
};

}  // namespace

IDataProtector& DefaultProtector() {
    static CDpapiProtector protector;
    return protector;
}

}  // namespace tt
