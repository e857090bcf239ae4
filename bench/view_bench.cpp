// Benchmarks of the scene tree view at a million objects, run offscreen:
// filling a tree, editing and filtering with two windows open in the
// editor's main frame, with and without the scene's recovery journal, timed
// until every window is laid out and painted (against a minimal model over a
// plain vector as the floor that QTreeView itself sets), the colour filters
// of one window, and opening a scene file into two windows.
//
// Peak memory of the last one: run it alone under /usr/bin/time -v, e.g.
//   QT_QPA_PLATFORM=offscreen /usr/bin/time -v build/release/bin/tesk_bench --benchmark_filter=BM_OpenTwoWindows
// and read "Maximum resident set size"; the benchmark also reports it as
// the counter peak_rss_mb.
#include "app/childfrm.h"
#include "app/mainfrm.h"
#include "bench/benchapp.h"
#include "document/commands.h"
#include "document/teskdoc.h"
#include "framework/core/ansi.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/mdiframewnd.h"
#include "framework/gui/multidoctemplate.h"
#include "framework/gui/winapp.h"
#include "journal/docjournal.h"
#include "view/scenetreemodel.h"
#include "view/teskview.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace {

// Runs posted work (delayed layouts) and repaints every viewport at once.
void settle(std::initializer_list<QAbstractItemView*> views)
{
    QCoreApplication::processEvents();
    for (QAbstractItemView* view : views)
        view->viewport()->repaint();
}

// View > Add view, and the turns of the event loop until its window is the active one.
void addView(CMainFrame& frame)
{
    const fw::FrameWindow* before = frame.MDIGetActive();
    frame.OnCommand(ID_ADD_VIEW);
    while (frame.MDIGetActive() == before)
        QCoreApplication::processEvents();
}

std::vector<std::unique_ptr<C3dObject>> sceneObjects(int count, bool halfUserDefined)
{
    std::vector<std::unique_ptr<C3dObject>> objects;
    objects.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto shape = std::make_unique<C3dShape>(i, -i, 0, 1 + i % 3);
        if (halfUserDefined && i % 2 == 1) {
            shape->m_nColourMode = COLOUR_USER;
            shape->m_nColour = C3dShape::Rgb(i & 0xFF, 128, 0);
        }
        objects.push_back(std::make_unique<C3dObject>(std::move(shape)));
    }
    return objects;
}

void showView(QAbstractItemView* view, int x)
{
    view->setGeometry(x, 0, 400, 600);
    view->show();
}

double peakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Reports the median of the timed iterations next to the mean.
void reportMedian(benchmark::State& state, std::vector<double> seconds)
{
    if (seconds.empty())
        return;
    std::nth_element(seconds.begin(), seconds.begin() + seconds.size() / 2, seconds.end());
    state.counters["median_ms"] = seconds[seconds.size() / 2] * 1000.0;
}

// The scene and windows of one benchmark family, kept across its runs (the
// setup of a million objects costs more than the operations measured).
// One family is kept at a time; a different one replaces it.
struct Fixture {
    virtual ~Fixture() = default;
};

struct FixtureSlot {
    std::unique_ptr<Fixture> fixture;
    int count = -1;
};

// Never destroyed: its widgets must not outlive the QApplication's use at exit.
FixtureSlot& fixtureSlot()
{
    static auto* slot = new FixtureSlot;
    return *slot;
}

template <typename F>
F& cachedFixture(int count)
{
    FixtureSlot& slot = fixtureSlot();
    auto* current = dynamic_cast<F*>(slot.fixture.get());
    if (!current || slot.count != count) {
        slot.fixture.reset();
        auto fresh = std::make_unique<F>(count);
        current = fresh.get();
        slot.fixture = std::move(fresh);
        slot.count = count;
    }
    return *current;
}

enum class Edit { Add, Rename, Delete };

// A million-object scene file, and an application with one document
// template over the editor's main window (menus, toolbar, status bar and
// its idle update of the toolbar), with the editor's scene windows.
struct OpenFixture {
    explicit OpenFixture(int count)
    {
        CTeskDoc scene;
        scene.ReplaceObjects(sceneObjects(count, true));
        if (!scene.OnSaveDocument(path, &error))
            return;
        frame.SetAsMainWindow();
        auto owned = std::make_unique<fw::MultiDocTemplate>(
            &frame, [] { return std::make_unique<CTeskDoc>(); }, [] { return new CChildFrame; },
            [] { return new CTeskView; });
        docTemplate = owned.get();
        app.AddDocTemplate(std::move(owned));
        frame.resize(1000, 700);
        frame.show();
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("million.qbx"));
    fw::FileError error;
    fw::WinApp app;
    CMainFrame frame;
    fw::MultiDocTemplate* docTemplate = nullptr;
};

