// tests/shared/windows_names_test.cpp: the one ASCII case fold, the one
// separator test and the one rule of a path's last name that every part of
// the program uses.
#include "shared/windows_names.h"

#include <gtest/gtest.h>

namespace {

TEST(FoldAsciiCase, FoldsOnlyTheAsciiCapitals)
{
    EXPECT_EQ(fold_ascii_case('A'), 'a');
    EXPECT_EQ(fold_ascii_case('Z'), 'z');
    EXPECT_EQ(fold_ascii_case('a'), 'a');
    EXPECT_EQ(fold_ascii_case('@'), '@');
    EXPECT_EQ(fold_ascii_case('['), '[');
    // A byte of a double-byte character stays as it is.
    EXPECT_EQ(fold_ascii_case('\x82'), '\x82');
}

TEST(IsPathSeparator, TakesBackslashAndSlashOfEitherWidth)
{
    EXPECT_TRUE(is_path_separator('\\'));
    EXPECT_TRUE(is_path_separator('/'));
    EXPECT_TRUE(is_path_separator(L'\\'));
    EXPECT_TRUE(is_path_separator(L'/'));
    EXPECT_FALSE(is_path_separator(':'));
    EXPECT_FALSE(is_path_separator('a'));
    EXPECT_FALSE(is_path_separator('\0'));
    // U+FF3C, the full-width backslash, is no separator.
    EXPECT_FALSE(is_path_separator(L'\xFF3C'));
    // Nor is 0x5C as the second byte of a double-byte character, which
    // callers step over whole: the test sees single bytes only.
    EXPECT_FALSE(is_path_separator(static_cast<unsigned char>(0x95)));
}

TEST(HasDrivePrefix, TakesAnAsciiLetterAndAColon)
{
    for (const char* path : {"c:", "C:\\games", "z:x"})
        EXPECT_TRUE(has_drive_prefix(path)) << path;
    // A digit, a symbol between the two cases, a lead byte and a path
    // without the colon at its second byte have no drive.
    for (const char* path : {"1:", "[:", "`:", "\x82:", "c", "", "\\c:", "cd:"})
        EXPECT_FALSE(has_drive_prefix(path)) << path;
}

TEST(LastNameStart, FollowsTheLastSeparatorElseTheDrive)
{
    struct Case {
        const char* path;
        PathBytes bytes;
        size_t start;
    };
    const Case cases[] = {
        {"", CODE_PAGE_932_BYTES, 0},
        {"ymw.exe", CODE_PAGE_932_BYTES, 0},
        {"c:\\games\\ymw.exe", CODE_PAGE_932_BYTES, 9},
        {"a/b\\c", CODE_PAGE_932_BYTES, 4},
        {"games\\", CODE_PAGE_932_BYTES, 6},
        // A drive ends a name too, but only a letter's: "1:" is no drive.
        {"c:ymw.exe", CODE_PAGE_932_BYTES, 2},
        {"C:", CODE_PAGE_932_BYTES, 2},
        {"1:ymw.exe", CODE_PAGE_932_BYTES, 0},
        {"notes.txt:extra", CODE_PAGE_932_BYTES, 0},
        // 0x95 0x5C is one character of code page 932, whose trail byte is
        // no backslash; in UTF-8 the 0x5C is one.
        {"\x95\\x", CODE_PAGE_932_BYTES, 0},
        {"\x95\\\\x", CODE_PAGE_932_BYTES, 3},
        {"\x95\\x", UTF8_BYTES, 2},
        {"c:\xE8\xA1\xA8\\x", UTF8_BYTES, 6},
    };
    for (const Case& c : cases)
        EXPECT_EQ(last_name_start(c.path, c.bytes), c.start) << c.path;
    // UTF-16 units, one by one; U+FF3C, the full-width backslash, is none.
    EXPECT_EQ(last_name_start(u"c:\\games\\ymw.exe"), 9u);
    EXPECT_EQ(last_name_start(u"c:ymw.exe"), 2u);
    EXPECT_EQ(last_name_start(u"\x8868\\x"), 2u);
    EXPECT_EQ(last_name_start(u"a\xFF3Cx"), 0u);
}

}  // namespace
