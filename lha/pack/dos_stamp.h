// lha/pack/dos_stamp.h: the MS-DOS time stamp of level-0 and level-1
// headers, both ways: made from a moment's calendar fields when a member
// is packed, taken apart for a listing. Local time, no zone.
//
//   bits 25-31  the year after 1980      bits 11-15  the hour
//   bits 21-24  the month, 1 to 12       bits 5-10   the minute
//   bits 16-20  the day, 1 to 31         bits 0-4    the second, halved
#pragma once

#include <cstdint>

// The years a stamp holds.
constexpr int DOS_FIRST_YEAR = 1980;
constexpr int DOS_LAST_YEAR = DOS_FIRST_YEAR + 127;

// Days from 1970-01-01 to the first day of `year` (1970 or later).
constexpr int64_t days_before_year(int year)
{
    const auto leap_years_to = [](int y) { return y / 4 - y / 100 + y / 400; };
    return int64_t{365} * (year - 1970) + leap_years_to(year - 1) - leap_years_to(1969);
}
// The last second that a stamp holds in seconds since 1970 UTC:
// 2107-12-31 23:59:59.
constexpr int64_t DOS_LAST_UNIX_TIME = days_before_year(DOS_LAST_YEAR + 1) * 86400 - 1;

// A moment by its calendar fields: month 1 to 12, day 1 to 31, hour 0 to
// 23, minute and second 0 to 59.
struct DosTime {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};

// The stamp of `time`: the date in the high 16 bits, the time of day in
// the low 16 bits, seconds halved. A moment before 1980 becomes 1980-01-01
// 00:00:00, one after 2107 the last moment of 2107: the years a stamp
// holds.
uint32_t dos_stamp(const DosTime& time);

// The calendar fields of `stamp`, its second even.
DosTime dos_time(uint32_t stamp);
