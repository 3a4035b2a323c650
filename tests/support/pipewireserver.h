// The private PipeWire server of a test (see add_pipewire_server in
// cmake/SonalyxTesting.cmake): whether it runs, and restarting or killing
// it from inside a test.
#pragma once

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

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

// Stops the server and starts it again with its configuration files and
// `extra` ones (names in tests/pipewire/server, space-separated).
inline bool Restart(const std::string &extra = {})
{
    std::string configs = Env("SONALYX_PIPEWIRE_CONFIGS");
    for (char &c : configs)
        if (c == ',')
            c = ' ';
    std::string out;
    const int rc = testsupport::RunShell(
        "sh " + Env("SONALYX_PIPEWIRE_SERVER") + " restart " + Dir() + " " + configs + " " + extra + " 2>&1", out);
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
