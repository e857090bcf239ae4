// Start-up probe for the cold-process benchmarks (bench/app_bench.cpp):
//   tesk [FILE]  tesk exactly as main.cpp does, with no file or with FILE
//                (a core application first, then FILE read in the background
//                while the window system and the main window start);
//                writes one byte once the main window has been painted
//                for the first time, then ends at once (teardown is not
//                part of start-up),
//   close FILE   then adds an object (an edit builds what edits need), closes
//                the scene's window as its close box does, unsaved (as after
//                Discard), and writes the nanoseconds the close took, as
//                text, then ends at once,
//   quit FILE    then writes the CLOCK_MONOTONIC nanoseconds at which it
//                quits (File > Exit) as text and a newline, and quits as
//                tesk does; the caller times the rest to the process's end,
//   minimal      a bare QMainWindow, nothing in it, with the byte at first paint,
//   text         a QMainWindow with a one-menu menu bar and a status-bar text
//                (the least that any window showing text pays: the font set-up
//                and the menu bar's style icons), likewise.

#include "app/mainfrm.h"
#include "app/scenepreload.h"
#include "app/tesk.h"
#include "document/teskdoc.h"
#include "framework/core/stdids.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/multidoctemplate.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

bool writeAll(const std::string& text) { return ::write(STDOUT_FILENO, text.data(), text.size()) == ssize_t(text.size()); }

// Runs `then` once the watched window's first paint has completed.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::function<void()> then)
        : m_then(std::move(then))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, m_then);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_then;
    bool m_seen = false;
};

void reportShown() { std::_Exit(writeAll("1") ? 0 : 1); }

// Closes the scene's window after an edit, timed until the window and its scene are gone.
void reportClose(CTeskApp& app)
{
    auto* doc = dynamic_cast<CTeskDoc*>(app.GetMainFrame()->GetActiveDocument());
    if (!doc || !doc->AddObject(SHAPE_SPHERE))
        std::_Exit(1);
    QCoreApplication::processEvents();
    // What Discard in the save prompt leaves: the scene closes without saving.
    doc->SetModifiedFlag(false);
    const auto start = std::chrono::steady_clock::now();
    if (fw::FrameWindow* frame = app.GetMainFrame()->MDIGetActive())
        frame->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const bool closed = app.m_pDocTemplate->documents().empty();
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start);
    std::_Exit(closed && writeAll(std::to_string(nanoseconds.count())) ? 0 : 1);
}

void reportQuit(CTeskApp& app)
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    if (!writeAll(std::to_string(std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec) + "\n"))
        std::_Exit(1);
    app.GetMainFrame()->OnCommand(fw::ID_APP_EXIT);
}

} // namespace

int main(int argc, char* argv[])
{
    const std::string_view form = argc >= 2 ? argv[1] : "";
    const bool teskForm = form == "tesk" || form == "close" || form == "quit";
    const bool valid = (form == "tesk" && argc <= 3) || ((form == "close" || form == "quit") && argc == 3)
                       || ((form == "minimal" || form == "text") && argc == 2);
    if (!valid)
        return 2;
    QStringList files;
    std::unique_ptr<CScenePreload> preload;
    if (teskForm) {
        // As runTesk: the command line is read under a core application
        // (which also sets the locale), then the files start loading.
        QCoreApplication core(argc, argv);
        if (argc == 3)
            files << QCoreApplication::arguments().at(2);
        preload = std::make_unique<CScenePreload>(files);
    }
    QApplication application(argc, argv);
    std::unique_ptr<CTeskApp> teskApp;
    std::unique_ptr<QMainWindow> window;
    std::function<void()> then = reportShown;
    if (form == "close")
        then = [&teskApp] { reportClose(*teskApp); };
    else if (form == "quit")
        then = [&teskApp] { reportQuit(*teskApp); };
    FirstPaint firstPaint(then);
    if (teskForm) {
        teskApp = std::make_unique<CTeskApp>();
        const bool started = teskApp->InitInstance(QStringList{QStringLiteral("tesk"), QStringLiteral("--")} << files,
                                                   preload.get());
        preload.reset();
        if (!started)
            return 1;
        teskApp->GetMainFrame()->installEventFilter(&firstPaint);
    } else {
        window = std::make_unique<QMainWindow>();
        if (form == "text") {
            window->menuBar()->addMenu(QStringLiteral("&File"));
            window->statusBar()->showMessage(QStringLiteral("Ready"));
        }
        window->installEventFilter(&firstPaint);
        window->show();
    }
    const int status = application.exec();
    teskApp.reset();
    return status;
}
