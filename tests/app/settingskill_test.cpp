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

// The main window's sections and a large section of another window (about
// 200 KiB), different throughout between the two versions.
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

// In the child: tells the parent the step was reached and waits to be killed.
void StopAt(SaveStep step)
{
    const char c = 1;
    if (step == g_stopAt && write(g_report, &c, 1) == 1)
        for (;;)
            pause();
}

} // namespace

TEST(SettingsNeverLost, AKillAtEachStepOfASaveLeavesTheOldOrTheNewFile)
{
    const std::string path = testsupport::ScratchDir("killsteps") + "/sonmain.ini";
    const std::string before = Settings(1), after = Settings(2);
    for (SaveStep step : {SaveStep::Opened, SaveStep::Written, SaveStep::Synced, SaveStep::Closed, SaveStep::Renamed}) {
        SCOPED_TRACE(static_cast<int>(step));
        testsupport::WriteFile(path, before);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t child = fork();
        if (child == 0) {
            g_report = fds[1];
            g_stopAt = step;
            platform::SetSaveStepHook(&StopAt);
            IniFile ini(path);
            ini.parse(after);
            ini.save();
            _exit(0); // not reached: killed at the step
        }
        close(fds[1]);
        char c = 0;
        const bool reached = read(fds[0], &c, 1) == 1;
        close(fds[0]);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(reached && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_TRUE(testsupport::ReadFile(path) == (step == SaveStep::Renamed ? after : before));
        // what the killed save left behind does not stop the next one
        IniFile ini(path);
        ini.parse(after);
        ASSERT_TRUE(ini.save());
        EXPECT_TRUE(testsupport::ReadFile(path) == after);
    }
}
