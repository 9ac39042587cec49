#include "installer/config_file.h"
void write_config_file(const char*) {}
