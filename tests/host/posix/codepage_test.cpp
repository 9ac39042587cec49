// tests/host/posix/codepage_test.cpp: code page 932 to and from UTF-8 and
// UTF-16.
#include "host/posix/codepage.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/capture.h"
#include "tests/support/test_support.h"

static std::string to_utf8(const std::string& cp932, Unconvertible unconvertible, size_t capacity = 256)
{
    char out[256];
    const long stored = cp932_to_utf8(cp932.data(), cp932.size(), out, capacity, unconvertible);
    if (stored < 0)
        return "(failed)";
    EXPECT_EQ(strlen(out), static_cast<size_t>(stored));
    return std::string(out, static_cast<size_t>(stored));
}

static std::string to_cp932(const std::string& utf8, Unconvertible unconvertible)
{
    char out[256];
    const long stored = utf8_to_cp932(utf8.data(), utf8.size(), out, sizeof out, unconvertible);
    if (stored < 0)
        return "(failed)";
    return std::string(out, static_cast<size_t>(stored));
}

TEST(Codepage, Cp932ToUtf8)
{
    const struct {
        std::string cp932;
        std::string refused;    // what each way with the unconvertible gives
        std::string replaced;
    } cases[] = {
        {"plain ASCII \\ ~", "plain ASCII \\ ~", "plain ASCII \\ ~"},
        {"\x83\x5c\x83\x74\x83\x67\x95\x5c", "ソフト表", "ソフト表"},
        {"\xb1\xb2\xb3", "ｱｲｳ", "ｱｲｳ"},
        {"\x81\x60", "～", "～"},
        {"a\x80" "b", "(failed)", "a?b"},
        {"a\x83", "(failed)", "a?"},
        // A lead byte before a byte that cannot follow it: the byte stays.
        {"\x83 x", "(failed)", "? x"},
        // A well-formed pair that names no character is one '?'.
        {"\x85\x40z", "(failed)", "?z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_utf8(c.cp932, REFUSE_UNCONVERTIBLE), c.refused) << c.cp932;
        EXPECT_EQ(to_utf8(c.cp932, REPLACE_UNCONVERTIBLE), c.replaced) << c.cp932;
    }
}

TEST(Codepage, Utf8ToCp932)
{
    const struct {
        std::string utf8;
        std::string refused;    // what each way with the unconvertible gives
        std::string replaced;
    } cases[] = {
        {"yamawyrm.exe", "yamawyrm.exe", "yamawyrm.exe"},
        {"ソフト表", "\x83\x5c\x83\x74\x83\x67\x95\x5c", "\x83\x5c\x83\x74\x83\x67\x95\x5c"},
        {"ｱ", "\xb1", "\xb1"},
        {"a\xf0\x9f\x98\x80" "b", "(failed)", "a?b"},
        {"a\xff" "b", "(failed)", "a?b"},
        {"a\xe3\x82", "(failed)", "a?"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_cp932(c.utf8, REFUSE_UNCONVERTIBLE), c.refused) << c.utf8;
        EXPECT_EQ(to_cp932(c.utf8, REPLACE_UNCONVERTIBLE), c.replaced) << c.utf8;
    }
}

TEST(Codepage, FailsWhenOutputDoesNotFit)
{
    // ソフト表 is 12 UTF-8 bytes and needs a NUL after them.
    EXPECT_EQ(to_utf8("\x83\x5c\x83\x74\x83\x67\x95\x5c", REFUSE_UNCONVERTIBLE, 12), "(failed)");
    EXPECT_EQ(to_utf8("\x83\x5c\x83\x74\x83\x67\x95\x5c", REFUSE_UNCONVERTIBLE, 13), "ソフト表");
    EXPECT_EQ(to_utf8("abc", REPLACE_UNCONVERTIBLE, 0), "(failed)");
}

TEST(Codepage, Cp932ToUtf16)
{
    uint16_t units[8];
    ASSERT_EQ(cp932_to_utf16("\x83\x5c\x95\x5c" "A", units, 8), 4);
    EXPECT_EQ(units[0], 0x30BD);  // ソ
    EXPECT_EQ(units[1], 0x8868);  // 表
    EXPECT_EQ(units[2], 0x0041);
    EXPECT_EQ(units[3], 0);

    EXPECT_EQ(cp932_to_utf16("", units, 1), 1);
    EXPECT_EQ(units[0], 0);
    EXPECT_EQ(cp932_to_utf16("abc", units, 3), 0);
    EXPECT_EQ(cp932_to_utf16("a\x80", units, 8), 0);
}

// The pieces of a stream go to the user's character set; under a UTF-8
// locale that is UTF-8. A lead byte at the end of one piece joins the first
// byte of the next.
TEST(Codepage, StreamKeepsSplitCharacterWhole)
{
    LocaleVariables locale("C.UTF-8");
    ASSERT_TRUE(user_console_charset());
    const std::string text = "\x83\x5c\x83\x74 ok \x95\x5c";
    for (size_t cut = 0; cut <= text.size(); cut++) {
        SjisPieces pieces = {};
        char out[CONVERTED_PIECE_SIZE];
        std::string converted;
        converted.append(out, cp932_piece_to_user(pieces, text.data(), cut, out));
        converted.append(out, cp932_piece_to_user(pieces, text.data() + cut, text.size() - cut, out));
        EXPECT_EQ(converted, "ソフ ok 表") << "cut at " << cut;
        EXPECT_FALSE(pieces.holding);
    }
}

TEST(Codepage, StreamTakesFullPieces)
{
    LocaleVariables locale("C.UTF-8");
    ASSERT_TRUE(user_console_charset());
    // Every byte halfwidth katakana: the widest output a piece can give.
    const std::string text(CP932_PIECE_SIZE, '\xb1');
    SjisPieces pieces = {};
    pieces.lead = '\x85';
    pieces.holding = true;
    char out[CONVERTED_PIECE_SIZE];
    const size_t stored = cp932_piece_to_user(pieces, text.data(), text.size(), out);
    // The waiting 0x85 and the first 0xB1 name no character: one '?', then
    // ｱ for each byte left.
    ASSERT_EQ(stored, 1 + 3 * (CP932_PIECE_SIZE - 1));
    EXPECT_EQ(out[0], '?');
    EXPECT_EQ(std::string(out + 1, 3), "ｱ");
}

TEST(Codepage, UserCharsetFollowsTheLocaleAndLeavesOursAlone)
{
    const char* saved = getenv("LC_ALL");
    const std::string saved_value = saved != nullptr ? saved : "";
    // Converted: every character set but ASCII and Shift_JIS.
    const struct {
        const char* locale;
        bool converted;
    } cases[] = {{"C.UTF-8", true}, {"ja_JP.eucJP", true}, {"C", false}, {"POSIX", false}, {"ja_JP.SJIS", false}};
    for (const auto& c : cases) {
        if (!locale_is_generated(c.locale))
            continue;  // not generated here
        setenv("LC_ALL", c.locale, 1);
        EXPECT_EQ(user_console_charset(), c.converted) << c.locale;
        EXPECT_STREQ(setlocale(LC_ALL, nullptr), "C");
    }
    if (saved != nullptr)
        setenv("LC_ALL", saved_value.c_str(), 1);
    else
        unsetenv("LC_ALL");
}
