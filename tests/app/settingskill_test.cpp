// Settings are never lost: a child process killed while it writes
// sonmain.ini, at each step of the save, leaves either the old file or the
// new one, complete, and the next save works.
#include "platform/inifile.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using platform::IniFile;
using platform::SaveStep;

namespace {

// The main window's sections and a large section of another window, so a
// write takes a while: about 300 KiB that differ throughout between versions.
std::string Settings(int version)
{
    const std::string v = std::to_string(version);
    std::string text = "[MAIN]\nPAGE=" + v + "\n\n[FFT]\nCOMMENT=version " + v + "\n\n[DIAGPRIV]\n";
    for (int i = 0; i < 8000; ++i)
        text += "COLOR" + std::to_string(i) + "=" + std::to_string(i * 7919 + version) + "\n";
    return text;
}

int g_report = -1; // the child's end of the pipe to the parent
SaveStep g_stopAt;

// In the child: tell the parent the step was reached and wait to be killed.
void StopAt(SaveStep step)
{
    if (step != g_stopAt)
        return;
    const char c = 1;
    if (write(g_report, &c, 1) == 1)
        for (;;)
            pause();
}

// A forked child running `body`, killed with SIGKILL when it goes out of scope.
class Child {
public:
    template <class F> explicit Child(F body)
    {
        EXPECT_EQ(pipe(fds_), 0);
        pid_ = fork();
        if (pid_ == 0) {
            close(fds_[0]);
            g_report = fds_[1];
            body();
            _exit(0);
        }
        close(fds_[1]);
    }
    ~Child() { kill(); }
    // Waits for the child's report; false when it ended first.
    bool waitForReport()
    {
        char c;
        return read(fds_[0], &c, 1) == 1;
    }
    // Kills it and returns whether SIGKILL is what ended it.
    bool kill()
    {
        if (pid_ <= 0)
            return false;
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        close(fds_[0]);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

private:
    int fds_[2] = {-1, -1};
    pid_t pid_ = -1;
};

} // namespace

TEST(SettingsNeverLost, AKillAtEachStepOfASaveLeavesTheOldOrTheNewFile)
{
    const std::string path = testsupport::ScratchDir("killsteps") + "/sonmain.ini";
    const std::string before = Settings(1), after = Settings(2);
    for (SaveStep step : {SaveStep::Opened, SaveStep::Written, SaveStep::Synced, SaveStep::Closed, SaveStep::Renamed}) {
        SCOPED_TRACE(static_cast<int>(step));
        testsupport::WriteFile(path, before);
        Child child([&] {
            g_stopAt = step;
            platform::SetSaveStepHook(&StopAt);
            IniFile ini(path);
            ini.parse(after);
            ini.save();
        });
        ASSERT_TRUE(child.waitForReport());
        ASSERT_TRUE(child.kill());
        EXPECT_TRUE(testsupport::ReadFile(path) == (step == SaveStep::Renamed ? after : before));
        // what the killed save left behind does not stop the next one
        IniFile ini(path);
        ini.parse(after);
        ASSERT_TRUE(ini.save());
        EXPECT_TRUE(testsupport::ReadFile(path) == after);
    }
}
