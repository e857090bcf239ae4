// Start-up probe for the cold-process benchmarks (bench/app_bench.cpp):
//   tesk [FILE]  tesk's own start-up, runTesk, as `tesk --new-instance [FILE]`
//                (so that it never hands FILE to an editor already running),
//                or as `tesk [FILE]` on the channel TESK_INSTANCE_NAME names;
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
#include "app/startup.h"
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
#include <vector>
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

// A bare main window, with a menu bar and a status-bar text for `text`.
int runWindow(int argc, char* argv[], bool text)
{
    QApplication application(argc, argv);
    FirstPaint firstPaint(reportShown);
    QMainWindow window;
    if (text) {
        window.menuBar()->addMenu(QStringLiteral("&File"));
        window.statusBar()->showMessage(QStringLiteral("Ready"));
    }
    window.installEventFilter(&firstPaint);
    window.show();
    return application.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    const std::string_view form = argc >= 2 ? argv[1] : "";
    if ((form == "minimal" || form == "text") && argc == 2)
        return runWindow(1, argv, form == "text");
    const bool valid = (form == "tesk" && argc <= 3) || ((form == "close" || form == "quit") && argc == 3);
    if (!valid)
        return 2;
    std::function<void(CTeskApp&)> then = [](CTeskApp&) { reportShown(); };
    if (form == "close")
        then = reportClose;
    else if (form == "quit")
        then = reportQuit;
    std::unique_ptr<FirstPaint> firstPaint;
    // With TESK_INSTANCE_NAME set, the editor runs its channel there as an
    // editor started by a user does; otherwise it starts one of its own.
    char newInstance[] = "--new-instance";
    std::vector<char*> arguments{argv[0]};
    if (qEnvironmentVariableIsEmpty("TESK_INSTANCE_NAME"))
        arguments.push_back(newInstance);
    if (argc == 3)
        arguments.push_back(argv[2]);
    arguments.push_back(nullptr);
    return runTesk(int(arguments.size()) - 1, arguments.data(), [&](CTeskApp& app) {
        firstPaint = std::make_unique<FirstPaint>([&app, then] { then(app); });
        app.GetMainFrame()->installEventFilter(firstPaint.get());
    });
}
