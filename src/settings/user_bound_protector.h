#pragma once
#include <atomic>
#include <string>

#include "settings/protected_value.h"

namespace tt {

// The stand-in for Windows data protection where the platform has none (the native builds,
// which run the tests; nothing is shipped from them). It keys a reversible transform on the
// user's name and seals it with a check value, so a blob of another user or a damaged blob
// fails to unprotect. It hides the text from a casual look only; it is not cryptography.
// Blob: "TTPB", 8 bytes of salt, 8 bytes of check value, the transformed bytes.
class CUserBoundProtector final : public IDataProtector {
public:
    explicit CUserBoundProtector(std::u16string user);

    bool Protect(const std::vector<uint8_t>& plain, const std::u16string& description, uint32_t flags,
                 std::vector<uint8_t>* blob) override;
    bool Unprotect(const std::vector<uint8_t>& blob, uint32_t flags, std::vector<uint8_t>* plain) override;

private:
    std::u16string user_;
    std::atomic<uint64_t> salt_;  // advanced for each blob
};

}  // namespace tt
