#include "app/windowstate.h"

#include "app/settingswriter.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <algorithm>

namespace {

const QString kGeometryKey = QStringLiteral("Window/Geometry");
const QString kToolBarKey = QStringLiteral("Window/ToolBar");
const QString kStatusBarKey = QStringLiteral("Window/StatusBar");
// The size a first start asks for, where the screen has room for it.
constexpr QSize kDefaultSize(800, 600);

void placeForFirstStart(QMainWindow* window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // Leave room for the frame, which the window system adds around it.
    QRect first(QPoint(), kDefaultSize.boundedTo(area.size() * 9 / 10));
    first.moveCenter(area.center());
    window->setGeometry(first);
}

// Qt's restore keeps a title bar reachable but lets a window larger than
// the screen, or partly off it, stay so: move and shrink the window, frame
// included, into the available area of the screen it is on, or else of
// the primary screen.
void fitToScreen(QMainWindow* window)
{
    const bool maximized = window->isMaximized();
    if (maximized)
        window->setWindowState(window->windowState() & ~Qt::WindowMaximized);
    const QMargins frame(window->geometry().left() - window->frameGeometry().left(),
                         window->geometry().top() - window->frameGeometry().top(),
                         window->frameGeometry().right() - window->geometry().right(),
                         window->frameGeometry().bottom() - window->geometry().bottom());
    const QRect wanted = window->geometry();
    const QScreen* screen = QGuiApplication::screenAt(wanted.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = (screen ? screen->availableGeometry() : wanted) - frame;
    const QSize size = wanted.size().boundedTo(area.size());
    const int x = std::clamp(wanted.x(), area.left(), area.left() + area.width() - size.width());
    const int y = std::clamp(wanted.y(), area.top(), area.top() + area.height() - size.height());
    window->setGeometry(QRect(QPoint(x, y), size));
    if (maximized)
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
}

} // namespace

void restoreWindowState(QMainWindow* window, QWidget* toolBar, QWidget* statusBar)
{
    const QSettings settings;
    // The window system's frame is known once the window exists.
    window->winId();
    if (window->restoreGeometry(settings.value(kGeometryKey).toByteArray()))
        fitToScreen(window);
    else
        placeForFirstStart(window);
    toolBar->setVisible(settings.value(kToolBarKey, true).toBool());
    statusBar->setVisible(settings.value(kStatusBarKey, true).toBool());
}

void saveWindowState(CSettingsWriter& writer, const QMainWindow* window, const QWidget* toolBar,
                     const QWidget* statusBar)
{
    writer.Write([geometry = window->saveGeometry(), toolBarShown = !toolBar->isHidden(),
                  statusBarShown = !statusBar->isHidden()](QSettings& settings) {
        settings.setValue(kGeometryKey, geometry);
        settings.setValue(kToolBarKey, toolBarShown);
        settings.setValue(kStatusBarKey, statusBarShown);
    });
}
