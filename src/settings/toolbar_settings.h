#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "support/clock.h"
#include "support/threads.h"

namespace tt {

class IKeyStore;

// Orders names as the registry compares them, letter case aside (ASCII letters): "TavelleURL"
// stored by hand is the entry "TavelleUrl".
struct NameLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const;
};
template <typename T>
using NameMap = std::map<std::u16string, T, NameLess>;

// The run stamp of a local time: ((year * 100 + month) * 100 + day) * 100 + hour.
uint32_t MakeRunStamp(const LocalTime& t);
// The run stamp of the current local time.
uint32_t MakeRunStamp();

// The settings record: a mirror of HKCU\Software\Tavelle\TavelleToolbar (string 502).
// One instance per process, theSettings, shared by every helper object, toolbar and dialog
// of the process on different threads and by the update check's worker thread: every member
// takes the object's lock, and callers receive copies.
// Other processes (IE windows, tab processes) keep their own copies of the same key, loaded at
// other times: a Save writes only what this process changed since, and adds what the store
// lacks, so no copy's save reverts or removes another's.
class CToolbarSettings {
public:
    CToolbarSettings();  // the platform's key store and clock
    CToolbarSettings(IKeyStore& store, IClock& clock);

    void Load(bool paramsOnly);
    void Save(bool paramsOnly);

    // Get of an absent name adds it with an empty text, which the next Save writes unless the
    // store has the name by then.
    std::u16string Get(const std::u16string& name);
    bool GetBool(const std::u16string& name);  // Get(name) is exactly "Yes"
    void Set(const std::u16string& name, const std::u16string& text);
    std::u16string GetServerUrl();  // Get("TavelleUrl")

    // Run bookkeeping (evaluated by the first Load(false) of the process).
    bool FirstRun();
    void SetFirstRun(bool value);
    // Clears firstRun and reports whether it was set, so one helper object acts on it.
    bool TakeFirstRun();
    bool UpdateCheckDue();
    bool LoadedOnce();
    std::u16string NoCheckVersion();
    void SetNoCheckVersion(const std::u16string& version);

    // The host browser has tabs; set by the band, never stored.
    bool TabsAvailable();
    void SetTabsAvailable(bool value);

    // Preserved values (read and written back, not otherwise used).
    uint32_t EnableAsDefault();
    NameMap<bool> EnableSites();

    // A copy of the parameters map (tests, diagnostics).
    NameMap<std::u16string> Parameters();

    IKeyStore& Store() { return *store_; }

    // Back to the state at construction, registry untouched (tests).
    void Reset();

private:
    void LoadLocked(bool paramsOnly);
    void SaveLocked(bool paramsOnly);

    CriticalSection lock_;
    IKeyStore* store_;
    IClock* clock_;
    NameMap<std::u16string> parameters_;
    // Set since they were last written: what a Save writes, and what a Load keeps over the
    // stored values it reads.
    NameMap<std::u16string> unsaved_;
    // Added empty by Get and not in the store yet.
    std::set<std::u16string, NameLess> defaults_;
    uint32_t enableAsDefault_ = 1;
    NameMap<bool> enableSites_;
    std::u16string noCheckVersion_;
    bool noCheckVersionUnsaved_ = false;
    bool tabsAvailable_ = false;
    bool firstRun_ = false;
    bool updateCheckDue_ = false;
    bool loadedOnce_ = false;
};

extern CToolbarSettings theSettings;

}  // namespace tt
