// The one writer of the program's files and its readers: a planted link at
// any name never receives the text, permissions and links of the target are
// kept, a failed write leaves the old file whole, and the readers never wait
// on a FIFO or read without end.
#include "platform/inifile.h"
#include "platform/textfile.h"
#include "support/testsupport.h"

#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Names in the folder other than `keep`: what a write left behind.
std::vector<std::string> Others(const std::string &dir, const std::vector<std::string> &keep)
{
    std::vector<std::string> left;
    for (const auto &e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (std::find(keep.begin(), keep.end(), name) == keep.end())
            left.push_back(name);
    }
    return left;
}

} // namespace

// The temporary name the settings were once written through, and a link at
// it to someone else's file: the settings reach their file, the victim stays.
TEST(SafeWriter, ALinkPlantedAtAGuessableTemporaryNameIsNeverWrittenThrough)
{
    const std::string dir = testsupport::ScratchDir("planted");
    testsupport::WriteFile(dir + "/victim.txt", "precious\n");
    const std::string ini = dir + "/sonmain.ini";
    fs::create_symlink(dir + "/victim.txt", ini + ".tmp" + std::to_string(getpid()));
    EXPECT_TRUE(WritePrivateProfileString("MAIN", "PAGE", "1", ini));
    EXPECT_EQ(testsupport::ReadFile(dir + "/victim.txt"), "precious\n");
    EXPECT_EQ(testsupport::ReadFile(ini), "[MAIN]\nPAGE=1\n");
    EXPECT_EQ(Others(dir, {"victim.txt", "sonmain.ini", "sonmain.ini.tmp" + std::to_string(getpid())}),
              std::vector<std::string>{});
}

TEST(SafeWriter, KeepsTheModeOfTheFileAndWritesThroughALinkedFile)
{
    const std::string dir = testsupport::ScratchDir("mode");
    const std::string ini = dir + "/sonmain.ini";
    testsupport::WriteFile(ini, "[S]\nK=0\n");
    ASSERT_EQ(::chmod(ini.c_str(), 0600), 0);
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "1", ini));
    EXPECT_EQ(ModeOf(ini), 0600u);

    // A new file gets what the umask leaves of rw-rw-rw-.
    const mode_t old = ::umask(027);
    EXPECT_EQ(WriteTextFile(dir + "/new.txt", "x"), 0);
    ::umask(old);
    EXPECT_EQ(ModeOf(dir + "/new.txt"), 0640u);

    // The settings kept elsewhere, reached through a relative link.
    fs::create_directory(dir + "/real");
    testsupport::WriteFile(dir + "/real/sonmain.ini", "[S]\nK=0\n");
    const std::string link = dir + "/linked.ini";
    fs::create_symlink("real/sonmain.ini", link);
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "2", link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(testsupport::ReadFile(dir + "/real/sonmain.ini"), "[S]\nK=2\n");

    // A name the program owns: the link there goes, its target stays.
    testsupport::WriteFile(dir + "/victim.txt", "precious\n");
    fs::create_symlink("victim.txt", dir + "/owned.txt");
    EXPECT_EQ(WriteTextLines(dir + "/owned.txt", {"a", "b"}, LineEnd::CrLf, Links::Replace), 0);
    EXPECT_FALSE(fs::is_symlink(dir + "/owned.txt"));
    EXPECT_EQ(testsupport::ReadFile(dir + "/owned.txt"), "a\r\nb\r\n");
    EXPECT_EQ(testsupport::ReadFile(dir + "/victim.txt"), "precious\n");
}

