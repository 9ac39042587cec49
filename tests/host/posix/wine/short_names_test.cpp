// tests/host/posix/wine/short_names_test.cpp: the short (8.3) names that
// Wine gives entries (each row as Wine 8 gave it, and tests/wine/ asks Wine
// again).
#include "host/posix/wine/short_names.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

TEST(ShortNames, ShortNamesAreWines)
{
    struct Case {
        std::u16string name;
        const char* short_name;   // "": a legal DOS name, its own short name
    } cases[] = {
        {u"ゲーム", "___~~NWP"},
        {u"ソフト表", "____~I5Z"},
        {u"ｽﾀｰﾄ ﾒﾆｭｰ", "____~V0Z"},
        {u"My Games", "MY_G~I5E"},
        {u"My Games (1)", "MY_G~2WA"},
        {u"longname12", "LONG~JQQ"},
        {u"LongName12", "LONG~JQQ"},      // the hash ignores letter case
        {u"abc.defg", "ABC~~AWO.DEF"},
        {u"x.txtt", "X~~~~DWD.TXT"},
        {u"a.b.c", "A_B~~54C.C"},         // the extension follows the last dot
        {u"a..b", "A_~~~TDW.B"},
        {u".hidden", "_HID~45N"},
        {u"abcde.fghij", "ABCD~DJ5.FGH"},
        {u"long name.txt", "LONG~JPX.TXT"},
        {u"ab.c d", "AB~~~Y0Z.C_D"},
        {u"file.ゲーム", "FILE~0AE.___"},
        {u"ゲーム.txt", "___~~QBN.TXT"},
        {u"x+y", "X_Y~~BY1"},
        {u"a[1]", "A_1_~KRD"},
        {u"a=b", "A_B~~WJL"},
        {u"a;b", "A_B~~WI0"},
        {u"a,b", "A_B~~GNH"},
        {u"abcdefghi", "ABCD~GDH"},
        // Code page 932's capitals and small letters hash the same; the
        // Angstrom sign stays as it is.
        {u"Ａｂｃ", "___~~4ZB"},
        {u"ａ", "_~~~~DOO"},
        {u"Привет", "____~FVV"},
        {u"ЁЖ", "__~~~BGA"},
        {u"Ёж", "__~~~BGA"},
        {u"ΑΒΓ", "___~~XBR"},
        {u"αβγ", "___~~XBR"},
        {u"Ⅹ1", "_1~~~EEW"},
        {u"ⅹ1", "_1~~~EEW"},
        {u"\u212b", "_~~~~U3E"},
        {u"games", ""},
        {u"GAMES", ""},
        {u"yamawyrm.bat", ""},
        {u"ab~cd", ""},
        {u"abcdefgh.ijk", ""},
        {u"..", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.short_name);
        const std::vector<uint16_t> name(c.name.begin(), c.name.end());
        uint16_t out[SHORT_NAME_SIZE];
        wine_short_name(name.data(), name.size(), out);
        std::string shown;
        for (const uint16_t* unit = out; *unit != 0; unit++)
            shown += static_cast<char>(*unit);
        EXPECT_EQ(shown, c.short_name);
    }
}

}  // namespace
