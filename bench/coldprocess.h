// Running a program as a fresh process and timing it, for the benchmarks
// that measure what users meet: cold processes, start to finish.
#pragma once

#include "framework/core/posix.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace coldprocess {

// A program built beside the running benchmark binary.
inline std::string sibling(const char* name)
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

struct Run {
    bool ok = false;          // started, and exited with status 0
    double firstOutput = -1;  // seconds from the spawn to the first byte on stdout
    double exited = -1;       // seconds from the spawn to the exit
    std::string output;       // all of stdout
    std::chrono::steady_clock::time_point end; // when the exit was seen
};

// Runs `argv` (argv[0] is the program's path) with stdout read to its end.
inline Run run(std::vector<std::string> argv)
{
    Run result;
    int fds[2];
    if (::pipe(fds) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    ::close(fds[1]);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ::close(fds[0]);
        return result;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = fw::retryOnInterrupt([&] { return ::read(fds[0], buffer, sizeof buffer); });
        if (got <= 0)
            break;
        if (result.output.empty())
            result.firstOutput = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fds[0]);
    int status = 0;
    fw::retryOnInterrupt([&] { return ::waitpid(pid, &status, 0); });
    result.end = std::chrono::steady_clock::now();
    result.exited = std::chrono::duration<double>(result.end - start).count();
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace coldprocess
