// Scene file speed: saving and opening a scene of many objects through the
// document's own save and open, against the floor of reading the file's bytes.

#include "document/teskdoc.h"

#include <QFile>
#include <benchmark/benchmark.h>
#include <memory>
#include <unistd.h>

namespace {

// A scene file in /tmp for this process, removed at exit.
class SceneFile {
public:
    SceneFile()
        : m_path(QStringLiteral("/tmp/tesk-core-bench-%1.qbx").arg(::getpid()))
    {
    }
    ~SceneFile() { QFile::remove(m_path); }
    const QString& path() const { return m_path; }

private:
    QString m_path;
};

const QString& scenePath()
{
    static const SceneFile file;
    return file.path();
}

// A scene of `count` objects of every type, position and colour kind.
std::unique_ptr<CTeskDoc> makeScene(std::int64_t count)
{
    auto doc = std::make_unique<CTeskDoc>();
    doc->m_objects.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        const auto n = static_cast<std::int32_t>(i);
        auto shape = std::make_unique<C3dShape>(n, -n, n / 2, static_cast<std::int32_t>(i % 3) + 1);
        shape->m_nColourMode = n % 2;
        shape->m_nColour = n % 2 ? C3dShape::Rgb(n, n >> 8, n >> 16) : n % 3;
        doc->m_objects.push_back(std::make_unique<C3dObject>(std::move(shape)));
    }
    return doc;
}

// Makes sure the scene file holds `count` objects.
bool prepareSceneFile(benchmark::State& state)
{
    static std::int64_t written = -1;
    if (written == state.range(0))
        return true;
    QString error;
    if (!makeScene(state.range(0))->OnSaveDocument(scenePath(), &error)) {
        state.SkipWithError(error.toStdString().c_str());
        return false;
    }
    written = state.range(0);
    return true;
}

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

BENCHMARK(BM_SaveScene)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_LoadScene)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
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
