// host/win32/kernel/mount_table.h: the Unix mount points between two
// entries, under Wine.
//
// Wine shows a Unix mount point whose device differs from its folder's as
// a reparse point, but a bind mount of a folder of the same device as a
// plain folder, and its final path as its own: only the mount table tells
// it. Under Wine the host reads the process's Unix mount table itself and
// asks Wine for the Windows path of each mount point, through Wine's own
// kernel32 call. On Windows there is no such call, and no such mount.
#pragma once

#include "host/win32/kernel/base.h"

// Whether a Unix mount point lies below the folder `base_final` and at or
// above the entry `target_final` (final paths). Only under Wine on a
// system with a mount table; a table that cannot be read in full counts as
// a crossing. Asked only where final_paths_known (host/win32/kernel/base.h).
bool crosses_mount(const wchar_t* base_final, const wchar_t* target_final);

// Reading the table once for many checks: from hold_mount_table() to
// release_mount_table(), crosses_mount goes by the table as it was at the
// first check after the hold, instead of reading it for every check. Holds
// nest.
void hold_mount_table();
void release_mount_table();
