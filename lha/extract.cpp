#include "lha/extract.h"
// Temporary.
MemberHeader member_header;
void extract_archive(const char*, const char*) {}
