// packer/member_names.h: the names of one archive's members as Windows
// compares them (host/packer_names.h), remembered so that two which name
// one file are found at any count; and the files that the installer writes
// itself over a member.
#pragma once

// The most members whose names are remembered: of an archive packed, and
// of one listed or tested.
constexpr int MAX_MEMBER_NAMES = 1 << 17;

// Forgets every name.
void forget_member_names();

enum NameMemory {
    NAME_NEW,      // no member had the name before
    NAME_TWIN,     // an earlier member had it, in this spelling or another
    NAME_NO_KEY,   // not code page 932, or too long to compare: not remembered
    NAME_NO_ROOM,  // MAX_MEMBER_NAMES names, or their text, fill the room: not remembered
};

// Remembers `name` (code page 932) as the name of member `index`. For
// NAME_TWIN, *earlier tells the member that had it last, and the name is
// now `index`'s.
NameMemory remember_member_name(const char* name, int index, int* earlier);

// The member that had `name`, in any spelling, last; -1 for none.
int member_named(const char* name);

// Whether the installer writes a file of its own after the extraction (the
// configuration file, the batch file) where Windows finds `name`.
bool is_installer_written(const char* name);
