#pragma once

// The local date and time of one moment, down to the millisecond: what the log stamps its lines
// with and what the filer names its records after.
struct LocalTime {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Now, in the machine's time zone.
LocalTime LocalTimeNow();
