#pragma once

#include "document/teskdoc.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <vector>

class COpenProgress;
class QWidget;

// Reads scene files on a worker thread, one thread per load, while the GUI
// thread goes on turning its event loop: windows paint and answer, and a
// load that runs past the progress delay shows its progress in `progress`.
//
// Load() returns once its load has ended, as a synchronous read would, so
// its callers (CSceneFiles) adopt the scene at once. While any load runs,
// the user's keys and clicks go nowhere but to the Cancel button; Escape,
// Cancel, closing `window` and quitting the application cancel every load
// that runs. A cancelled load hands back no objects: they are freed off the
// GUI thread. Loads that arrive during a load (a hand-over from another
// editor) run nested, the newest shown.
//
// Owned by CSceneFiles; `progress` and `window` are the main frame's and
// outlive it. `showWindow` runs before the progress shows while `window`
// is still hidden (a load named on the command line).
class CSceneOpener : public QObject {
    Q_OBJECT

public:
    CSceneOpener(COpenProgress& progress, QWidget& window, std::function<void()> showWindow);

    // Reads `path` and returns what was read; when cancelled, the load has
    // file.cancelled set and no objects.
    SceneLoad Load(const QString& path);
    // True while a load of the file `path` runs.
    bool IsLoading(const QString& path) const;
    // Cancels every load that runs.
    void Cancel();
    // How long a load runs before its progress shows.
    void SetProgressDelay(std::chrono::milliseconds delay) { m_delay = delay; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Job;
    void showProgress();

    COpenProgress& m_progress;
    QWidget& m_window;
    std::function<void()> m_showWindow;
    std::chrono::milliseconds m_delay{500};
    // The loads that run, the newest last.
    std::vector<Job*> m_jobs;
    QTimer m_poll;
};
