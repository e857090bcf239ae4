// The recovery journal at a million objects: the cost of the first change
// after an open (which starts the journal) and of any later change, with
// the journal on and off, and
// recovering a journal of 100,000 changes over its base beside opening the
// base alone. Both report medians of the timed iterations. And a long
// session of renames on a small scene: how large its compacted journal
// grows and how long recovering it takes.

#include "bench/benchapp.h"
#include "document/teskdoc.h"
#include "journal/docjournal.h"
#include "framework/core/filereader.h"
#include "journal/journalreader.h"
#include "journal/scenejournal.h"

#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// A base file of `count` objects in `dir`; false (and the benchmark skipped) on failure.
bool writeBase(benchmark::State& state, const QString& path, std::int64_t count)
{
    std::vector<std::unique_ptr<C3dObject>> objects;
    objects.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        const auto n = static_cast<std::int32_t>(i);
        objects.push_back(std::make_unique<C3dObject>(std::make_unique<C3dShape>(n, -n, 0, 1 + n % 3)));
    }
    CTeskDoc doc;
    doc.ReplaceObjects(std::move(objects));
    fw::FileError error;
    if (!doc.OnSaveDocument(path, &error)) {
        state.SkipWithError(error.reason.toStdString().c_str());
        return false;
    }
    return true;
}

// Opens the base afresh (untimed), then times one change of an object in
// the middle of the list: with the journal on, the change that starts it.
void BM_FirstChangeAfterOpen(benchmark::State& state, bool journal)
{
    ensureApp();
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("base.qbx"));
    if (!writeBase(state, base, state.range(0)))
        return;
    std::vector<double> ms;
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = std::make_unique<CTeskDoc>();
        fw::FileError error;
        if (!doc->OnOpenDocument(base, &error)) {
            state.SkipWithError(error.reason.toStdString().c_str());
            break;
        }
        if (journal)
            CDocJournal::Attach(*doc, dir.filePath(QStringLiteral("recovery")));
        C3dObject* object = doc->GetObjects()[doc->GetObjects().size() / 2].get();
        state.ResumeTiming();
        const auto start = Clock::now();
        object->m_pShape->m_nX += 1;
        doc->ObjectChanged(object);
        ms.push_back(msSince(start));
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
    state.counters["median_ms"] = median(ms);
}

// What the journal adds to each change, without views: changes of random
// objects of an open scene, with the journal on and off.
void BM_ChangeWithoutViews(benchmark::State& state, bool journal)
{
    ensureApp();
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("base.qbx"));
    if (!writeBase(state, base, state.range(0)))
        return;
    CTeskDoc doc;
    fw::FileError error;
    if (!doc.OnOpenDocument(base, &error)) {
        state.SkipWithError(error.reason.toStdString().c_str());
        return;
    }
    if (journal)
        CDocJournal::Attach(doc, dir.filePath(QStringLiteral("recovery")));
    std::mt19937 rng(1);
    // The first change starts the journal: measured by BM_FirstChangeAfterOpen.
    doc.ObjectChanged(doc.GetObjects().front().get());
    for (auto _ : state) {
        C3dObject* object = doc.GetObjects()[rng() % doc.GetObjects().size()].get();
        object->m_pShape->m_nX += 1;
        doc.ObjectChanged(object);
    }
}

