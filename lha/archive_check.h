// lha/archive_check.h: listing and testing a level-0 archive through the
// installer's own reader and decoder.
#pragma once

enum ArchiveCheck {
    CHECK_LIST,  // each member's sizes, ratio, method, CRC and name (UTF-8), a total line
    CHECK_TEST,  // each member decoded and its CRC compared
};

// Lists or tests every member of the archive at `path` (a system path) on
// standard output. False, after a line naming the member, at a damaged
// header, an unknown method, an archive that ends inside a member or
// (testing) a CRC that does not match. `quiet`: a test prints nothing but
// its failure.
bool check_archive(const char* path, ArchiveCheck mode, bool quiet);
