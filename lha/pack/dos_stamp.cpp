// lha/pack/dos_stamp.cpp: MS-DOS time stamps made and taken apart. No
// state.
#include "lha/pack/dos_stamp.h"

uint32_t dos_stamp(const DosTime& time)
{
    if (time.year < DOS_FIRST_YEAR)
        return (1u << 5 | 1u) << 16;  // 1980-01-01 00:00:00, the first stamp there is
    if (time.year > DOS_LAST_YEAR)
        return (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u);
    const uint32_t date = static_cast<uint32_t>((time.year - DOS_FIRST_YEAR) << 9 | time.month << 5 | time.day);
    const uint32_t time_of_day = static_cast<uint32_t>(time.hour << 11 | time.minute << 5 | time.second / 2);
    return date << 16 | time_of_day;
}

DosTime dos_time(uint32_t stamp)
{
    const uint32_t date = stamp >> 16;
    const uint32_t time_of_day = stamp & 0xFFFF;
    return DosTime{DOS_FIRST_YEAR + static_cast<int>(date >> 9), static_cast<int>((date >> 5) & 15),
                   static_cast<int>(date & 31),                 static_cast<int>(time_of_day >> 11),
                   static_cast<int>((time_of_day >> 5) & 63),   static_cast<int>((time_of_day & 31) * 2)};
}
