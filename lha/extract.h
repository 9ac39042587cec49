// lha/extract.h: the members of an archive of level-0 headers, one at a
// time: which a pattern selects, whose name may be created, and each put
// out into the output file (lha/stream.h) or skipped. Prints nothing.
//
// An archive is a sequence of members, each a level-0 header followed at
// once by its packed data, ended by a single byte 0. It is read strictly
// forward: skipping is reading.
#pragma once

#include "lha/header.h"

// Whether `pattern` selects the member `name`: "*" and "*.*" select every
// member; any other pattern is a name, compared ignoring ASCII case.
bool is_member_selected(const char* pattern, const char* name);

// Whether a member's name stays inside the install directory and names a
// file: no drive, no leading separator, no ".." component (nor one that may
// become ".."), no device name, no separator at the end (which would write
// a file under the folder's name). The installer creates no other member.
bool is_safe_member_name(const char* name);

// Skips the packed data of the member `member` in the archive stream.
void skip_member_data(const MemberFacts& member);

// Puts the member `member`, whose packed data the archive stream stands
// at, out into the output file: stored data copied, -lh1- data decoded,
// the data of any other method skipped, which *known_method then tells.
// Returns whether the CRC of what was put out matches the member's.
bool unpack_member(const MemberFacts& member, bool* known_method);
