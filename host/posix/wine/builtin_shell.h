// host/posix/wine/builtin_shell.h: the command interpreter that runs a command
// line when no COMSPEC program does, playing the part of the Windows one
// for the commands the installer gives.
//
// The first word of the line names the command, in any letter case; blanks
// and tabs separate the words; a pair of double quotes groups blanks into
// one word and is itself dropped. Paths are Windows paths (host/files.h).
//
//   mkdir | md path...       creates each folder, one level: an existing
//                            level or a missing parent gets a complaint.
//                            "c:" alone creates drive_c in a fresh prefix.
//   deltree /y pattern...    deletes every file and folder tree in the
//                            pattern's folder whose name matches its last
//                            component (DOS wildcards, any letter case);
//                            never follows a link, never leaves the folder.
//   write file               shows the file: through $PAGER (else less)
//                            when standard output is a terminal, on the
//                            console otherwise.
//
// A complaint goes to standard error, after everything the console holds,
// in the words of Wine's cmd.exe and in the language of the user's locale
// for messages (Japanese under a Japanese one, English otherwise),
// converted as the console is; `write` shows the file on the console.
#pragma once

// Runs one command line of code page 932 bytes. Returns 0 when the command
// did its work (a deltree that matched nothing included), else 1.
int run_builtin_shell(const char* command_line);
