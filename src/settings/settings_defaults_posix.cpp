// The settings' platform defaults of the native builds, which run the tests: an in-memory key
// store and the user-bound stand-in for data protection.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "settings/key_store_memory.h"
#include "settings/user_bound_protector.h"

namespace tt {

IKeyStore& DefaultKeyStore() {
    static CMemoryKeyStore store;
    return store;
}

IDataProtector& DefaultProtector() {
    static CUserBoundProtector protector([] {
        // The login name, falling back to the numeric user id.
        std::u16string user;
        const char* name = std::getenv("USER");
        std::string id = name && *name ? std::string(name) : "uid:" + std::to_string(getuid());
        for (char c : id) user.push_back(static_cast<unsigned char>(c));
        return user;
    }());
    return protector;
}

}  // namespace tt
