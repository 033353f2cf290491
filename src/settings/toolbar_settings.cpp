#include "settings/toolbar_settings.h"

#include <memory>

#include "settings/key_store.h"

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

}  // namespace

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
        // Nothing was read: the Save below adds to whatever the store holds.
        parametersRead_ = false;
        if (!paramsOnly) enableSitesRead_ = false;
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
            if (QueryString(*key, kNoCheckVersion, &version)) noCheckVersion_ = version;
            uint32_t enableAsDefault = 0;
            if (QueryDword(*key, kEnableAsDefault, &enableAsDefault)) enableAsDefault_ = enableAsDefault;

            // A subkey that cannot be read leaves the map as it was.
            enableSitesRead_ = false;
            if (auto sites = OpenForReading(*key, kEnableSites)) {
                enableSites_.clear();
                KeyValue value;
                for (uint32_t i = 0; sites->EnumValue(i, &value); ++i)
                    enableSites_[value.name] = FlagFromBytes(value.data);
                enableSitesRead_ = true;
            }
        }
        parametersRead_ = false;
        if (auto params = OpenForReading(*key, kParameters)) {
            // Names and texts are read whole, whatever their length, so the Save below
            // writes back everything it found.
            parameters_.clear();
            KeyValue value;
            for (uint32_t i = 0; params->EnumValue(i, &value); ++i)
                parameters_[value.name] = TextFromValueBytes(value.data);
            parametersRead_ = true;
        }
        key.reset();
    }
    SaveLocked(false);
}

void CToolbarSettings::SaveLocked(bool paramsOnly) {
    auto key = OpenOrCreateSettingsKey(*store_);
    if (!key) return;
    if (!paramsOnly) {
        SetDword(*key, kInitialized, 1);
        SetDword(*key, kLastExecute, MakeRunStamp(clock_->Now()));
        SetString(*key, kNoCheckVersion, noCheckVersion_);
        SetDword(*key, kEnableAsDefault, enableAsDefault_);
        std::vector<KeyValue> sites;
        for (const auto& site : enableSites_)
            sites.push_back({site.first, kRegDword, DwordValueBytes(site.second ? 1 : 0)});
        RewriteSubkey(*key, kEnableSites, sites, enableSitesRead_);
    }
    // The subkey is rewritten in place, never deleted first: another window or process that
    // reads it meanwhile finds the settings, not an empty or half-written key.
    std::vector<KeyValue> params;
    for (const auto& entry : parameters_)
        params.push_back({entry.first, kRegSz, TextValueBytes(entry.second)});
    RewriteSubkey(*key, kParameters, params, parametersRead_);
    key->Flush();
}

std::u16string CToolbarSettings::Get(const std::u16string& name) {
    TT_LOCKED;
    return parameters_[name];  // an absent name is added with an empty text
}

bool CToolbarSettings::GetBool(const std::u16string& name) {
    TT_LOCKED;
    return Get(name) == u"Yes";
}

void CToolbarSettings::Set(const std::u16string& name, const std::u16string& text) {
    TT_LOCKED;
    parameters_[name] = text;
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

std::map<std::u16string, bool> CToolbarSettings::EnableSites() {
    TT_LOCKED;
    return enableSites_;
}

std::map<std::u16string, std::u16string> CToolbarSettings::Parameters() {
    TT_LOCKED;
    return parameters_;
}

void CToolbarSettings::Reset() {
    TT_LOCKED;
    parameters_.clear();
    enableAsDefault_ = 1;
    enableSites_.clear();
    noCheckVersion_.clear();
    tabsAvailable_ = false;
    firstRun_ = false;
    updateCheckDue_ = false;
    loadedOnce_ = false;
    parametersRead_ = false;
    enableSitesRead_ = false;
}

#undef TT_LOCKED

}  // namespace tt
