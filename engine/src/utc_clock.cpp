// The system clock as UTC calendar fields.
#include "reductions.h"

namespace trimcore::astro {

UtcTime UtcTimeAt(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    // The system clock counts UTC seconds without leap seconds, so the
    // calendar follows from whole days since 1970 and the time of day.
    const auto ms = floor<milliseconds>(t);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> time{ms - day};
    return {int(date.year()),
            int(unsigned(date.month())),
            int(unsigned(date.day())),
            int(time.hours().count()),
            int(time.minutes().count()),
            int(time.seconds().count()),
            int(time.subseconds().count())};
}

UtcTime UtcTimeNow() {
    return UtcTimeAt(std::chrono::system_clock::now());
}

}  // namespace trimcore::astro
