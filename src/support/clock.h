#pragma once

namespace tt {

// Local wall-clock time, as GetLocalTime reports it.
struct LocalTime {
    int year = 0;
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;
};

// Injectable so the run bookkeeping and the appointment display can be tested at any date.
class IClock {
public:
    virtual ~IClock() = default;
    virtual LocalTime Now() = 0;
};

// The real local clock of this platform.
IClock& SystemClock();
// What it reads: GetLocalTime on Windows, localtime_r elsewhere.
LocalTime PlatformLocalTime();

}  // namespace tt