TEST(SafeWriter, AFailedWriteIsReportedAndLeavesTheOldFileWhole)
{
    const std::string dir = testsupport::ScratchDir("full");
    const std::string file = dir + "/data.txt";
    testsupport::WriteFile(file, "old content\n");
    {
        testsupport::FileSizeLimit full(64);
        EXPECT_EQ(WriteTextFile(file, std::string(1000, 'n')), EFBIG);
    }
    EXPECT_EQ(testsupport::ReadFile(file), "old content\n");
    EXPECT_EQ(Others(dir, {"data.txt"}), std::vector<std::string>{});

    // Neither a folder nor a FIFO is replaced.
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
    EXPECT_EQ(WriteTextFile(dir + "/fifo", "x"), FileNotRegular);
    EXPECT_EQ(WriteTextFile(dir, "x"), FileNotRegular);
    EXPECT_EQ(WriteTextFile(dir + "/no/such/folder/x.txt", "x"), ENOENT);
    EXPECT_TRUE(fs::is_fifo(dir + "/fifo"));

    // A settings file that could not be read is not replaced by what little
    // the program knows of it.
    testsupport::WriteFile(file, std::string(kSettingsFileLimit + 1, ';'));
    IniFile ini(file);
    EXPECT_FALSE(ini.load());
    ini.set("S", "K", "1");
    EXPECT_FALSE(ini.save());
    EXPECT_EQ(ini.error(), FileTooLarge);
    EXPECT_EQ(fs::file_size(file), kSettingsFileLimit + 1);
}

TEST(SafeReader, TakesOnlyRegularFilesOfASaneSizeAndNeverWaitsOnAFifo)
{
    const std::string dir = testsupport::ScratchDir("reader");
    std::string text = "stale";
    EXPECT_EQ(ReadTextFile(dir + "/missing", 100, text), ENOENT);
    EXPECT_EQ(text, "");
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0); // no writer: a blocking open would hang
    EXPECT_EQ(ReadTextFile(dir + "/fifo", 100, text), FileNotRegular);
    EXPECT_EQ(ReadTextFile("/dev/zero", 100, text), FileNotRegular);
    EXPECT_EQ(ReadTextFile(dir, 100, text), FileNotRegular);
    testsupport::WriteFile(dir + "/f", std::string(101, 'a'));
    EXPECT_EQ(ReadTextFile(dir + "/f", 100, text), FileTooLarge);
    EXPECT_EQ(ReadTextFile(dir + "/f", 101, text), 0);
    EXPECT_EQ(text, std::string(101, 'a'));
    // The private-profile reader falls back to the default for a FIFO.
    EXPECT_EQ(GetPrivateProfileString("S", "K", "dflt", 30, dir + "/fifo"), "dflt");
}

TEST(SafeCreate, CreatesOnlyWhereNothingIsNotEvenADanglingLink)
{
    const std::string dir = testsupport::ScratchDir("create");
    fs::create_symlink(dir + "/elsewhere.cor", dir + "/dangling.cor");
    EXPECT_EQ(CreateNewTextFile(dir + "/dangling.cor", "1000 0\n"), EEXIST);
    EXPECT_FALSE(fs::exists(dir + "/elsewhere.cor"));
    testsupport::WriteFile(dir + "/there.cor", "1 1\n");
    EXPECT_EQ(CreateNewTextFile(dir + "/there.cor", "1000 0\n"), EEXIST);
    EXPECT_EQ(testsupport::ReadFile(dir + "/there.cor"), "1 1\n");
    EXPECT_EQ(CreateNewTextFile(dir + "/new.cor", "1000 0\n"), 0);
    EXPECT_EQ(testsupport::ReadFile(dir + "/new.cor"), "1000 0\n");
}

// The kernel's rule for shared sticky folders holds for links the writer
// resolves itself (making a link another user's needs root).
TEST(SafeWriter, ALinkAnotherUserPlantedInASharedFolderIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a link to another user";
    const std::string dir = testsupport::ScratchDir("shared");
    ASSERT_EQ(::chmod(dir.c_str(), 01777), 0);
    testsupport::WriteFile(dir + "/victim.txt", "precious\n");
    const std::string link = dir + "/export.txt";
    fs::create_symlink(dir + "/victim.txt", link);
    ASSERT_EQ(::lchown(link.c_str(), 12345, 12345), 0);
    EXPECT_EQ(WriteTextFile(link, "x"), FileLinkRefused);
    EXPECT_EQ(testsupport::ReadFile(dir + "/victim.txt"), "precious\n");
}
