#pragma once
// A clock that says what the test sets.
#include "support/clock.h"

namespace tt::testing {

class FakeClock final : public IClock {
public:
    FakeClock() = default;
    explicit FakeClock(const LocalTime& t) : now(t) {}

    LocalTime now;
    LocalTime Now() override { return now; }
    void Set(int year, int month, int day, int hour, int minute = 0) {
        now = LocalTime{};
        now.year = year;
        now.month = month;
        now.day = day;
        now.hour = hour;
        now.minute = minute;
    }
};

}  // namespace tt::testing
