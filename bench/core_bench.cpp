// Scene file speed: saving and opening a scene of many objects through the
// document's own save and open, against the floor of reading the file's bytes.

#include "bench/benchscene.h"
#include "bench/coldprocess.h"
#include "document/teskdoc.h"

#include <QFile>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>

namespace {

using benchscene::makeScene;
using benchscene::prepareSceneFile;
using benchscene::scenePath;

void BM_SaveScene(benchmark::State& state)
{
    const std::unique_ptr<CTeskDoc> doc = makeScene(state.range(0));
    for (auto _ : state) {
        QString error;
        if (!doc->OnSaveDocument(scenePath(), &error)) {
            state.SkipWithError(error.toStdString().c_str());
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
        QString error;
        if (!doc->OnOpenDocument(scenePath(), &error)) {
            state.SkipWithError(error.toStdString().c_str());
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
        QString error;
        if (!doc->OnOpenDocument(scenePath(), &error)) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
        warm.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["cold_ms"] = coldprocess::median(cold) * 1e3;
    state.counters["warm_ms"] = coldprocess::median(warm) * 1e3;
    state.counters["vs_warm"] = coldprocess::median(cold) / coldprocess::median(warm);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_SaveScene)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_LoadScene)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_LoadSceneCold)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
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
