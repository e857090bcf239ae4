#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <vector>

class QThread;
class QWidget;

namespace fw {

// While it lives, the program's disk work (see RunDiskWork) runs on a thread
// of its own while the GUI thread waits in a nested event loop: the windows
// keep painting and answering the window system, timers keep firing, and
// user input is held back from tesk's windows. Keys, shortcuts, mouse
// buttons, moves and wheels, context menus and drops are dropped; a request
// to close a window or to quit waits and is made again once the work is
// done. Disk work asked for while other disk work runs (from a timer or the
// session manager, say) waits on the GUI thread for that work to end and
// then runs there, so two never overlap.
//
// Made by the application, one at a time, and destroyed on the GUI thread
// while no disk work runs; destroying it puts back the default runner.
class AnsweringDiskWork : public QObject {
    Q_OBJECT

public:
    AnsweringDiskWork();
    ~AnsweringDiskWork() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void run(const std::function<void()>& work);

    QThread* m_worker = nullptr;
    std::atomic<bool> m_workDone = false;
    std::vector<QPointer<QWidget>> m_heldCloses;
    bool m_heldQuit = false;
};

} // namespace fw
