#include "settings/toolbar_settings.h"

#include <algorithm>
#include <memory>

#include "settings/key_store.h"
#include "support/utf.h"

namespace tt {
namespace {

const char16_t kInitialized[] = u"Initialized";
const char16_t kLastExecute[] = u"LastExecute";
const char16_t kNoCheckVersion[] = u"NoCheckVersion";
const char16_t kEnableAsDefault[] = u"EnableAsDefault";
const char16_t kEnableSites[] = u"EnableSites";
const char16_t kParameters[] = u"Parameters";

// The stored day's last stamp is at most hour 23, so "+ 24" lands between it and the next
// day's first stamp: the check is due once the calendar date has moved on.
constexpr uint32_t kStampDayStep = 24;

// A flag is its first 32 bits, non-zero meaning true; shorter data counts what is there.
bool FlagFromBytes(const std::vector<uint8_t>& data) {
    for (size_t i = 0; i < data.size() && i < 4; ++i)
        if (data[i] != 0) return true;
    return false;
}

// A subkey opened for reading, with write access when it is granted.
std::unique_ptr<IKey> OpenForReading(IKey& parent, const std::u16string& name) {
    if (auto sub = parent.OpenSubkey(name, KeyAccess::ReadWrite)) return sub;
    return parent.OpenSubkey(name, KeyAccess::Read);
}

// Writes back, right after reading them, values stored in another form than this process
// writes (another type, no terminator) in its own form.
void WriteBack(IKey& key, const std::vector<KeyValue>& values) {
    if (values.empty()) return;
    for (const KeyValue& v : values) key.SetValue(v.name, v.type, v.data);
    key.Flush();
}

}  // namespace

bool NameLess::operator()(const std::u16string& a, const std::u16string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char16_t x, char16_t y) { return AsciiLower(x) < AsciiLower(y); });
}

CToolbarSettings theSettings;

uint32_t MakeRunStamp(const LocalTime& t) {
    return ((static_cast<uint32_t>(t.year) * 100u + static_cast<uint32_t>(t.month)) * 100u +
            static_cast<uint32_t>(t.day)) *
               100u +
           static_cast<uint32_t>(t.hour);
}

uint32_t MakeRunStamp() { return MakeRunStamp(SystemClock().Now()); }

CToolbarSettings::CToolbarSettings() : CToolbarSettings(DefaultKeyStore(), SystemClock()) {}

CToolbarSettings::CToolbarSettings(IKeyStore& store, IClock& clock) : store_(&store), clock_(&clock) {}

#define TT_LOCKED std::lock_guard<CriticalSection> guard(lock_)

void CToolbarSettings::Load(bool paramsOnly) {
    TT_LOCKED;
    LoadLocked(paramsOnly);
}

void CToolbarSettings::Save(bool paramsOnly) {
    TT_LOCKED;
    SaveLocked(paramsOnly);
}

void CToolbarSettings::LoadLocked(bool paramsOnly) {
    std::u16string path = SettingsKeyPath();
    std::unique_ptr<IKey> key;
    if (!path.empty()) {
        key = store_->OpenKey(path, KeyAccess::All);
        // A key the user may read but not fully control is read all the same: reading nothing
        // would have the Save below replace the stored settings with empty ones.
        if (!key) key = store_->OpenKey(path, KeyAccess::Read);
    }
    if (!key) {
        firstRun_ = true;
        updateCheckDue_ = true;
        // This is the process's evaluation: the key the Save below creates must not turn it
        // into a "not first run, not due" at the next window's Load.
        if (!paramsOnly) loadedOnce_ = true;
    } else {
        if (!paramsOnly) {
            if (!loadedOnce_) {
                loadedOnce_ = true;
                uint32_t initialized = 0;
                if (!QueryDword(*key, kInitialized, &initialized)) {
                    firstRun_ = true;
                    updateCheckDue_ = true;
                } else {
                    firstRun_ = false;
                    uint32_t lastExecute = 0;
                    if (!QueryDword(*key, kLastExecute, &lastExecute))
                        updateCheckDue_ = true;
                    else
                        updateCheckDue_ = MakeRunStamp(clock_->Now()) > lastExecute + kStampDayStep;
                }
            }
            std::u16string version;
            // A version set here and not written yet is newer than the stored one.
            if (!noCheckVersionUnsaved_ && QueryString(*key, kNoCheckVersion, &version))
                noCheckVersion_ = version;
            uint32_t enableAsDefault = 0;
            if (QueryDword(*key, kEnableAsDefault, &enableAsDefault)) enableAsDefault_ = enableAsDefault;

            // A subkey that cannot be read leaves the map as it was.
            if (auto sites = OpenForReading(*key, kEnableSites)) {
                enableSites_.clear();
                std::vector<KeyValue> improper;
                KeyValue value;
                for (uint32_t i = 0; sites->EnumValue(i, &value); ++i) {
                    const bool flag = FlagFromBytes(value.data);
                    enableSites_[value.name] = flag;
                    std::vector<uint8_t> proper = DwordValueBytes(flag ? 1 : 0);
                    if (value.type != kRegDword || value.data != proper)
                        improper.push_back({value.name, kRegDword, std::move(proper)});
                }
                WriteBack(*sites, improper);
            }
        }
        if (auto params = OpenForReading(*key, kParameters)) {
            // Names and texts are read whole, whatever their length.
            parameters_.clear();
            std::vector<KeyValue> improper;
            KeyValue value;
            for (uint32_t i = 0; params->EnumValue(i, &value); ++i) {
                std::u16string text = TextFromValueBytes(value.data);
                std::vector<uint8_t> proper = TextValueBytes(text);
                if (value.type != kRegSz || value.data != proper)
                    improper.push_back({value.name, kRegSz, std::move(proper)});
                parameters_[value.name] = std::move(text);
            }
            WriteBack(*params, improper);
        }
        key.reset();
    }
    // Another thread may be between its Set calls and its Save: what it set stays.
    for (const auto& entry : unsaved_) parameters_[entry.first] = entry.second;
    for (auto it = defaults_.begin(); it != defaults_.end();) {
        if (parameters_.emplace(*it, std::u16string()).second)
            ++it;
        else
            it = defaults_.erase(it);  // stored meanwhile
    }
    SaveLocked(false);
}

