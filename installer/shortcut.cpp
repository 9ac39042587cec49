#include "installer/shortcut.h"
int create_shortcut(int kind, const char*) { return kind == 1 || kind == 2 ? 0 : 1; }