// What the user waits for after a command that took `command` seconds: the
// posted work (each window's relayout, which a later window puts off by two
// turns of the event loop), then the paint of every window on the scene.
// Returns the longest of those steps in seconds: the longest that input
// waited. The command and the turn after it count as one step, as input
// that arrives during the command is answered only after that turn's
// posted work (the stall meter reads them as one stall).
double settleScene(fw::MultiDocTemplate* docTemplate, const fw::Document* doc, double command)
{
    double longest = 0;
    double carried = command;
    const auto step = [&longest, &carried](auto&& work) {
        const auto start = Clock::now();
        work();
        longest = std::max(longest, std::exchange(carried, 0.0) + secondsSince(start));
    };
    // The relayouts' turns and one more.
    for (int turn = 0; turn < 4; ++turn)
        step([] { QCoreApplication::processEvents(); });
    for (fw::FrameWindow* frame : docTemplate->framesOf(doc)) {
        if (auto* view = dynamic_cast<QAbstractItemView*>(frame->GetActiveView()))
            step([view] { view->viewport()->repaint(); });
    }
    return longest;
}

// Two windows on one scene opened from its file, the second by Add view, in
// the editor's main frame; commands go through the frame to the active
// window, as the menu sends them.
struct TwoViews : Fixture {
    explicit TwoViews(int count)
        : files(count)
    {
        if (!files.docTemplate)
            return;
        doc = dynamic_cast<CTeskDoc*>(files.docTemplate->OpenDocumentFile(files.path, &files.error));
        if (!doc)
            return;
        addView(files.frame);
        settle();
    }
    ~TwoViews() override
    {
        if (files.docTemplate)
            files.docTemplate->CloseAllDocuments();
    }

    double settle(double command = 0) const { return settleScene(files.docTemplate, doc, command); }
    CTeskView* activeView() const { return dynamic_cast<CTeskView*>(files.frame.GetActiveView()); }

    OpenFixture files;
    CTeskDoc* doc = nullptr;
    // No edit has been timed yet: the next one is the first after opening.
    bool fresh = true;
};

// The same with the scene's recovery journal on, in a folder of its own.
struct JournalTwoViews : TwoViews {
    explicit JournalTwoViews(int count)
        : TwoViews(count)
    {
        if (doc)
            CDocJournal::Attach(*doc, dir.path());
    }

    QTemporaryDir dir;
};

// The time is the command until every window on the scene shows it. Counters:
// longest_step_ms, the median over the iterations of the longest step
// (the command with the turn after it, or a later turn or paint), which
// input waits for; and
// first_ms and first_longest_step_ms, the time and the longest step of the
// first edit after the scene was opened and its second window added, when
// this run had it (what the stall meter's one edit of a fresh scene reads:
// lists that grow pay for it there, not in the later edits).
template <typename F>
void editTwoViews(benchmark::State& state, Edit edit)
{
    ensureApp();
    F& f = cachedFixture<F>(static_cast<int>(state.range(0)));
    if (!f.doc) {
        state.SkipWithError(f.files.error.reason.toUtf8().constData());
        return;
    }
    fw::MdiFrameWnd& frame = f.files.frame;
    std::vector<double> seconds;
    std::vector<double> longest;
    double first = 0;
    double firstLongest = 0;
    bool flip = false;
    for (auto _ : state) {
        if (edit == Edit::Delete) {
            // The second object, selected in the active window.
            CTeskView* view = f.activeView();
            view->setCurrentIndex(view->model()->index(1, 0));
        }
        const auto start = Clock::now();
        switch (edit) {
        case Edit::Add: frame.OnCommand(ID_ADD_SPHERE); break;
        case Edit::Rename: {
            // The first object: its item is on screen in both windows.
            C3dObject* object = f.doc->GetObjects().front().get();
            object->m_pShape->SetName((flip = !flip) ? "Kula" : "Kuleczka");
            f.doc->ObjectChanged(object);
            break;
        }
        case Edit::Delete: frame.OnCommand(ID_OBJECT_DELETE); break;
        }
        longest.push_back(f.settle(secondsSince(start)));
        seconds.push_back(secondsSince(start));
        state.SetIterationTime(seconds.back());
        if (std::exchange(f.fresh, false)) {
            first = seconds.back();
            firstLongest = longest.back();
        }
        // Keep the scene's size: undo an add, replace a deleted object.
        if (edit == Edit::Add)
            f.doc->RemoveObject(f.doc->GetObjects().back().get());
        else if (edit == Edit::Delete)
            f.doc->AddObject(SHAPE_CUBE);
        if (edit != Edit::Rename)
            f.settle();
    }
    if (first > 0) {
        state.counters["first_ms"] = first * 1000.0;
        state.counters["first_longest_step_ms"] = firstLongest * 1000.0;
    }
    std::sort(longest.begin(), longest.end());
    if (!longest.empty())
        state.counters["longest_step_ms"] = longest[longest.size() / 2] * 1000.0;
    reportMedian(state, std::move(seconds));
}

