// packer/pack.h: writing a level-0 archive of files, the packer's work. Paths
// are the system's (host/packer_files.h); member names are the files' base
// names in code page 932, checked by the installer's own name rules.
#pragma once

#include "lha/pack_member.h"

// Takes SOURCE_DATE_EPOCH, when it is set and not empty: no time stamp is
// later, and stamps are taken in UTC. False when it is not a number of
// seconds from 1970 to the end of 2107.
bool take_source_date_epoch();

// Adds a file, or the files directly in a folder sorted by name, as
// members. False, after the line of the refusal, for a name the installer
// would refuse or Windows would change or lose, a name that Windows takes
// for an earlier member's, a folder inside a folder, anything but a regular
// file, and a file of 16 MiB or more.
bool add_to_pack(const char* path);
int packed_member_count();

// Writes the members added into `archive`, under a name of its own beside
// it, and moves the result over it. False, after the line of the failure,
// when `archive` is a folder or one of the members' files, or a file cannot
// be read or written; the old archive is then left as it was. `quiet`: no
// line per member.
bool write_pack(const char* archive, PackMethod method, bool quiet);
