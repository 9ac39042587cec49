// tests/shared/sjis_test.cpp: Shift_JIS text joined across the pieces it
// arrives in, as both consoles join it.
#include "shared/sjis.h"

#include <string>

#include <gtest/gtest.h>

TEST(JoinSjisPiece, HoldsALeadByteThatEndsAPieceForTheNext)
{
    const struct {
        bool holding;       // whether a lead byte (0x83) waits before the piece
        std::string piece;
        std::string whole;  // the joined bytes that are whole characters
        bool held;          // whether a lead byte waits after the piece
    } cases[] = {
        {false, "abc", "abc", false},
        {false, "a\xe0", "a", true},
        {true, "\x5c" "b", "\x83\x5c" "b", false},
        {true, "", "", true},
        {false, "\x83", "", true},
        {true, "\x83", "\x83\x83", false},
        {false, "\x83\x5c\x83", "\x83\x5c", true},
        // A lead byte before a byte that cannot follow it stands alone.
        {true, " x", "\x83 x", false},
        {false, "\x83 ", "\x83 ", false},
        // A lead byte that is the second byte of a pair waits for nothing.
        {false, "\x83\x83", "\x83\x83", false},
    };
    for (const auto& c : cases) {
        SjisPieces pieces = {'\x83', c.holding};
        char joined[16];
        const size_t whole = join_sjis_piece(pieces, c.piece.data(), c.piece.size(), joined);
        EXPECT_EQ(std::string(joined, whole), c.whole) << c.piece;
        EXPECT_EQ(pieces.holding, c.held) << c.piece;
        const std::string all = (c.holding ? "\x83" : "") + c.piece;
        if (c.held)
            EXPECT_EQ(pieces.lead, all.back()) << c.piece;
    }
}
