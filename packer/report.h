// packer/report.h: the one way the packer reports a refusal or a failure:
// one line on standard error, "ymw-pack: " and the text.
#pragma once

void pack_failure(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The line of a call of the system that failed: what could not be done to
// which file, and the system's reason (host/packer_files.h). Called at
// once after the failure.
void pack_system_failure(const char* action, const char* what);
