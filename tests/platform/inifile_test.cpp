// INI files: private-profile reading rules, in-place updates that keep
// everything else, atomic writes, strict number parsing.
#include "platform/inifile.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using platform::IniFile;

namespace {

const std::string kText = "; settings written by hand\n"
                          "[Main]\n"
                          "Page = 2\n"
                          "Name=  \"quoted value\"  \n"
                          "\n"
                          "[OTHER]\n"
                          "key=other\n"
                          "# another comment\n"
                          "\n"
                          "[main]\n"
                          "page=9\n";

std::string Seeded(const std::string &sub, const std::string &text = kText)
{
    const std::string path = testsupport::ScratchDir(sub) + "/a.ini";
    testsupport::WriteFile(path, text);
    return path;
}

} // namespace

TEST(IniRead, CaseInsensitiveFirstSectionWinsAndDefaultsForWhatIsMissing)
{
    const std::string path = Seeded("read");
    IniFile ini(path);
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.get("MAIN", "PAGE", "0"), "2");
    EXPECT_EQ(ini.get("Other", "KEY", ""), "other");
    EXPECT_EQ(ini.get("MAIN", "NAME", ""), "quoted value"); // blanks and one pair of quotes stripped
    EXPECT_EQ(ini.get("MAIN", "MISSING", "dflt"), "dflt");
    EXPECT_EQ(ini.get("NOSECTION", "PAGE", "7"), "7");
    EXPECT_EQ(ini.get("OTHER", "# another comment", "x"), "x");

    IniFile none(path + ".missing");
    EXPECT_TRUE(none.load());
    EXPECT_EQ(none.get("A", "B", "fallback"), "fallback");
    // values and defaults are cut to the caller's buffer, terminator included
    testsupport::WriteFile(path, "[S]\nK=0123456789\n");
    EXPECT_EQ(platform::GetPrivateProfileString("S", "K", "", 5, path), "0123");
    EXPECT_EQ(platform::GetPrivateProfileString("S", "K", "", 11, path), "0123456789");
    EXPECT_EQ(platform::GetPrivateProfileString("S", "X", "abcdefgh", 4, path), "abc");
}

TEST(IniWrite, ReplacesInPlaceAddsAtTheSectionEndAndKeepsEverythingElse)
{
    const std::string path = Seeded("write");
    ASSERT_TRUE(platform::WritePrivateProfileString("MAIN", "PAGE", "1", path));
    ASSERT_TRUE(platform::WritePrivateProfileString("other", "NEW", "v", path));
    ASSERT_TRUE(platform::WritePrivateProfileString("FRESH", "K", "1", path));
    std::string expected = kText;
    expected.replace(expected.find("Page = 2"), 8, "PAGE=1");
    expected.replace(expected.find("# another comment\n"), 18, "# another comment\nNEW=v\n");
    EXPECT_EQ(testsupport::ReadFile(path), expected + "\n[FRESH]\nK=1\n");
}

TEST(IniWrite, CreatesTheFileAndKeepsCrLfLineEnds)
{
    const std::string path = testsupport::ScratchDir("create") + "/new.ini";
    ASSERT_TRUE(platform::WritePrivateProfileString("S", "K", "1", path));
    EXPECT_EQ(testsupport::ReadFile(path), "[S]\nK=1\n");
    testsupport::WriteFile(path, "[S]\r\nK=1\r\n");
    ASSERT_TRUE(platform::WritePrivateProfileString("S", "L", "2", path));
    EXPECT_EQ(testsupport::ReadFile(path), "[S]\r\nK=1\r\nL=2\r\n");
}

TEST(IniWrite, SaveGoesThroughATemporaryFileThatIsRenamed)
{
    const std::string path = Seeded("atomic", "[S]\nK=old\n");
    struct stat before {}, after {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    ASSERT_TRUE(platform::WritePrivateProfileString("S", "K", "new", path));
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino); // writing in place would keep the inode
    EXPECT_EQ(testsupport::ReadFile(path), "[S]\nK=new\n");
    EXPECT_EQ(testsupport::ReadFile(path + ".tmp" + std::to_string(getpid())), "");
}

TEST(NumberParsing, TheWholeTextMustBeTheNumber)
{
    long long i = 0;
    EXPECT_TRUE(platform::ParseInt("-42", i));
    EXPECT_EQ(i, -42);
    for (const char *bad : {"", " 4", "4 ", "4x", "4.0", "99999999999999999999999"})
        EXPECT_FALSE(platform::ParseInt(bad, i)) << bad;

    double d = 0;
    for (auto [text, value] : {std::pair{"12.6", 12.6}, {"-1", -1.0}, {"1e3", 1000.0}}) {
        EXPECT_TRUE(platform::ParseFloat(text, d)) << text;
        EXPECT_DOUBLE_EQ(d, value);
    }
    for (const char *bad : {"abc", "12,6", "1.2.3", "", "nan"})
        EXPECT_FALSE(platform::ParseFloat(bad, d)) << bad;
}

TEST(NumberFormatting, FixedPointWithAFullStopAndNoNegativeZero)
{
    EXPECT_EQ(platform::FormatFixed(8.722f, 4), "8.7220");
    EXPECT_EQ(platform::FormatFixed(-110.0, 0), "-110");
    EXPECT_EQ(platform::FormatFixed(-0.0001, 2), "0.00");
    EXPECT_EQ(platform::FormatFixed(6.02f, 3), "6.020");
}

TEST(IniWrite, ValuesReadBackAsWrittenAndALineBreakCannotAddKeys)
{
    for (const std::string value : {"  padded  ", "\"quoted\"", "\r", "a \"b\" c", ""}) {
        IniFile ini;
        ini.set("S", "K", value);
        IniFile again;
        again.parse(ini.text());
        EXPECT_EQ(again.get("S", "K", "<missing>"), value) << ini.text();
    }
    IniFile ini; // a file name with a line break in it
    ini.set("MAIN", "INCONAME", "a.cor\n[FFT]\nSAMPLES=0");
    IniFile again;
    again.parse(ini.text());
    EXPECT_EQ(again.get("FFT", "SAMPLES", "<missing>"), "<missing>");
    EXPECT_EQ(again.get("MAIN", "INCONAME", ""), "a.cor [FFT] SAMPLES=0");
}
