#include "settings/protected_value.h"

#include "settings/key_store.h"

namespace tt {
namespace {

// The plain password does not outlive the operation that needed it.
void Wipe(std::vector<uint8_t>& bytes) {
    volatile uint8_t* p = bytes.data();
    for (size_t i = 0; i < bytes.size(); ++i) p[i] = 0;
}

}  // namespace

std::vector<uint8_t> ProtectText(IDataProtector& protector, const std::u16string& text,
                                 const std::u16string& description, uint32_t flags) {
    std::vector<uint8_t> plain = TextValueBytes(text);
    std::vector<uint8_t> blob;
    bool ok = protector.Protect(plain, description, flags, &blob);
    Wipe(plain);
    if (!ok) return {};
    return blob;
}

std::vector<uint8_t> ProtectText(const std::u16string& text, const std::u16string& description,
                                 uint32_t flags) {
    return ProtectText(DefaultProtector(), text, description, flags);
}

std::u16string UnprotectText(IDataProtector& protector, const std::vector<uint8_t>& blob, uint32_t flags) {
    std::vector<uint8_t> plain;
    if (!protector.Unprotect(blob, flags, &plain)) return {};
    std::u16string text = TextFromValueBytes(plain);
    Wipe(plain);
    return text;
}

std::u16string UnprotectText(const std::vector<uint8_t>& blob, uint32_t flags) {
    return UnprotectText(DefaultProtector(), blob, flags);
}

void StoreProtectedValue(IKeyStore& store, IDataProtector& protector, const std::u16string& valueName,
                         const std::u16string& text, const std::u16string& description) {
    std::vector<uint8_t> blob = ProtectText(protector, text, description, 0);
    auto key = OpenOrCreateSettingsKey(store);
    if (!key || blob.empty()) return;
    key->SetValue(valueName, kRegBinary, blob);
    key->Flush();
}

void StoreProtectedValue(const std::u16string& valueName, const std::u16string& text,
                         const std::u16string& description) {
    StoreProtectedValue(DefaultKeyStore(), DefaultProtector(), valueName, text, description);
}

std::u16string LoadProtectedValue(IKeyStore& store, IDataProtector& protector,
                                  const std::u16string& valueName) {
    auto key = OpenOrCreateSettingsKey(store);
    if (!key) return {};
    std::u16string text;
    uint32_t type = 0;
    std::vector<uint8_t> blob;
    if (key->QueryValue(valueName, &type, &blob) && !blob.empty() && type == kRegBinary)
        text = UnprotectText(protector, blob, 0);
    key->Flush();
    return text;
}

std::u16string LoadProtectedValue(const std::u16string& valueName) {
    return LoadProtectedValue(DefaultKeyStore(), DefaultProtector(), valueName);
}

}  // namespace tt
