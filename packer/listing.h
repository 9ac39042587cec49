// packer/listing.h: ymw-pack -l and -t, the lines of a listing and of a
// test of an LHA archive of any header level (lha/pack/archive_check.h).
#pragma once

enum ArchiveCheck {
    CHECK_LIST,  // each member's sizes, ratio, method, CRC, time and name, a total line, the notes
    CHECK_TEST,  // each member decoded and its CRC compared
};

// Lists or tests the archive at `path` (a system path), on standard output
// and, for what is wrong, standard error. True when the archive was read to
// its end marker, and for a test when every member is intact and one the
// installer can extract.
bool check_archive(const char* path, ArchiveCheck mode, bool quiet);
