// Start-up probe for BM_StartUp (bench/app_bench.cpp): starts one of
//   tesk     tesk exactly as main.cpp does with no file,
//   minimal  a bare QMainWindow, nothing in it,
//   text     a QMainWindow with a one-menu menu bar and a status-bar text:
//            the least that any window showing text pays (the font set-up
//            and the menu bar's style icons),
// and writes one byte to stdout once the main window has been painted for
// the first time. It then ends at once; teardown is not part of start-up.
//   tesk_startup_probe tesk|minimal|text

#include "app/mainfrm.h"
#include "app/tesk.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <cstdlib>
#include <string_view>
#include <memory>
#include <unistd.h>

namespace {

// Reports after the window's first paint has completed.
class FirstPaint : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, [] {
                const char shown = '1';
                const bool written = ::write(STDOUT_FILENO, &shown, 1) == 1;
                std::_Exit(written ? 0 : 1);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

} // namespace

int main(int argc, char* argv[])
{
    const std::string_view form = argc == 2 ? argv[1] : "";
    if (form != "tesk" && form != "minimal" && form != "text")
        return 2;
    QApplication application(argc, argv);
    FirstPaint firstPaint;
    std::unique_ptr<CTeskApp> teskApp;
    std::unique_ptr<QMainWindow> window;
    if (form == "tesk") {
        teskApp = std::make_unique<CTeskApp>();
        if (!teskApp->InitInstance({QStringLiteral("tesk")}))
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
    return application.exec();
}
