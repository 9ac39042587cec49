// installer/buffers.cpp: storage for the installer's shared buffers.
#include "installer/buffers.h"

char answer_line[LINE_SIZE];
char install_directory[LINE_SIZE];
char path_buffer[LINE_SIZE];
char command_line[LINE_SIZE];
char name_option[LINE_SIZE];
char color_option[LINE_SIZE];
char number_pad_option[LINE_SIZE];
FILE* file_slot;
