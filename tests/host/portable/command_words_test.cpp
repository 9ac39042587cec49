// tests/host/portable/command_words_test.cpp: where the words of a command
// line end, around Shift_JIS characters whole and broken.
#include "host/portable/command_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

static std::vector<std::string> words_of(const char* line)
{
    static CommandWords words;
    std::vector<std::string> found;
    if (split_command_line(line, words))
        found.assign(words.words, words.words + words.count);
    return found;
}

TEST(CommandWords, ALoneLeadByteTakesNoBlankTabOrQuote)
{
    struct Case {
        const char* line;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        // ソ is 83 5C: its trail byte is no separator, and a quote after it
        // still groups.
        {"deltree /y \"c:\\\x83\x5c x\\*.sav\"", {"deltree", "/y", "c:\\\x83\x5c x\\*.sav"}},
        // A lead byte before a tab, a blank or a quote stands alone.
        {"deltree /y c:\\\x81\t\\bone*.*", {"deltree", "/y", "c:\\\x81", "\\bone*.*"}},
        {"mkdir c:\\a\x81 b", {"mkdir", "c:\\a\x81", "b"}},
        {"mkdir \"c:\\a\x81\" b", {"mkdir", "c:\\a\x81", "b"}},
        {"write x\x81", {"write", "x\x81"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(words_of(c.line), c.words) << c.line;
}