void CToolbarSettings::SaveLocked(bool paramsOnly) {
    auto key = OpenOrCreateSettingsKey(*store_);
    if (!key) return;
    // What this process did not change is written only where the store lacks it (or holds it
    // in another form): the store may hold another process's newer values. Nothing is deleted.
    if (!paramsOnly) {
        SetDword(*key, kInitialized, 1);
        SetDword(*key, kLastExecute, MakeRunStamp(clock_->Now()));
        uint32_t type = 0;
        std::vector<uint8_t> data;
        const bool text =
            key->QueryValue(kNoCheckVersion, &type, &data) && (type == kRegSz || type == kRegExpandSz);
        if (noCheckVersionUnsaved_ || !text) {
            if (SetString(*key, kNoCheckVersion, noCheckVersion_)) noCheckVersionUnsaved_ = false;
        } else {
            std::u16string stored = TextFromValueBytes(data);
            if (type != kRegSz || data != TextValueBytes(stored)) SetString(*key, kNoCheckVersion, stored);
        }
        uint32_t enableAsDefault = 0;
        if (!QueryDword(*key, kEnableAsDefault, &enableAsDefault))
            SetDword(*key, kEnableAsDefault, enableAsDefault_);
        key->CreateSubkey(kEnableSites);
    }
    // Written in place, never deleted first: another window or process that reads the subkey
    // meanwhile finds the settings, not an empty or half-written key.
    if (auto params = key->CreateSubkey(kParameters)) {
        for (auto it = unsaved_.begin(); it != unsaved_.end();) {
            if (SetString(*params, it->first, it->second))
                it = unsaved_.erase(it);
            else
                ++it;
        }
        for (auto it = defaults_.begin(); it != defaults_.end();) {
            uint32_t type = 0;
            std::vector<uint8_t> data;
            if (params->QueryValue(*it, &type, &data)) {
                parameters_[*it] = TextFromValueBytes(data);  // stored by another process since
                it = defaults_.erase(it);
            } else if (SetString(*params, *it, parameters_[*it])) {
                it = defaults_.erase(it);
            } else {
                ++it;
            }
        }
        params->Flush();
    }
    key->Flush();
}

std::u16string CToolbarSettings::Get(const std::u16string& name) {
    TT_LOCKED;
    auto added = parameters_.emplace(name, std::u16string());
    if (added.second) defaults_.insert(name);
    return added.first->second;
}

bool CToolbarSettings::GetBool(const std::u16string& name) {
    TT_LOCKED;
    return Get(name) == u"Yes";
}

void CToolbarSettings::Set(const std::u16string& name, const std::u16string& text) {
    TT_LOCKED;
    parameters_[name] = text;
    unsaved_[name] = text;
    defaults_.erase(name);
}

std::u16string CToolbarSettings::GetServerUrl() { return Get(u"TavelleUrl"); }

bool CToolbarSettings::FirstRun() {
    TT_LOCKED;
    return firstRun_;
}

void CToolbarSettings::SetFirstRun(bool value) {
    TT_LOCKED;
    firstRun_ = value;
}

bool CToolbarSettings::TakeFirstRun() {
    TT_LOCKED;
    bool was = firstRun_;
    firstRun_ = false;
    return was;
}

bool CToolbarSettings::UpdateCheckDue() {
    TT_LOCKED;
    return updateCheckDue_;
}

bool CToolbarSettings::LoadedOnce() {
    TT_LOCKED;
    return loadedOnce_;
}

std::u16string CToolbarSettings::NoCheckVersion() {
    TT_LOCKED;
    return noCheckVersion_;
}

void CToolbarSettings::SetNoCheckVersion(const std::u16string& version) {
    TT_LOCKED;
    noCheckVersion_ = version;
    noCheckVersionUnsaved_ = true;
}

bool CToolbarSettings::TabsAvailable() {
    TT_LOCKED;
    return tabsAvailable_;
}

void CToolbarSettings::SetTabsAvailable(bool value) {
    TT_LOCKED;
    tabsAvailable_ = value;
}

uint32_t CToolbarSettings::EnableAsDefault() {
    TT_LOCKED;
    return enableAsDefault_;
}

NameMap<bool> CToolbarSettings::EnableSites() {
    TT_LOCKED;
    return enableSites_;
}

NameMap<std::u16string> CToolbarSettings::Parameters() {
    TT_LOCKED;
    return parameters_;
}

void CToolbarSettings::Reset() {
    TT_LOCKED;
    parameters_.clear();
    unsaved_.clear();
    defaults_.clear();
    enableAsDefault_ = 1;
    enableSites_.clear();
    noCheckVersion_.clear();
    noCheckVersionUnsaved_ = false;
    tabsAvailable_ = false;
    firstRun_ = false;
    updateCheckDue_ = false;
    loadedOnce_ = false;
}

#undef TT_LOCKED

}  // namespace tt