void BM_EditTwoViews(benchmark::State& state, Edit edit) { editTwoViews<TwoViews>(state, edit); }
void BM_EditTwoViewsJournal(benchmark::State& state, Edit edit) { editTwoViews<JournalTwoViews>(state, edit); }

// The floor: the least a two-level model over a plain vector can do for the
// same edits, with the same view settings. Property items carry their
// object's row + 1, objects are found by a linear search.
class FloorModel : public QAbstractItemModel {
public:
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override
    {
        if (!hasIndex(row, column, parent))
            return {};
        return createIndex(row, column, parent.isValid() ? quintptr(parent.row() + 1) : quintptr(0));
    }
    QModelIndex parent(const QModelIndex& child) const override
    {
        return child.internalId() == 0 ? QModelIndex() : createIndex(int(child.internalId() - 1), 0, quintptr(0));
    }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        if (!parent.isValid())
            return int(rows.size());
        return parent.internalId() == 0 ? 5 : 0;
    }
    int columnCount(const QModelIndex& = {}) const override { return 1; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        if (index.internalId() == 0)
            return fw::fromAnsi(rows[std::size_t(index.row())]->m_pShape->m_szName);
        const C3dShape& shape = *rows[std::size_t(index.internalId() - 1)]->m_pShape;
        switch (index.row()) {
        case 0: return QStringLiteral("x: ") + QString::number(shape.m_nX);
        case 1: return QStringLiteral("y: ") + QString::number(shape.m_nY);
        case 2: return QStringLiteral("z: ") + QString::number(shape.m_nZ);
        case 3: return QStringLiteral("type: ") + QLatin1String(shape.GetTypeName());
        default: return QStringLiteral("colour: ") + QLatin1String(shape.GetColourText());
        }
    }

    void append(C3dObject* object)
    {
        beginInsertRows({}, int(rows.size()), int(rows.size()));
        rows.push_back(object);
        endInsertRows();
    }
    void remove(C3dObject* object)
    {
        const int row = int(std::find(rows.begin(), rows.end(), object) - rows.begin());
        beginRemoveRows({}, row, row);
        rows.erase(rows.begin() + row);
        endRemoveRows();
    }
    // Only the object item: its property items are not on screen.
    void changed(C3dObject* object)
    {
        const int row = int(std::find(rows.begin(), rows.end(), object) - rows.begin());
        const QModelIndex item = index(row, 0);
        emit dataChanged(item, item);
    }

    std::vector<C3dObject*> rows;
};

struct FloorViews : Fixture {
    explicit FloorViews(int count)
    {
        objects = sceneObjects(count, false);
        for (int i = 0; i < 2; ++i) {
            for (const auto& object : objects)
                models[i].rows.push_back(object.get());
            views[i].setHeaderHidden(true);
            views[i].setUniformRowHeights(true);
            views[i].setModel(&models[i]);
            showView(&views[i], 400 * i);
        }
        settle({&views[0], &views[1]});
    }

    std::vector<std::unique_ptr<C3dObject>> objects;
    FloorModel models[2];
    QTreeView views[2];
};

void BM_EditFloor(benchmark::State& state, Edit edit)
{
    ensureApp();
    FloorViews& f = cachedFixture<FloorViews>(static_cast<int>(state.range(0)));
    auto& objects = f.objects;
    std::vector<double> seconds;
    bool flip = false;
    for (auto _ : state) {
        const auto start = Clock::now();
        switch (edit) {
        case Edit::Add:
            objects.push_back(std::make_unique<C3dObject>(std::make_unique<C3dShape>(0, 0, 0, SHAPE_SPHERE)));
            for (FloorModel& model : f.models)
                model.append(objects.back().get());
            break;
        case Edit::Rename:
            objects.front()->m_pShape->SetName((flip = !flip) ? "Kula" : "Kuleczka");
            for (FloorModel& model : f.models)
                model.changed(objects.front().get());
            break;
        case Edit::Delete:
            for (FloorModel& model : f.models)
                model.remove(objects[1].get());
            objects.erase(objects.begin() + 1);
            break;
        }
        settle({&f.views[0], &f.views[1]});
        seconds.push_back(secondsSince(start));
        state.SetIterationTime(seconds.back());
        if (edit == Edit::Add) {
            for (FloorModel& model : f.models)
                model.remove(objects.back().get());
            objects.pop_back();
        } else if (edit == Edit::Delete) {
            objects.push_back(std::make_unique<C3dObject>(std::make_unique<C3dShape>(0, 0, 0, SHAPE_CUBE)));
            for (FloorModel& model : f.models)
                model.append(objects.back().get());
        }
        if (edit != Edit::Rename)
            settle({&f.views[0], &f.views[1]});
    }
    reportMedian(state, std::move(seconds));
}

