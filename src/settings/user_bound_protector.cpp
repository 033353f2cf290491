#include "settings/user_bound_protector.h"

#include <algorithm>
#include <chrono>

namespace tt {
namespace {

constexpr uint8_t kMagic[4] = {'T', 'T', 'P', 'B'};
constexpr size_t kHeaderBytes = 4 + 8 + 8;

uint64_t Fnv1a(uint64_t hash, const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

uint64_t HashUser(const std::u16string& user) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (char16_t c : user) {
        uint8_t pair[2] = {static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>(c >> 8)};
        hash = Fnv1a(hash, pair, 2);
    }
    return hash;
}

uint64_t SplitMix(uint64_t& state) {
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

void Transform(uint64_t userHash, uint64_t salt, const uint8_t* in, uint8_t* out, size_t n) {
    uint64_t state = userHash ^ salt;
    uint64_t word = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i % 8 == 0) word = SplitMix(state);
        out[i] = in[i] ^ static_cast<uint8_t>(word >> (8 * (i % 8)));
    }
}

uint64_t CheckValue(uint64_t userHash, uint64_t salt, const std::vector<uint8_t>& plain) {
    uint64_t state = userHash ^ ~salt;
    uint64_t hash = Fnv1a(SplitMix(state), plain.data(), plain.size());
    state ^= hash;
    return SplitMix(state);
}

void PutU64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint64_t GetU64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

}  // namespace

CUserBoundProtector::CUserBoundProtector(std::u16string user)
    : user_(std::move(user)),
      salt_(static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {}

bool CUserBoundProtector::Protect(const std::vector<uint8_t>& plain, const std::u16string&, uint32_t,
                                  std::vector<uint8_t>* blob) {
    uint64_t userHash = HashUser(user_);
    uint64_t next = salt_.fetch_add(1);
    uint64_t salt = SplitMix(next);
    std::vector<uint8_t> out(kMagic, kMagic + 4);
    PutU64(out, salt);
    PutU64(out, CheckValue(userHash, salt, plain));
    out.resize(kHeaderBytes + plain.size());
    Transform(userHash, salt, plain.data(), out.data() + kHeaderBytes, plain.size());
    *blob = std::move(out);
    return true;
}

bool CUserBoundProtector::Unprotect(const std::vector<uint8_t>& blob, uint32_t, std::vector<uint8_t>* plain) {
    if (blob.size() < kHeaderBytes || !std::equal(kMagic, kMagic + 4, blob.begin())) return false;
    uint64_t userHash = HashUser(user_);
    uint64_t salt = GetU64(blob.data() + 4);
    uint64_t check = GetU64(blob.data() + 12);
    std::vector<uint8_t> out(blob.size() - kHeaderBytes);
    Transform(userHash, salt, blob.data() + kHeaderBytes, out.data(), out.size());
    if (CheckValue(userHash, salt, out) != check) return false;
    *plain = std::move(out);
    return true;
}

}  // namespace tt
