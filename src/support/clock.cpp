#include "support/clock.h"

namespace tt {
namespace {

class CSystemClock final : public IClock {
public:
    LocalTime Now() override { return PlatformLocalTime(); }
};

}  // namespace

IClock& SystemClock() {
    static CSystemClock clock;
    return clock;
}

}  // namespace tt
