#include "lha/lh1_decode.h"
// Temporary: produces nothing.
void decode_lh1() {}
