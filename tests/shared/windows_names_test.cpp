// tests/shared/windows_names_test.cpp: the one ASCII case fold and the one
// separator test that every part of the program uses.
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

}  // namespace
