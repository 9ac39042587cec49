// tests/host/posix/wine/locale_code_pages_test.cpp: the code pages that
// Wine takes from a locale, as the Wine a shortcut file is written for
// takes them (each row as Wine 8 gave it, and tests/wine/ asks Wine
// again), and text converted to them.
#include "host/posix/wine/locale_code_pages.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "host/shell_link.h"
#include "tests/support/test_support.h"

namespace {

TEST(LocaleCodePages, CodePagesAreThoseWineGivesTheLocale)
{
    struct Case {
        const char* name;   // as setlocale names the locale of LC_CTYPE
        unsigned ansi;
        unsigned oem;
    } cases[] = {
        {"ja_JP.UTF-8", 932, 932},
        {"ja_JP.eucJP", 932, 932},       // the character set does not count
        {"ja_JP", 932, 932},
        {"japanese", 1252, 437},         // an alias, which Wine does not know
        {"en_US.UTF-8", 1252, 437},
        {"en_GB.UTF-8", 1252, 850},
        {"de_DE@euro", 1252, 850},       // nor a modifier that names no script
        {"C", 1252, 437},
        {"C.UTF-8", 1252, 437},
        {"POSIX", 1252, 437},
        {"", 1252, 437},
        {"ru_RU.UTF-8", 1251, 866},
        {"ru_UA.UTF-8", 1252, 437},      // a locale Windows lacks: the C locale's
        {"zh_CN.UTF-8", 936, 936},
        {"zh_SG", 936, 936},
        {"zh_TW.UTF-8", 950, 950},
        {"zh_HK.UTF-8", 950, 950},
        {"ko_KR.UTF-8", 949, 949},
        {"sr_RS@latin", 1250, 852},      // sr-Latn-RS
        {"sr_RS", 1252, 437},
        {"uz_UZ.UTF-8@cyrillic", 1251, 866},
        {"be_BY@latin", 1252, 437},
        {"ca_ES.UTF-8@valencia", 1252, 850},
        {"ks_IN@devanagari", 65001, 65001},
        {"kk_KZ.UTF-8", 65001, 65001},
        {"syr", 65001, 65001},
        {"pl_PL.UTF-8", 1250, 852},
        {"el_GR", 1253, 737},
        {"tr_TR.UTF-8", 1254, 857},
        {"he_IL", 1255, 862},
        {"ar_SA.UTF-8", 1256, 720},
        {"lt_LT", 1257, 775},
        {"vi_VN", 1258, 1258},
        {"th_TH.UTF-8", 874, 874},
        {"xx_YY.UTF-8", 1252, 437},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WineCodePages pages = wine_code_pages_of(c.name);
        EXPECT_EQ(pages.ansi, c.ansi);
        EXPECT_EQ(pages.oem, c.oem);
    }
}

TEST(LocaleCodePages, LocaleIsTheOneWineTakes)
{
    // The locale of LC_CTYPE, as LC_ALL, LC_CTYPE and LANG choose it; one
    // the system lacks counts as C. LC_MESSAGES does not count.
    struct Case {
        const char* lc_all;
        const char* lc_ctype;
        const char* lc_messages;
        const char* lang;
        unsigned ansi;
    } cases[] = {
        {"ja_JP.UTF-8", nullptr, nullptr, "en_US.UTF-8", 932},
        {"en_US.UTF-8", nullptr, nullptr, "ja_JP.UTF-8", 1252},
        {nullptr, "ja_JP.UTF-8", nullptr, "en_US.UTF-8", 932},
        {nullptr, "en_US.UTF-8", nullptr, "ja_JP.UTF-8", 1252},
        {"", nullptr, nullptr, "ja_JP.UTF-8", 932},
        {nullptr, nullptr, "ja_JP.UTF-8", nullptr, 1252},
        {nullptr, "ja_JP.UTF-8", nullptr, "xx_YY.UTF-8", 932},
        {nullptr, nullptr, nullptr, "xx_YY.UTF-8", 1252},
        {nullptr, nullptr, nullptr, "zz_ZZ.UTF-8", 1252},
    };
    const std::string before = setlocale(LC_ALL, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lc_all ? c.lc_all : "-") + " " + (c.lc_ctype ? c.lc_ctype : "-") + " " +
                     (c.lang ? c.lang : "-"));
        LocaleVariables locale(c.lc_all, c.lc_ctype, c.lc_messages, c.lang);
        EXPECT_EQ(user_wine_code_pages().ansi, c.ansi);
        EXPECT_EQ(console_reads_code_page_932(), c.ansi == 932);
    }
    // The program's own locale is as it was.
    EXPECT_EQ(setlocale(LC_ALL, nullptr), before);
}

TEST(LocaleCodePages, ConversionToAnAnsiCodePage)
{
    struct Case {
        unsigned code_page;
        std::u16string text;
        Unconvertible unconvertible;
        const char* bytes;   // nullptr: the conversion fails
    } cases[] = {
        {936, u"c:\\ゲーム", REFUSE_UNCONVERTIBLE, "c:\\\xa5\xb2\xa9\x60\xa5\xe0"},
        // Korean has no ー.
        {949, u"c:\\ゲーム", REFUSE_UNCONVERTIBLE, nullptr},
        {949, u"c:\\ゲーム", REPLACE_UNCONVERTIBLE, "c:\\\xab\xb2?\xab\xe0"},
        {949, u"ソフト表", REFUSE_UNCONVERTIBLE, "\xab\xbd\xab\xd5\xab\xc8\xf8\xfa"},
        {932, u"ソフト表", REFUSE_UNCONVERTIBLE, "\x83\x5c\x83\x74\x83\x67\x95\x5c"},
        {1252, u"ソフト", REFUSE_UNCONVERTIBLE, nullptr},
        // A surrogate pair is one character.
        {1252, u"Ä ソ\U00020000", REPLACE_UNCONVERTIBLE, "\xc4 ??"},
        {1251, u"Привет", REFUSE_UNCONVERTIBLE, "\xcf\xf0\xe8\xe2\xe5\xf2"},
        {65001, u"ゲーム", REFUSE_UNCONVERTIBLE, "\xe3\x82\xb2\xe3\x83\xbc\xe3\x83\xa0"},
        // The last letter too.
        {1258, u"c:\\games\\A", REFUSE_UNCONVERTIBLE, "c:\\games\\A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code_page) + (c.unconvertible == REFUSE_UNCONVERTIBLE ? " refusing" : ""));
        const std::vector<uint16_t> wide(c.text.begin(), c.text.end() + 1);
        char out[64];
        const bool converted = utf16_to_code_page(c.code_page, wide.data(), out, sizeof out, c.unconvertible);
        EXPECT_EQ(converted, c.bytes != nullptr);
        if (converted && c.bytes != nullptr)
            EXPECT_EQ(std::string(out), c.bytes);
    }
    // Eight characters do not fit eight bytes and the NUL, whatever is done
    // with what cannot be converted.
    const std::vector<uint16_t> eight = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0};
    char small[8];
    EXPECT_FALSE(utf16_to_code_page(1252, eight.data(), small, sizeof small, REFUSE_UNCONVERTIBLE));
    EXPECT_FALSE(utf16_to_code_page(1252, eight.data(), small, sizeof small, REPLACE_UNCONVERTIBLE));
}

}  // namespace
