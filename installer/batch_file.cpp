#include "installer/batch_file.h"
void write_batch_file(const char*) {}
