// Start-up of tesk to its main window with an empty scene, against a minimal
// Qt main window built with the same flags, and against a main window with a
// menu bar and a line of status text (the fonts and style set-up that any
// window with text pays). Each iteration starts the three forms of
// tesk_startup_probe (built next to this binary) as fresh processes, one
// after the other, and times each from the spawn to the probe's report that
// its window has been painted. Medians are reported as counters; the
// benchmark's own time is tesk's.
//   make bench BENCH_FILTER=BM_StartUp

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

std::string probePath()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tesk_startup_probe").string();
}

// Seconds from spawning the probe to its "shown" byte; negative on failure.
double timeStartUp(const std::string& probe, const char* form)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string arg0 = probe;
    std::string arg1 = form;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, probe.c_str(), &actions, nullptr, argv, environ);
    ::close(fds[1]);
    posix_spawn_file_actions_destroy(&actions);
    char shown = 0;
    ssize_t got = -1;
    if (spawned == 0) {
        do
            got = ::read(fds[0], &shown, 1);
        while (got < 0 && errno == EINTR);
    }
    const auto end = std::chrono::steady_clock::now();
    ::close(fds[0]);
    int status = 0;
    if (spawned == 0)
        ::waitpid(pid, &status, 0);
    if (spawned != 0 || got != 1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(end - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_StartUp(benchmark::State& state)
{
    const std::string probe = probePath();
    std::vector<double> minimal;
    std::vector<double> text;
    std::vector<double> tesk;
    for (auto _ : state) {
        const double minimalSeconds = timeStartUp(probe, "minimal");
        const double textSeconds = timeStartUp(probe, "text");
        const double teskSeconds = timeStartUp(probe, "tesk");
        if (minimalSeconds < 0 || textSeconds < 0 || teskSeconds < 0) {
            state.SkipWithError("tesk_startup_probe failed to start or to report (is it built?)");
            return;
        }
        minimal.push_back(minimalSeconds);
        text.push_back(textSeconds);
        tesk.push_back(teskSeconds);
        state.SetIterationTime(teskSeconds);
    }
    state.counters["minimal_ms"] = median(minimal) * 1e3;
    state.counters["text_ms"] = median(text) * 1e3;
    state.counters["tesk_ms"] = median(tesk) * 1e3;
    state.counters["vs_minimal"] = median(tesk) / median(minimal);
    state.counters["vs_text"] = median(tesk) / median(text);
}

BENCHMARK(BM_StartUp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace
