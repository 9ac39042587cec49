// host/portable/folder_tree.h: deleting entries of one folder, each with everything
// below it, for deltree (host/portable/deltree.h).
#pragma once

// Deletes every entry of the folder `folder` (a Windows path) whose name,
// in code page 932, matches `name_pattern` (matches_dos_pattern): a file,
// a link, or a folder with everything below it. A link, to a folder or
// not, is removed and never followed. An absent folder matches nothing.
// Returns how many matching entries could not be deleted entirely.
int remove_matching_entries(const char* folder, const char* name_pattern);
