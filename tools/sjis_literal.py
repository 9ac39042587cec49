#!/usr/bin/env python3
"""Prints a C++ string literal holding the code page 932 bytes of a text.

The installer's Japanese texts are kept in the sources as such literals,
with the text itself in a comment beside them, so that the bytes do not
depend on the compiler's execution character set:

    tools/sjis_literal.py 'インストールを終了しました。\\n'

Backslash escapes in the argument (\\n, \\t, \\\\, \\") are taken as in C.
ASCII stays readable; every other byte becomes \\xNN, and a literal is split
where a hex escape would otherwise swallow the next character.
"""
import sys


def unescape(text):
    """Takes \\n, \\t, \\\\ and \\" as in C; any other character stands."""
    escapes = {'n': '\n', 't': '\t', '\\': '\\', '"': '"'}
    out = []
    i = 0
    while i < len(text):
        if text[i] == '\\' and i + 1 < len(text) and text[i + 1] in escapes:
            out.append(escapes[text[i + 1]])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return ''.join(out)


def literal(text):
    data = unescape(text).encode('cp932')
    out = []
    last_hex = False
    trail = False
    for b in data:
        ch = chr(b)
        lead = not trail and (0x81 <= b <= 0x9F or 0xE0 <= b <= 0xFC)
        if lead or trail or b >= 0x80 or b < 0x20 and ch not in '\n\t':
            trail = lead
            out.append('\\x%02x' % b)
            last_hex = True
            continue
        if last_hex and ch in '0123456789abcdefABCDEF':
            out.append('" "')
        last_hex = False
        out.append({'\n': '\\n', '\t': '\\t', '\\': '\\\\', '"': '\\"'}.get(ch, ch))
    return '"' + ''.join(out) + '"'


if __name__ == '__main__':
    for arg in sys.argv[1:]:
        print(literal(arg))
