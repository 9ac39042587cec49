// shared/buffers.h: the state that the installer and the archive reader
// share: the buffers that the installer owns for the whole run and that the
// other steps read (the install directory above all), and the one composer
// of paths and command lines.
//
// Every buffer holds at most LINE_SIZE - 1 bytes of text and a NUL. All of
// them start as zero bytes. Text is code page 932 bytes throughout.
#pragma once

#include <cstddef>
#include <cstdio>
#include <initializer_list>

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
// reported it; the run then ends with exit code 1.
extern bool installation_failed;

// The one way every path and command line is composed: copies `pieces`
// one after another into `out`, which holds `capacity` bytes, NUL
// included. Returns false when they do not fit; `out` then holds an empty
// string and nothing beyond its capacity is touched. No piece may lie in
// `out`.
bool compose(char* out, size_t capacity, std::initializer_list<const char*> pieces);