// The View menu's item that sends `command`, opened from the menu bar as
// Alt+V opens it, with the item highlighted as the arrow keys leave it.
QMenu* openViewMenuAt(CMainFrame& frame, int command)
{
    for (QAction* title : frame.menuBar()->actions()) {
        QMenu* menu = title->menu();
        if (!menu)
            continue;
        for (QAction* item : menu->actions()) {
            if (item->data().toInt() != command)
                continue;
            frame.menuBar()->setActiveAction(title);
            QCoreApplication::processEvents();
            menu->setActiveAction(item);
            QCoreApplication::processEvents();
            return menu;
        }
    }
    return nullptr;
}

// A filter chosen with Return in the View menu of the editor's main window,
// for the active one of two windows, from the filter `from`; timed from the
// key until the menu has closed and every window is laid out and painted.
// The other window keeps every object. Counter longest_step_ms as for the edits.
void BM_FilterTwoViews(benchmark::State& state, int from, int to)
{
    ensureApp();
    TwoViews& f = cachedFixture<TwoViews>(static_cast<int>(state.range(0)));
    if (!f.doc) {
        state.SkipWithError(f.files.error.reason.toUtf8().constData());
        return;
    }
    static constexpr int kCommand[] = {ID_SHOW_ALL, ID_SHOW_LISTED, ID_SHOW_USER};
    CMainFrame& frame = f.files.frame;
    std::vector<double> seconds;
    std::vector<double> longest;
    for (auto _ : state) {
        if (f.activeView()->m_nFilter != from) {
            frame.OnCommand(kCommand[from]);
            f.settle();
        }
        QMenu* menu = openViewMenuAt(frame, kCommand[to]);
        if (!menu) {
            state.SkipWithError("no menu item for the filter");
            break;
        }
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        const auto start = Clock::now();
        QCoreApplication::sendEvent(menu, &enter);
        longest.push_back(f.settle(secondsSince(start)));
        seconds.push_back(secondsSince(start));
        state.SetIterationTime(seconds.back());
        if (f.activeView()->m_nFilter != to) {
            state.SkipWithError("the menu did not apply the filter");
            break;
        }
    }
    state.counters["rows"] = static_cast<double>(f.activeView()->model()->rowCount());
    std::sort(longest.begin(), longest.end());
    if (!longest.empty())
        state.counters["longest_step_ms"] = longest[longest.size() / 2] * 1000.0;
    reportMedian(state, std::move(seconds));
    // Later benchmarks on the same windows start from every object.
    frame.OnCommand(ID_SHOW_ALL);
    f.settle();
}

// One window on a scene whose every other object has a user-defined colour.
struct FilterView : Fixture {
    explicit FilterView(int count)
    {
        doc.ReplaceObjects(sceneObjects(count, true));
        doc.AddView(view);
        view->OnInitialUpdate();
        showView(view, 0);
        settle({view});
    }
    ~FilterView() override { delete view; }

    CTeskDoc doc;
    CTeskView* view = new CTeskView;
};

void BM_FillTree(benchmark::State& state)
{
    ensureApp();
    CTeskDoc doc;
    doc.ReplaceObjects(sceneObjects(static_cast<int>(state.range(0)), false));
    auto view = std::make_unique<CTeskView>();
    doc.AddView(view.get());
    showView(view.get(), 0);
    for (auto _ : state) {
        view->OnInitialUpdate();
        settle({view.get()});
    }
    state.counters["rows"] = static_cast<double>(view->model()->rowCount());
}

void BM_FilterNarrow(benchmark::State& state)
{
    ensureApp();
    FilterView& f = cachedFixture<FilterView>(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        if (f.view->m_nFilter != FILTER_ALL) {
            f.view->OnShowAll();
            settle({f.view});
        }
        // Some expanded items for the narrowing to carry along.
        for (int row = 0; row < 50; ++row)
            f.view->expand(f.view->model()->index(row, 0));
        state.ResumeTiming();
        f.view->OnShowListed();
        settle({f.view});
    }
    state.counters["rows"] = static_cast<double>(f.view->model()->rowCount());
}

