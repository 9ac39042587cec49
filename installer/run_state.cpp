// installer/run_state.cpp: storage for the installer's run state, and the
// one way a step reports that part of the installation failed.
#include "installer/run_state.h"

#include <cstdarg>

#include "host/console.h"

char answer_line[LINE_SIZE];
char install_directory[LINE_SIZE];
char path_buffer[LINE_SIZE];
char command_line[LINE_SIZE];
char name_option[LINE_SIZE];
char color_option[LINE_SIZE];
char number_pad_option[LINE_SIZE];
FILE* file_slot;
bool installation_failed;

void report_failure(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    console_vprintf(format, arguments);
    va_end(arguments);
    installation_failed = true;
}
