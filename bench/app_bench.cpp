// Cold processes of tesk, timed from the spawn as users meet them, each
// against a floor measured side by side in the same iteration:
//   BM_StartUp       tesk with an empty scene to its first painted frame,
//                    against a bare Qt main window and one with a menu bar
//                    and a status-bar text (tesk_startup_probe's forms);
//   BM_SceneCold     a scene of a million objects: `qbx check` of the file
//                    (the cold load), `tesk FILE` to its first painted frame,
//                    closing the scene's window, and quitting with it open.
// Medians are reported as counters.
//   make bench BENCH_FILTER='BM_StartUp|BM_SceneCold'

#include "bench/benchscene.h"
#include "bench/coldprocess.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <string>
#include <vector>

namespace {

// Seconds from spawning the probe to its first byte; negative on failure.
double timeToFirstPaint(const std::vector<std::string>& argv)
{
    const coldprocess::Run run = coldprocess::run(argv);
    return run.ok && run.output == "1" ? run.firstOutput : -1;
}

void BM_StartUp(benchmark::State& state)
{
    const std::string probe = coldprocess::sibling("tesk_startup_probe");
    std::vector<double> minimal;
    std::vector<double> text;
    std::vector<double> tesk;
    for (auto _ : state) {
        const double minimalSeconds = timeToFirstPaint({probe, "minimal"});
        const double textSeconds = timeToFirstPaint({probe, "text"});
        const double teskSeconds = timeToFirstPaint({probe, "tesk"});
        if (minimalSeconds < 0 || textSeconds < 0 || teskSeconds < 0) {
            state.SkipWithError("tesk_startup_probe failed to start or to report (is it built?)");
            return;
        }
        minimal.push_back(minimalSeconds);
        text.push_back(textSeconds);
        tesk.push_back(teskSeconds);
        state.SetIterationTime(teskSeconds);
    }
    using coldprocess::median;
    state.counters["minimal_ms"] = median(minimal) * 1e3;
    state.counters["text_ms"] = median(text) * 1e3;
    state.counters["tesk_ms"] = median(tesk) * 1e3;
    state.counters["vs_minimal"] = median(tesk) / median(minimal);
    state.counters["vs_text"] = median(tesk) / median(text);
}

void BM_SceneCold(benchmark::State& state)
{
    if (!benchscene::prepareSceneFile(state))
        return;
    const std::string qbx = coldprocess::sibling("qbx");
    const std::string probe = coldprocess::sibling("tesk_startup_probe");
    const std::string path = benchscene::scenePath().toStdString();
    std::vector<double> check;
    std::vector<double> open;
    std::vector<double> close;
    std::vector<double> quit;
    for (auto _ : state) {
        const coldprocess::Run checked = coldprocess::run({qbx, "check", path});
        const double openSeconds = timeToFirstPaint({probe, "tesk", path});
        const coldprocess::Run closed = coldprocess::run({probe, "close", path});
        const coldprocess::Run quitted = coldprocess::run({probe, "quit", path});
        if (!checked.ok || openSeconds < 0 || !closed.ok || closed.output.empty() || !quitted.ok
            || quitted.output.empty()) {
            state.SkipWithError("qbx or tesk_startup_probe failed (are they built beside tesk_bench?)");
            return;
        }
        check.push_back(checked.exited);
        open.push_back(openSeconds);
        close.push_back(std::stod(closed.output) * 1e-9);
        // The probe reports when it starts to quit; the process's end is ours to see.
        const double quitStart = std::stod(quitted.output) * 1e-9;
        quit.push_back(std::chrono::duration<double>(quitted.end.time_since_epoch()).count() - quitStart);
        state.SetIterationTime(openSeconds);
    }
    using coldprocess::median;
    state.counters["check_ms"] = median(check) * 1e3;
    state.counters["open_ms"] = median(open) * 1e3;
    state.counters["close_ms"] = median(close) * 1e3;
    state.counters["quit_ms"] = median(quit) * 1e3;
    state.counters["open_vs_check"] = median(open) / median(check);
    state.counters["close_vs_check"] = median(close) / median(check);
    state.counters["quit_vs_check"] = median(quit) / median(check);
}

BENCHMARK(BM_StartUp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_SceneCold)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);

} // namespace
