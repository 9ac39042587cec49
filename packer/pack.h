// packer/pack.h: writing a level-0 archive of files, the packer's work. Paths
// are the system's (host/packer_files.h); member names are the files' base
// names in code page 932 (host/packer_names.h), checked by the installer's
// own name rules.
#pragma once

#include "lha/pack/pack_member.h"

// Takes SOURCE_DATE_EPOCH, when it is set and not empty: no time stamp is
// later, and stamps are taken in UTC. False when it is not a number of
// seconds from 1970 to the end of 2107.
bool take_source_date_epoch();

// Checks every member that the `count` files and folders of `inputs` give
// (a file, or the files directly in a folder sorted by name) before any
// is read, as write_pack checks them again: false, after the line of the
// refusal, for a name the installer would refuse or Windows would change
// or lose, a name that Windows takes for an earlier member's or for a file
// the installer writes itself, a folder inside a folder, anything but a
// regular file, a file larger than MAX_MEMBER_SIZE, more than MAX_MEMBER_NAMES
// files (packer/member_names.h), the archive `archive` among them, and an
// `archive` that is a folder. The inputs are kept for write_pack.
bool check_pack(const char* archive, char* const* inputs, int count);
// How many members check_pack found.
int packed_member_count();

// Writes the members of the inputs into `archive`, under a name of its own
// beside it, and moves the result over it. False, after the line of the
// failure, when a member is refused now or a file cannot be read or
// written; the old archive is then left as it was. `quiet`: no line per
// member. Memory does not grow with the number of members.
bool write_pack(const char* archive, PackMethod method, bool quiet);
