#include "support/clock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

namespace tt {
namespace {

class CSystemClock final : public IClock {
public:
    LocalTime Now() override {
        LocalTime t;
#ifdef _WIN32
        SYSTEMTIME st{};
        GetLocalTime(&st);
        t.year = st.wYear;
        t.month = st.wMonth;
        t.day = st.wDay;
        t.hour = st.wHour;
        t.minute = st.wMinute;
        t.second = st.wSecond;
#else
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        t.year = tm.tm_year + 1900;
        t.month = tm.tm_mon + 1;
        t.day = tm.tm_mday;
        t.hour = tm.tm_hour;
        t.minute = tm.tm_min;
        t.second = tm.tm_sec;
#endif
        return t;
    }
};

}  // namespace

IClock& SystemClock() {
    static CSystemClock clock;
    return clock;
}

}  // namespace tt
