#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tt {

class IKeyStore;

// The platform's per-user data protection: Windows data protection (DPAPI) on Windows.
// A blob protected for one user cannot be unprotected by another.
class IDataProtector {
public:
    virtual ~IDataProtector() = default;
    virtual bool Protect(const std::vector<uint8_t>& plain, const std::u16string& description, uint32_t flags,
                         std::vector<uint8_t>* blob) = 0;
    virtual bool Unprotect(const std::vector<uint8_t>& blob, uint32_t flags, std::vector<uint8_t>* plain) = 0;
};

IDataProtector& DefaultProtector();

// Protects the UTF-16 bytes of text and its terminator; an empty blob when protection fails.
std::vector<uint8_t> ProtectText(const std::u16string& text, const std::u16string& description,
                                 uint32_t flags);
std::vector<uint8_t> ProtectText(IDataProtector& protector, const std::u16string& text,
                                 const std::u16string& description, uint32_t flags);
// The protected text up to its first zero character; empty when unprotection fails.
std::u16string UnprotectText(const std::vector<uint8_t>& blob, uint32_t flags);
std::u16string UnprotectText(IDataProtector& protector, const std::vector<uint8_t>& blob, uint32_t flags);

// Writes the protected text as a REG_BINARY value of the settings key. When protection
// fails nothing is written and the stored value stays.
void StoreProtectedValue(const std::u16string& valueName, const std::u16string& text,
                         const std::u16string& description);
void StoreProtectedValue(IKeyStore& store, IDataProtector& protector, const std::u16string& valueName,
                         const std::u16string& text, const std::u16string& description);
// Reads a REG_BINARY value of the settings key (creating a missing key) and unprotects it;
// empty when the value is missing, empty, of another type or cannot be unprotected.
std::u16string LoadProtectedValue(const std::u16string& valueName);
std::u16string LoadProtectedValue(IKeyStore& store, IDataProtector& protector,
                                  const std::u16string& valueName);

}  // namespace tt