// Writes a journal of `changes` random changes (two in five adds, two in
// five changes, one in five removals, at random positions) over a base of
// `objects` objects, straight through the journal writer.
std::unique_ptr<CSceneJournal> writeJournal(const QString& folder, const QString& base, std::size_t objects, int changes)
{
    QByteArray bytes;
    if (!fw::ReadWholeFile(base, bytes, nullptr))
        return nullptr;
    fw::FileHasher hasher;
    hasher.update(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    std::unique_ptr<CSceneJournal> journal = CSceneJournal::Start(folder, base, fw::StatFile(base, hasher.digest()), nullptr);
    journal->CreationWork()();
    if (!journal->FinishCreation())
        return nullptr;
    std::mt19937 rng(42);
    C3dObject object(std::make_unique<C3dShape>(0, 0, 0, SHAPE_SPHERE));
    std::size_t size = objects;
    for (int i = 0; i < changes; ++i) {
        const auto op = rng() % 5;
        object.m_pShape->m_nX = static_cast<std::int32_t>(rng());
        object.m_pShape->SetName(std::to_string(i));
        if (op < 2) {
            journal->Record(journal::Kind::Add, size++, &object);
        } else if (op < 4) {
            journal->Record(journal::Kind::Change, rng() % size, &object);
        } else {
            journal->Record(journal::Kind::Remove, rng() % size, nullptr);
            --size;
        }
    }
    journal->Sync();
    return journal;
}

// Each iteration opens the base through the document and recovers the
// journal over it from its bytes on disk, alternately, and reports the
// median of each and their ratio.
// With TESK_BENCH_KEEP set, the base and the journal stay on disk (their
// folder is the label), for `qbx recover` and `qbx check` on cold processes.
void BM_RecoverJournal(benchmark::State& state)
{
    QTemporaryDir dir;
    if (std::getenv("TESK_BENCH_KEEP")) {
        dir.setAutoRemove(false);
        state.SetLabel(dir.path().toStdString());
    }
    const QString base = dir.filePath(QStringLiteral("base.qbx"));
    if (!writeBase(state, base, state.range(0)))
        return;
    const std::unique_ptr<CSceneJournal> journal =
        writeJournal(dir.filePath(QStringLiteral("recovery")), base, static_cast<std::size_t>(state.range(0)), static_cast<int>(state.range(1)));
    if (!journal) {
        state.SkipWithError("cannot write the journal");
        return;
    }
    std::vector<double> openMs;
    std::vector<double> recoverMs;
    for (auto _ : state) {
        auto start = Clock::now();
        {
            CTeskDoc doc;
            fw::FileError error;
            if (!doc.OnOpenDocument(base, &error)) {
                state.SkipWithError(error.reason.toStdString().c_str());
                break;
            }
            openMs.push_back(msSince(start));
        }
        start = Clock::now();
        QByteArray bytes;
        JournalContents contents;
        if (!fw::ReadWholeFile(journal->path(), bytes, nullptr)
            || !ReadJournal(std::span<const char>(bytes.constData(), static_cast<std::size_t>(bytes.size())), contents, nullptr)) {
            state.SkipWithError("cannot read the journal");
            break;
        }
        RecoveredScene scene = RecoverScene(contents, base);
        recoverMs.push_back(msSince(start));
        if (!scene.recovered || scene.applied != static_cast<std::size_t>(state.range(1))) {
            state.SkipWithError("the journal did not recover whole");
            break;
        }
    }
    if (openMs.empty() || recoverMs.empty())
        return;
    state.counters["open_ms"] = median(openMs);
    state.counters["recover_ms"] = median(recoverMs);
    state.counters["ratio"] = median(recoverMs) / median(openMs);
}

// A scene of state.range(0) objects, saved, gets state.range(1) renames
// with its journal on (the time per rename); the journal's largest size
// through the session and the time to recover it at the end are counters.
void BM_CompactedRenames(benchmark::State& state)
{
    ensureApp();
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("base.qbx"));
    if (!writeBase(state, base, state.range(0)))
        return;
    const auto renames = static_cast<std::size_t>(state.range(1));
    double recoverMs = 0;
    std::uint64_t largest = 0;
    for (auto _ : state) {
        CTeskDoc doc;
        fw::FileError error;
        if (!doc.OnOpenDocument(base, &error)) {
            state.SkipWithError(error.reason.toStdString().c_str());
            return;
        }
        CDocJournal* keeper = CDocJournal::Attach(doc, dir.filePath(QStringLiteral("recovery")));
        std::mt19937 rng(1);
        for (std::size_t i = 0; i < renames; ++i) {
            C3dObject* object = doc.GetObjects()[rng() % doc.GetObjects().size()].get();
            object->m_pShape->SetName("renamed " + std::to_string(i));
            doc.ObjectChanged(object);
            largest = std::max(largest, keeper->journal()->length());
        }
        state.PauseTiming();
        const auto start = Clock::now();
        QByteArray bytes;
        JournalContents contents;
        if (!fw::ReadWholeFile(keeper->journal()->path(), bytes, nullptr)
            || !ReadJournal(std::span<const char>(bytes.constData(), static_cast<std::size_t>(bytes.size())), contents, nullptr)) {
            state.SkipWithError("cannot read the journal");
            return;
        }
        const RecoveredScene scene = RecoverScene(contents, base);
        recoverMs = msSince(start);
        if (!scene.recovered || scene.objects.size() != doc.GetObjects().size()
            || static_cast<std::uint64_t>(bytes.size()) > largest) {
            state.SkipWithError("the journal did not recover whole");
            return;
        }
        state.ResumeTiming();
    }
    state.counters["max_journal_MiB"] = static_cast<double>(largest) / (1024.0 * 1024.0);
    state.counters["recover_ms"] = recoverMs;
    state.counters["ns_per_rename"] =
        benchmark::Counter(static_cast<double>(renames) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK_CAPTURE(BM_FirstChangeAfterOpen, plain, false)->Arg(1000000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FirstChangeAfterOpen, journal, true)->Arg(1000000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ChangeWithoutViews, plain, false)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ChangeWithoutViews, journal, true)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecoverJournal)->Args({1000000, 100000})->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompactedRenames)->Args({1000, 1000000})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
