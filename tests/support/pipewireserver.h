// The private PipeWire server of a test (see add_pipewire_server in
// cmake/SonalyxTesting.cmake): whether it runs, restarting it from inside a
// test, and running the server's tools.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace pwserver {

inline std::string Env(const char *name)
{
    const char *v = std::getenv(name);
    return v ? v : "";
}

inline std::string Dir() { return Env("SONALYX_PIPEWIRE_DIR"); }

// Why the tests cannot run; empty when the server is up.
inline std::string SkipReason()
{
    if (Dir().empty())
        return "no PipeWire server fixture (run the test through ctest)";
    std::ifstream skip(Dir() + "/skip");
    std::string reason;
    if (skip && std::getline(skip, reason))
        return reason.empty() ? "the PipeWire server did not start" : reason;
    return {};
}

// Runs the tests, or reports the reason and exits with 77 (ctest: skipped).
inline int RunAllOrSkip()
{
    const std::string why = SkipReason();
    if (!why.empty()) {
        std::cout << "SKIPPED: " << why << std::endl;
        return 77;
    }
    return RUN_ALL_TESTS();
}

// Starts `args` (found on the PATH) with its output in the file `out`,
// passing on no descriptor but the standard ones: a server started from a
// test must not hold ctest's pipes open after the test. posix_spawn, not
// fork: ThreadSanitizer cannot follow a fork of a process with threads.
// Returns the process id, or -1.
inline pid_t Spawn(const std::vector<std::string> &args, const std::string &out = "/dev/null")
{
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for a process from Spawn; its exit status, or -1.
inline int Wait(pid_t pid)
{
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `args` to its end; its output, and its exit status in `rc`.
inline std::string Run(const std::vector<std::string> &args, int &rc)
{
    const std::string out = Dir() + "/run-output.txt";
    rc = Wait(Spawn(args, out));
    std::ifstream f(out);
    std::stringstream text;
    text << f.rdbuf();
    return text.str();
}

// Stops the server and starts it again with its configuration files and
// `extra` ones (file names in tests/pipewire/server).
inline bool Restart(const std::vector<std::string> &extra = {})
{
    std::vector<std::string> args = {"sh", Env("SONALYX_PIPEWIRE_SERVER"), "restart", Dir()};
    std::stringstream configs(Env("SONALYX_PIPEWIRE_CONFIGS"));
    for (std::string c; std::getline(configs, c, ',');)
        if (!c.empty())
            args.push_back(c);
    args.insert(args.end(), extra.begin(), extra.end());
    int rc = -1;
    const std::string out = Run(args, rc);
    if (rc != 0)
        std::cerr << out;
    return rc == 0;
}

// The server's process id; 0 when it is not known.
inline pid_t ServerPid()
{
    std::ifstream f(Dir() + "/pipewire.pid");
    pid_t pid = 0;
    f >> pid;
    return pid;
}

// Whether the server's process runs (an ended one may linger unreaped).
inline bool ServerRuns()
{
    const pid_t pid = ServerPid();
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (pid > 0 && std::getline(status, line))
        if (line.rfind("State:", 0) == 0)
            return line.find('Z') == std::string::npos;
    return false;
}

} // namespace pwserver
