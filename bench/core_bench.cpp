// Scene file speed: saving and opening a scene of many objects through the
// document's own save and open, against the floor of reading the file's bytes;
// and the memory of a scene that loses most of its objects and gains as many.

#include "bench/benchscene.h"
#include "bench/coldprocess.h"
#include "document/teskdoc.h"
#include "framework/core/arena.h"

#include <QFile>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <vector>

namespace {

using benchscene::makeScene;
using benchscene::prepareSceneFile;
using benchscene::scenePath;

void BM_SaveScene(benchmark::State& state)
{
    const std::unique_ptr<CTeskDoc> doc = makeScene(state.range(0));
    for (auto _ : state) {
        fw::FileError error;
        if (!doc->OnSaveDocument(scenePath(), &error)) {
            state.SkipWithError(error.reason.toStdString().c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadScene(benchmark::State& state)
{
    if (!prepareSceneFile(state))
        return;
    for (auto _ : state) {
        auto doc = std::make_unique<CTeskDoc>();
        fw::FileError error;
        if (!doc->OnOpenDocument(scenePath(), &error)) {
            state.SkipWithError(error.reason.toStdString().c_str());
            break;
        }
        // Tearing the scene down is not part of opening it.
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ReadFileBytes(benchmark::State& state)
{
    if (!prepareSceneFile(state))
        return;
    for (auto _ : state) {
        QFile file(scenePath());
        if (!file.open(QIODevice::ReadOnly)) {
            state.SkipWithError(file.errorString().toStdString().c_str());
            break;
        }
        const QByteArray data = file.readAll();
        benchmark::DoNotOptimize(data.constData());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A cold load as users meet it: `qbx check` of the scene file as a fresh
// process, from the spawn to its exit, against the same load in this (warm)
// process right after it. The benchmark's time is the cold one; the counters
// give both medians and their ratio.
void BM_LoadSceneCold(benchmark::State& state)
{
    if (!prepareSceneFile(state))
        return;
    const std::string qbx = coldprocess::sibling("qbx");
    const std::string path = scenePath().toStdString();
    std::vector<double> cold;
    std::vector<double> warm;
    for (auto _ : state) {
        const coldprocess::Run check = coldprocess::run({qbx, "check", path});
        if (!check.ok) {
            state.SkipWithError("qbx check failed (is qbx built beside tesk_bench?)");
            return;
        }
        cold.push_back(check.exited);
        state.SetIterationTime(check.exited);

        const auto start = std::chrono::steady_clock::now();
        auto doc = std::make_unique<CTeskDoc>();
        fw::FileError error;
        if (!doc->OnOpenDocument(scenePath(), &error)) {
            state.SkipWithError(error.reason.toStdString().c_str());
            return;
        }
        warm.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["cold_ms"] = coldprocess::median(cold) * 1e3;
    state.counters["warm_ms"] = coldprocess::median(warm) * 1e3;
    state.counters["vs_warm"] = coldprocess::median(cold) / coldprocess::median(warm);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A scene of N objects loses nine in ten, spread evenly, then gains as
// many new ones. The arena's memory at its peak against what the scene
// held before the deletions: `growth` (0.1 is 10% more).
void BM_DeleteAndRefill(benchmark::State& state)
{
    const auto count = static_cast<std::int32_t>(state.range(0));
    const auto make = [](std::int32_t n) {
        return std::make_unique<C3dObject>(std::make_unique<C3dShape>(n, -n, n / 2, n % 3 + 1));
    };
    double held = 0;
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<C3dObject>> objects;
        objects.reserve(static_cast<std::size_t>(count));
        for (std::int32_t i = 0; i < count; ++i)
            objects.push_back(make(i));
        const std::size_t heldBlocks = fw::Arena::blocksInUse();
        state.ResumeTiming();
        for (std::int32_t i = 0; i < count; ++i)
            if (i % 10 != 0)
                objects[static_cast<std::size_t>(i)].reset();
        std::erase(objects, nullptr);
        const std::size_t afterDeletions = fw::Arena::blocksInUse();
        for (std::int32_t i = 0; i < count - count / 10; ++i)
            objects.push_back(make(i));
        const std::size_t peakBlocks = std::max(afterDeletions, fw::Arena::blocksInUse());
        state.PauseTiming();
        objects.clear();
        state.ResumeTiming();
        held = double(heldBlocks * fw::Arena::kBlockSize) / (1 << 20);
        peak = double(peakBlocks * fw::Arena::kBlockSize) / (1 << 20);
    }
    state.counters["held_MB"] = held;
    state.counters["peak_MB"] = peak;
    state.counters["growth"] = peak / held - 1;
}

BENCHMARK(BM_SaveScene)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_LoadScene)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_LoadSceneCold)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_DeleteAndRefill)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ReadFileBytes)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

} // namespace

// The shared benchmark binary's entry point. Weak, so that an area whose
// benchmarks need more (an application object, say) can supply its own.
__attribute__((weak)) int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
