// shared/messages.h: the console texts that both the installer and the
// archive reader print, in code page 932 bytes, the comment above each
// showing it.
#pragma once

// リターンキーを押してください。
constexpr char MSG_PRESS_RETURN[] =
    "\x83\x8a\x83\x5e\x81\x5b\x83\x93\x83\x4c\x81\x5b\x82\xf0\x89\x9f\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42";
