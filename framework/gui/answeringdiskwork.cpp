#include "framework/gui/answeringdiskwork.h"

#include "framework/core/diskwork.h"
#include "framework/gui/userinput.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMdiSubWindow>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <exception>
#include <memory>

namespace fw {

AnsweringDiskWork::AnsweringDiskWork()
{
    SetDiskWorkRunner([this](const std::function<void()>& work) { run(work); });
}

AnsweringDiskWork::~AnsweringDiskWork() { SetDiskWorkRunner({}); }

void AnsweringDiskWork::run(const std::function<void()>& work)
{
    if (m_worker) {
        // Asked for from inside the wait (a timer, the session manager):
        // starts once the running work is done, never beside it.
        m_worker->wait();
        work();
        return;
    }
    qApp->installEventFilter(this);

    QEventLoop loop;
    std::exception_ptr thrown;
    m_workDone = false;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            work();
        } catch (...) {
            thrown = std::current_exception();
        }
        m_workDone = true;
        // Queued: the loop is woken in the GUI thread, inside exec() or
        // after it, where the flag is already set.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    }));
    m_worker = worker.get();
    worker->start();
    while (!m_workDone)
        loop.exec();
    worker->wait();
    m_worker = nullptr;

    qApp->removeEventFilter(this);
    for (const QPointer<QWidget>& window : m_heldCloses) {
        if (window)
            QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
    }
    m_heldCloses.clear();
    if (m_heldQuit) {
        m_heldQuit = false;
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    if (thrown)
        std::rethrow_exception(thrown);
}

bool AnsweringDiskWork::eventFilter(QObject* watched, QEvent* event)
{
    // Once the work is done, a dialog that a timer opened meanwhile can be
    // answered before the wait ends.
    if (IsUserInput(event->type()))
        return !m_workDone;
    if (event->type() == QEvent::Quit) {
        m_heldQuit = true;
        return true;
    }
    if (event->type() == QEvent::Close) {
        auto* widget = qobject_cast<QWidget*>(watched);
        // Popups close themselves as they please; windows and the scene
        // windows inside the main one wait.
        if (widget && widget->windowType() != Qt::Popup && (widget->isWindow() || qobject_cast<QMdiSubWindow*>(widget))) {
            event->ignore();
            if (std::find(m_heldCloses.begin(), m_heldCloses.end(), widget) == m_heldCloses.end())
                m_heldCloses.emplace_back(widget);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace fw
