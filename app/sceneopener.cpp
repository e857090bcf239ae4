#include "app/sceneopener.h"

#include "app/openprogress.h"
#include "framework/core/filereader.h"
#include "framework/gui/userinput.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace {

// How often a shown progress is brought up to date.
constexpr std::chrono::milliseconds kPollInterval{100};

// Frees `objects` on a pool thread: a large scene takes longer to free than
// the GUI thread may be held.
void freeOffThread(std::vector<std::unique_ptr<C3dObject>> objects)
{
    if (objects.empty())
        return;
    auto doomed = std::make_shared<std::vector<std::unique_ptr<C3dObject>>>(std::move(objects));
    QThreadPool::globalInstance()->start([doomed]() mutable { doomed.reset(); });
}

} // namespace

struct CSceneOpener::Job {
    QString path;
    qint64 size = -1;
    QElapsedTimer clock;
    fw::ReadWatch watch;
    std::atomic<bool> done{false};
};

CSceneOpener::CSceneOpener(COpenProgress& progress, QWidget& window, std::function<void()> showWindow)
    : m_progress(progress)
    , m_window(window)
    , m_showWindow(std::move(showWindow))
{
    m_poll.setInterval(kPollInterval);
    connect(&m_poll, &QTimer::timeout, this, &CSceneOpener::showProgress);
    connect(&m_progress, &COpenProgress::cancelRequested, this, &CSceneOpener::Cancel);
}

SceneLoad CSceneOpener::Load(const QString& path)
{
    Job job;
    job.path = path;
    if (const QFileInfo file(path); file.isFile())
        job.size = file.size();
    job.clock.start();
    if (m_jobs.empty()) {
        qApp->installEventFilter(this);
        m_poll.start();
    }
    m_jobs.push_back(&job);

    QEventLoop loop;
    SceneLoad load;
    std::thread worker([&] {
        load = CTeskDoc::LoadScene(path, &job.watch);
        if (job.watch.cancelled.load())
            load.objects.clear();
        job.done.store(true);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    showProgress();
    loop.exec();
    // The loop ends early only when the application quits.
    if (!job.done.load())
        job.watch.cancelled.store(true);
    worker.join();

    m_jobs.erase(std::find(m_jobs.begin(), m_jobs.end(), &job));
    if (m_jobs.empty()) {
        m_poll.stop();
        qApp->removeEventFilter(this);
        m_progress.hide();
    } else {
        showProgress();
    }
    if (job.watch.cancelled.load()) {
        freeOffThread(std::move(load.objects));
        load.file.ok = false;
        load.file.cancelled = true;
    }
    return load;
}

bool CSceneOpener::IsLoading(const QString& path) const
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return std::any_of(m_jobs.begin(), m_jobs.end(), [&](const Job* job) {
        return !canonical.isEmpty() && QFileInfo(job->path).canonicalFilePath() == canonical;
    });
}

void CSceneOpener::Cancel()
{
    for (Job* job : m_jobs)
        job->watch.cancelled.store(true);
}

void CSceneOpener::showProgress()
{
    if (m_jobs.empty())
        return;
    const Job& job = *m_jobs.back();
    if (job.clock.elapsed() < m_delay.count())
        return;
    if (!m_window.isVisible() && m_showWindow)
        m_showWindow();
    const std::uint64_t read = job.watch.bytesRead.load(std::memory_order_relaxed);
    const int permille = job.size > 0 ? static_cast<int>(std::min<std::uint64_t>(1000, read * 1000 / static_cast<std::uint64_t>(job.size))) : -1;
    m_progress.ShowLoad(job.path, permille);
}

bool CSceneOpener::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::Close && watched == &m_window) {
        Cancel();
        return false;
    }
    // A question asked meanwhile takes its input as always.
    if (!fw::IsUserInput(type) || QApplication::activeModalWidget())
        return false;
    if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        Cancel();
        return true;
    }
    // The windows hand their input on to their widgets, where it is sorted
    // out; shortcuts go to actions. Only the Cancel button takes input.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return type == QEvent::Shortcut;
    return !(widget == &m_progress || m_progress.isAncestorOf(widget));
}
