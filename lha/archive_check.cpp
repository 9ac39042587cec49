// lha/archive_check.cpp: listing and testing an archive as the installer
// reads it, through its reader and decoder: ymw-pack -l and -t.
//
// This file keeps no state of its own: the archive stream, the output
// (here written nowhere) and the current header are the reader's.
#include "lha/archive_check.h"

#include <cstdio>
#include <cstring>

#include "host/source_files.h"
#include "lha/extract.h"
#include "lha/header.h"
#include "lha/pack.h"
#include "lha/stream.h"

namespace {

// The member's name in UTF-8, for a line.
const char* shown_name()
{
    static char shown[4 * (HEADER_MAX_BODY + 1)];
    if (cp932_to_source_name(member_header.name, strlen(member_header.name), shown, sizeof shown) < 0)
        strcpy(shown, "?");
    return shown;
}

}  // namespace

// Lists or tests every member of an archive. A damaged header, an unknown
// method, an archive that ends inside a member and (testing) a CRC that
// does not match, or a name the installer refuses to create, end the walk
// with exit code 1 and a line naming the member.
bool check_archive(const char* archive_path, ArchiveCheck mode, bool quiet)
{
    SourceInfo source;
    FILE* file = open_source_file(archive_path, &source);
    if (file == nullptr) {
        pack_failure("%s: %s", source.kind == SOURCE_ABSENT ? "cannot read" : "not a regular file", archive_path);
        return false;
    }
    take_archive_stream(file);
    if (mode == CHECK_LIST)
        printf("%10s %10s %6s  %-5s  %-4s  %s\n", "size", "packed", "ratio", "method", "crc", "name");
    uint64_t total_size = 0;
    uint64_t total_packed = 0;
    int count = 0;
    bool intact_archive = true;
    for (;;) {
        const HeaderResult result = read_member_header();
        if (result != HEADER_READ) {
            if (result != HEADER_END) {
                pack_failure("%s: %s after %d members", archive_path,
                        result == HEADER_BAD_SUM ? "header checksum error" : "damaged header", count);
                intact_archive = false;
            }
            break;
        }
        const MemberHeader& h = member_header;
        const char method[METHOD_ID_SIZE + 1] = {h.method[0], h.method[1], h.method[2], h.method[3], h.method[4], 0};
        if (!is_stored_member() && !is_lh1_member()) {
            pack_failure("%s: %s: unknown method %s", archive_path, shown_name(), method);
            intact_archive = false;
            break;
        }
        bool intact = true;
        if (mode == CHECK_LIST) {
            skip_member_data();
        } else {
            bool known_method = true;
            open_output_discard();
            intact = unpack_member(&known_method);
            close_output_file();
        }
        if (archive_stream.past_end > 0) {
            pack_failure("%s: %s: the archive ends inside this member", archive_path, shown_name());
            intact_archive = false;
            break;
        }
        if (!intact) {
            pack_failure("%s: %s: CRC mismatch, the member is damaged", archive_path, shown_name());
            intact_archive = false;
            break;
        }
        if (mode == CHECK_TEST && !is_safe_member_name(h.name)) {
            pack_failure("%s: %s: a name that the installer refuses to create", archive_path, shown_name());
            intact_archive = false;
            break;
        }
        count++;
        total_size += h.unpacked_size;
        total_packed += h.packed_size;
        if (mode == CHECK_LIST) {
            const double ratio = h.unpacked_size == 0 ? 100.0 : 100.0 * h.packed_size / h.unpacked_size;
            printf("%10u %10u %5.1f%%  %s  %04x  %s\n", h.unpacked_size, h.packed_size, ratio, method, h.crc,
                   shown_name());
        } else if (!quiet) {
            printf("%s  OK\n", shown_name());
        }
    }
    close_archive_stream();
    if (intact_archive && mode == CHECK_LIST) {
        const double ratio =
            total_size == 0 ? 100.0 : 100.0 * static_cast<double>(total_packed) / static_cast<double>(total_size);
        printf("%10llu %10llu %5.1f%%  %d member%s\n", static_cast<unsigned long long>(total_size),
               static_cast<unsigned long long>(total_packed), ratio, count, count == 1 ? "" : "s");
    } else if (intact_archive && !quiet) {
        printf("%s: %d member%s OK\n", archive_path, count, count == 1 ? "" : "s");
    }
    return intact_archive;
}

