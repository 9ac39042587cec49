// installer/run_state.h: the state of the installer's run: the buffers it
// owns for the whole run and that its steps read (the install directory
// above all), and whether the installation failed.
//
// Every buffer holds at most LINE_SIZE - 1 bytes of text and a NUL. All of
// them start as zero bytes. Text is code page 932 bytes throughout.
#pragma once

#include <cstddef>
#include <cstdio>

#include "shared/compose.h"

constexpr size_t LINE_SIZE = 256;

// The last line read from the console, without its line feed.
extern char answer_line[LINE_SIZE];
// Where the game goes; set once after the first question, always ending in
// a backslash, never changed afterwards.
extern char install_directory[LINE_SIZE];
// Scratch: the install directory followed by a bare file name.
extern char path_buffer[LINE_SIZE];
// One command line for run_command.
extern char command_line[LINE_SIZE];
// "name:<first word of the name answer>," or empty.
extern char name_option[LINE_SIZE];
// Always "color" once the settings are made.
extern char color_option[LINE_SIZE];
// Always "nonumber_pad" once the settings are made.
extern char number_pad_option[LINE_SIZE];
// The one open-file handle that the probe and the file writers use in turn.
extern FILE* file_slot;
// Something of the installation failed: a member that could not be
// created or written, an unknown method, a CRC mismatch, a damaged header
// before the end marker, a text file not written. Set by the step that
// reported it (report_failure); the run then ends with exit code 1.
extern bool installation_failed;

// The one way a step reports that part of the installation failed: prints
// the line (as console_printf does) and marks the run incomplete, so that
// it ends with exit code 1.
void report_failure(const char* format, ...) __attribute__((format(printf, 1, 2)));