void BM_FilterRebuild(benchmark::State& state)
{
    ensureApp();
    FilterView& f = cachedFixture<FilterView>(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        if (f.view->m_nFilter != FILTER_USER) {
            f.view->OnShowUserDefined();
            settle({f.view});
        }
        state.ResumeTiming();
        // From a colour filter back to every object: a full rebuild.
        f.view->OnShowAll();
        settle({f.view});
    }
    state.counters["rows"] = static_cast<double>(f.view->model()->rowCount());
}

// The first window's view of `doc`.
QAbstractItemView* firstView(fw::MultiDocTemplate* docTemplate, fw::Document* doc)
{
    return dynamic_cast<CTeskView*>(docTemplate->framesOf(doc).front()->GetActiveView());
}

void BM_OpenTwoWindows(benchmark::State& state)
{
    ensureApp();
    // One main frame at a time: a kept edit fixture has its own.
    fixtureSlot().fixture.reset();
    OpenFixture f(static_cast<int>(state.range(0)));
    if (!f.docTemplate) {
        state.SkipWithError(f.error.reason.toUtf8().constData());
        return;
    }
    for (auto _ : state) {
        fw::FileError error;
        fw::Document* doc = f.docTemplate->OpenDocumentFile(f.path, &error);
        if (!doc) {
            state.SkipWithError(error.reason.toUtf8().constData());
            break;
        }
        addView(f.frame);
        const std::vector<fw::FrameWindow*> frames = f.docTemplate->framesOf(doc);
        QAbstractItemView* first = dynamic_cast<CTeskView*>(frames.front()->GetActiveView());
        QAbstractItemView* second = dynamic_cast<CTeskView*>(frames.back()->GetActiveView());
        settle({first, second});
        state.PauseTiming();
        f.docTemplate->CloseAllDocuments();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["peak_rss_mb"] = peakRssMb();
}

// Opening the scene file in a window, to its first painted frame, in this
// process; the counter close_ms is closing that window again (after an edit,
// unsaved, as after Discard). The cold-process forms are in BM_SceneCold.
void BM_OpenToFirstPaint(benchmark::State& state)
{
    ensureApp();
    // One main frame at a time: a kept edit fixture has its own.
    fixtureSlot().fixture.reset();
    OpenFixture f(static_cast<int>(state.range(0)));
    if (!f.docTemplate) {
        state.SkipWithError(f.error.reason.toUtf8().constData());
        return;
    }
    std::vector<double> opens;
    std::vector<double> closes;
    for (auto _ : state) {
        const auto start = Clock::now();
        fw::FileError error;
        auto* doc = dynamic_cast<CTeskDoc*>(f.docTemplate->OpenDocumentFile(f.path, &error));
        if (!doc) {
            state.SkipWithError(error.reason.toUtf8().constData());
            break;
        }
        settle({firstView(f.docTemplate, doc)});
        opens.push_back(secondsSince(start));
        state.SetIterationTime(opens.back());

        doc->AddObject(SHAPE_SPHERE);
        settle({firstView(f.docTemplate, doc)});
        doc->SetModifiedFlag(false);
        const auto closing = Clock::now();
        f.docTemplate->framesOf(doc).front()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        closes.push_back(secondsSince(closing));
    }
    std::sort(closes.begin(), closes.end());
    state.counters["close_ms"] = closes.empty() ? 0 : closes[closes.size() / 2] * 1e3;
    reportMedian(state, std::move(opens));
}

} // namespace

BENCHMARK(BM_FillTree)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_EditTwoViews, add, Edit::Add)->Arg(1000000)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EditTwoViews, rename, Edit::Rename)->Arg(1000000)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EditTwoViews, delete, Edit::Delete)->Arg(1000000)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EditTwoViewsJournal, add, Edit::Add)->Arg(1000000)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EditTwoViewsJournal, rename, Edit::Rename)->Arg(1000000)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EditTwoViewsJournal, delete, Edit::Delete)->Arg(1000000)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EditFloor, add, Edit::Add)->Arg(1000000)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EditFloor, rename, Edit::Rename)->Arg(1000000)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EditFloor, delete, Edit::Delete)->Arg(1000000)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FilterTwoViews, listed_from_all, FILTER_ALL, FILTER_LISTED)->Arg(1000000)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FilterTwoViews, all_from_listed, FILTER_LISTED, FILTER_ALL)->Arg(1000000)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterNarrow)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FilterRebuild)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenTwoWindows)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenToFirstPaint)->Arg(1000000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();
