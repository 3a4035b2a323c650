// INI files: private-profile reading rules, in-place updates that keep
// everything else, atomic writes, strict number parsing.
#include "platform/inifile.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using platform::IniFile;

namespace {

std::string fixture()
{
    return "; settings written by hand\n"
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
}

} // namespace

TEST(IniRead, SectionsAndKeysMatchCaseInsensitivelyFirstSectionWins)
{
    std::string dir = testsupport::ScratchDir("read");
    testsupport::WriteFile(dir + "/a.ini", fixture());
    IniFile ini(dir + "/a.ini");
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.get("MAIN", "PAGE", "0"), "2");
    EXPECT_EQ(ini.get("main", "page", "0"), "2");
    EXPECT_EQ(ini.get("Other", "KEY", ""), "other");
    // blanks around the value and one pair of quotes are stripped
    EXPECT_EQ(ini.get("MAIN", "NAME", ""), "quoted value");
}

TEST(IniRead, MissingKeySectionOrFileGiveTheDefault)
{
    std::string dir = testsupport::ScratchDir("defaults");
    testsupport::WriteFile(dir + "/a.ini", fixture());
    IniFile ini(dir + "/a.ini");
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.get("MAIN", "MISSING", "dflt"), "dflt");
    EXPECT_EQ(ini.get("NOSECTION", "PAGE", "7"), "7");
    // comment lines are no keys
    EXPECT_EQ(ini.get("OTHER", "# another comment", "x"), "x");

    IniFile none(dir + "/does-not-exist.ini");
    EXPECT_TRUE(none.load());
    EXPECT_EQ(none.get("A", "B", "fallback"), "fallback");
    EXPECT_EQ(platform::GetPrivateProfileString("A", "B", "d", 0, dir + "/nope.ini"), "d");
}

TEST(IniRead, ValuesAreCutToTheCallersBuffer)
{
    std::string dir = testsupport::ScratchDir("cut");
    testsupport::WriteFile(dir + "/a.ini", "[S]\nK=0123456789\n");
    EXPECT_EQ(platform::GetPrivateProfileString("S", "K", "", 5, dir + "/a.ini"), "0123");
    EXPECT_EQ(platform::GetPrivateProfileString("S", "K", "", 11, dir + "/a.ini"), "0123456789");
    EXPECT_EQ(platform::GetPrivateProfileString("S", "X", "abcdefgh", 4, dir + "/a.ini"), "abc");
}

TEST(IniWrite, ReplacesInPlaceAndKeepsEverythingElse)
{
    std::string dir = testsupport::ScratchDir("inplace");
    std::string path = dir + "/a.ini";
    testsupport::WriteFile(path, fixture());
    ASSERT_TRUE(platform::WritePrivateProfileString("MAIN", "PAGE", "1", path));
    std::string expected = fixture();
    expected.replace(expected.find("Page = 2"), 8, "PAGE=1");
    EXPECT_EQ(testsupport::ReadFile(path), expected);
}

TEST(IniWrite, AddsKeysAtTheEndOfTheirSectionAndNewSectionsAtTheEnd)
{
    std::string dir = testsupport::ScratchDir("add");
    std::string path = dir + "/a.ini";
    testsupport::WriteFile(path, fixture());
    ASSERT_TRUE(platform::WritePrivateProfileString("other", "NEW", "v", path));
    ASSERT_TRUE(platform::WritePrivateProfileString("FRESH", "K", "1", path));
    std::string text = testsupport::ReadFile(path);
    // the new key follows the last non-blank line of its section (the comment)
    EXPECT_NE(text.find("# another comment\nNEW=v\n\n[main]"), std::string::npos) << text;
    EXPECT_NE(text.find("page=9\n\n[FRESH]\nK=1\n"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("; settings written by hand", 0), 0u);
}

TEST(IniWrite, CreatesTheFileAndKeepsCrLfLineEnds)
{
    std::string dir = testsupport::ScratchDir("create");
    std::string path = dir + "/new.ini";
    ASSERT_TRUE(platform::WritePrivateProfileString("S", "K", "1", path));
    EXPECT_EQ(testsupport::ReadFile(path), "[S]\nK=1\n");

    testsupport::WriteFile(path, "[S]\r\nK=1\r\n");
    ASSERT_TRUE(platform::WritePrivateProfileString("S", "L", "2", path));
    EXPECT_EQ(testsupport::ReadFile(path), "[S]\r\nK=1\r\nL=2\r\n");
}

TEST(IniWrite, AFailedWriteLeavesTheOldFileIntact)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root ignores directory permissions";
    std::string dir = testsupport::ScratchDir("readonly");
    std::string path = dir + "/a.ini";
    testsupport::WriteFile(path, "[S]\nK=old\n");
    chmod(dir.c_str(), 0555);
    EXPECT_FALSE(platform::WritePrivateProfileString("S", "K", "new", path));
    chmod(dir.c_str(), 0755);
    EXPECT_EQ(testsupport::ReadFile(path), "[S]\nK=old\n");
}

TEST(IniWrite, SaveGoesThroughATemporaryFileThatIsRenamed)
{
    std::string dir = testsupport::ScratchDir("atomic");
    std::string path = dir + "/a.ini";
    testsupport::WriteFile(path, "[S]\nK=old\n");
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    ASSERT_TRUE(platform::WritePrivateProfileString("S", "K", "new", path));
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    // a rename installs a new inode; writing in place would keep the old one
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(testsupport::ReadFile(path), "[S]\nK=new\n");
    // no temporary file is left behind
    EXPECT_EQ(testsupport::ReadFile(path + ".tmp" + std::to_string(getpid())), "");
}

TEST(NumberParsing, TheWholeTextMustBeTheNumber)
{
    long long i = 0;
    EXPECT_TRUE(platform::ParseInt("-42", i));
    EXPECT_EQ(i, -42);
    EXPECT_FALSE(platform::ParseInt("", i));
    EXPECT_FALSE(platform::ParseInt(" 4", i));
    EXPECT_FALSE(platform::ParseInt("4 ", i));
    EXPECT_FALSE(platform::ParseInt("4x", i));
    EXPECT_FALSE(platform::ParseInt("4.0", i));
    EXPECT_FALSE(platform::ParseInt("99999999999999999999999", i));

    double d = 0;
    EXPECT_TRUE(platform::ParseFloat("12.6", d));
    EXPECT_DOUBLE_EQ(d, 12.6);
    EXPECT_TRUE(platform::ParseFloat("-1", d));
    EXPECT_DOUBLE_EQ(d, -1.0);
    EXPECT_TRUE(platform::ParseFloat("1e3", d));
    EXPECT_DOUBLE_EQ(d, 1000.0);
    EXPECT_FALSE(platform::ParseFloat("abc", d));
    EXPECT_FALSE(platform::ParseFloat("12,6", d));
    EXPECT_FALSE(platform::ParseFloat("1.2.3", d));
    EXPECT_FALSE(platform::ParseFloat("", d));
    EXPECT_FALSE(platform::ParseFloat("nan", d));
}

TEST(NumberFormatting, FixedPointWithAFullStopAndNoNegativeZero)
{
    EXPECT_EQ(platform::FormatFixed(8.722f, 4), "8.7220");
    EXPECT_EQ(platform::FormatFixed(497.0, 1), "497.0");
    EXPECT_EQ(platform::FormatFixed(-110.0, 0), "-110");
    EXPECT_EQ(platform::FormatFixed(-0.0001, 2), "0.00");
    EXPECT_EQ(platform::FormatFixed(6.02f, 3), "6.020");
}
