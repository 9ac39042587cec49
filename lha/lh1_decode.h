// lha/lh1_decode.h: the -lh1- sliding-window decoder.
#pragma once

// Decodes the current member (member_header.unpacked_size bytes) from the
// archive stream into put_output_byte.
void decode_lh1();
