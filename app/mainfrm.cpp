#include "app/mainfrm.h"

#include "app/openprogress.h"

#include "app/resources.h"
#include "app/settingswriter.h"
#include "app/iconset.h"
#include "framework/core/document.h"
#include "framework/core/stdids.h"
#include "framework/core/view.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/lockkeys.h"
#include "framework/gui/winapp.h"

#include <QAbstractEventDispatcher>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <array>

namespace {

// Every command action carries its command id in QAction::data().
int commandId(const QAction* action) { return action->data().toInt(); }

QStringList localFiles(const QMimeData* data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

// Where the main window's place and bars are kept between runs.
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
    const QMargins frame = window->windowHandle()->frameMargins();
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

CMainFrame::CMainFrame(QWidget* parent)
    : fw::MdiFrameWnd(parent)
    , m_settingsWriter(std::make_unique<CSettingsWriter>())
{
    setWindowIcon(iconSet(res::appIconPath()));
    createMenus();
    createAccelerators();
    createToolBar();
    createStatusBar();

    connect(this, &fw::MdiFrameWnd::activeViewChanged, this, &CMainFrame::onActiveViewChanged);
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, &CMainFrame::onIdle);
    qApp->installEventFilter(this);
    updateFrameTitle();
    updateLockKeyPanes();
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::createCommandAction(int id, const QString& text)
{
    auto* action = new QAction(text, this);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { executeCommand(id); });
    return action;
}

void CMainFrame::createMenus()
{
    for (const res::Menu& menuDef : res::mainMenu()) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(menuDef.caption));
        for (const res::MenuItem& item : menuDef.items) {
            if (!item.caption) {
                menu->addSeparator();
                continue;
            }
            QAction* action = createCommandAction(item.id, QString::fromLatin1(item.caption));
            action->setStatusTip(res::statusPrompt(item.id));
            menu->addAction(action);
            if (item.id == fw::ID_FILE_MRU_FILE1) {
                m_fileMenu = menu;
                m_recentFilePlaceholder = action;
            }
        }
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { updateActionStates(menu->actions()); });
    }
}

void CMainFrame::createAccelerators()
{
    // Menu captions show the key texts themselves; the keys live here, on
    // the window, so that each works once whether or not a menu lists it.
    for (const res::Accelerator& accelerator : res::accelerators()) {
        QAction* action = createCommandAction(accelerator.id, QString());
        action->setShortcut(QKeySequence(accelerator.key));
        addAction(action);
    }
}

void CMainFrame::createToolBar()
{
    m_wndToolBar = new QToolBar(this);
    m_wndToolBar->setObjectName(QStringLiteral("IDR_MAIN"));
    m_wndToolBar->setIconSize(QSize(16, 16));
    for (const res::ToolBarButton& button : res::toolBar()) {
        if (button.id == fw::ID_SEPARATOR) {
            m_wndToolBar->addSeparator();
            continue;
        }
        // The text is the tool tip part of the prompt: a button without one
        // shows no tool tip at all.
        QAction* action = createCommandAction(button.id, res::toolTip(button.id));
        action->setStatusTip(res::statusPrompt(button.id));
        action->setIcon(iconSet(QStringLiteral(":/tesk/icons/toolbar/%1").arg(QLatin1String(button.icon))));
        m_wndToolBar->addAction(action);
        m_wndToolBar->widgetForAction(action)->setAccessibleName(res::accessibleName(button.id));
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
}

void CMainFrame::createStatusBar()
{
    QStatusBar* bar = statusBar();
    m_paneMessage = new QLabel(res::loadString(fw::AFX_IDS_IDLEMESSAGE), bar);
    bar->addWidget(m_paneMessage, 1);

    m_openProgress = new COpenProgress(bar);
    bar->addPermanentWidget(m_openProgress);
    // Pane 1, the object count, then the three lock-key indicators, each as
    // wide as its text needs.
    const std::array<QString, 4> widest = {QStringLiteral("Object count: 0000000"),
                                           res::loadString(fw::ID_INDICATOR_CAPS),
                                           res::loadString(fw::ID_INDICATOR_NUM),
                                           res::loadString(fw::ID_INDICATOR_SCRL)};
    for (const QString& text : widest) {
        auto* pane = new QLabel(bar);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(text) + 8);
        bar->addPermanentWidget(pane);
        m_panes.push_back(pane);
    }
}

void CMainFrame::SetStatusText(const QString& text) { m_panes.front()->setText(text); }

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    // A lock key may also change while another program has the keyboard:
    // look again whenever tesk becomes active.
    if (event->type() == QEvent::ApplicationStateChange) {
        updateLockKeyPanes();
    } else if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && watched->isWindowType()) {
        // Each key reaches its window first, then the widgets: look once, at the window.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock)
            updateLockKeyPanes();
    }
    return fw::MdiFrameWnd::eventFilter(watched, event);
}

void CMainFrame::updateLockKeyPanes()
{
    const std::optional<fw::LockKeys> keys = fw::queryLockKeys();
    if (!keys)
        return;
    const std::array<std::pair<bool, int>, 3> indicators = {{
        {keys->caps, fw::ID_INDICATOR_CAPS},
        {keys->num, fw::ID_INDICATOR_NUM},
        {keys->scroll, fw::ID_INDICATOR_SCRL},
    }};
    for (std::size_t i = 0; i < indicators.size(); ++i)
        m_panes[i + 1]->setText(indicators[i].first ? res::loadString(indicators[i].second) : QString());
}

QString CMainFrame::GetPaneText(int index) const
{
    if (index == 0) {
        const QString message = statusBar()->currentMessage();
        return message.isEmpty() ? m_paneMessage->text() : message;
    }
    if (index < 1 || index > static_cast<int>(m_panes.size()))
        return {};
    return m_panes[static_cast<std::size_t>(index - 1)]->text();
}

void CMainFrame::SetRecentFileCaptions(const QStringList& captions)
{
    for (QAction* action : m_recentFileActions)
        delete action;
    m_recentFileActions.clear();
    for (int i = 0; i < captions.size(); ++i) {
        QAction* action = createCommandAction(fw::ID_FILE_MRU_FILE1 + i, captions.at(i));
        action->setStatusTip(res::statusPrompt(fw::ID_FILE_MRU_FILE1 + i));
        m_fileMenu->insertAction(m_recentFilePlaceholder, action);
        m_recentFileActions.push_back(action);
    }
    m_recentFilePlaceholder->setVisible(captions.isEmpty());
}

void CMainFrame::executeCommand(int id)
{
    // A key can arrive for a command whose menu item would be disabled; it does nothing then.
    if (!CommandState(id).enabled)
        return;
    OnCommand(id);
    focusActiveView();
}

void CMainFrame::focusActiveView()
{
    // Later, once a closing menu or dialog has given the focus back to
    // whatever had it before; the keys are the tree's after any command.
    // Focus already inside the tree (a label being edited) stays there.
    QTimer::singleShot(0, this, [this] {
        auto* view = dynamic_cast<QWidget*>(GetActiveView());
        const QWidget* focus = focusWidget();
        if (view && focus != view && !view->isAncestorOf(focus))
            view->setFocus(Qt::OtherFocusReason);
    });
}

void CMainFrame::RestoreWindowState()
{
    const QSettings settings;
    // The window system's frame is known once the window exists.
    winId();
    if (restoreGeometry(settings.value(kGeometryKey).toByteArray()))
        fitToScreen(this);
    else
        placeForFirstStart(this);
    m_wndToolBar->setVisible(settings.value(kToolBarKey, true).toBool());
    statusBar()->setVisible(settings.value(kStatusBarKey, true).toBool());
}

void CMainFrame::updateActionStates(const QList<QAction*>& actions)
{
    for (QAction* action : actions) {
        if (action->isSeparator() || !action->isVisible())
            continue;
        const fw::CmdUI ui = CommandState(commandId(action));
        action->setEnabled(ui.enabled);
        const bool marked = ui.mark != fw::CmdUI::Mark::None;
        if (ui.mark == fw::CmdUI::Mark::Radio && !action->actionGroup()) {
            // An exclusive group is what gives a menu item its radio look.
            auto* group = new QActionGroup(action);
            group->addAction(action);
        }
        if (marked) {
            action->setCheckable(true);
            action->setChecked(ui.marked);
        } else {
            action->setChecked(false);
            action->setCheckable(false);
        }
    }
}

void CMainFrame::onIdle()
{
    if (m_wndToolBar->isVisible())
        updateActionStates(m_wndToolBar->actions());
}

void CMainFrame::onActiveViewChanged()
{
    if (!GetActiveView())
        m_panes.front()->clear();
    disconnect(m_titleConnection);
    disconnect(m_stateConnection);
    if (fw::Document* doc = GetActiveDocument())
        m_titleConnection = connect(doc, &fw::Document::titleChanged, this, &CMainFrame::updateFrameTitle);
    if (QMdiSubWindow* window = MDIGetActive())
        m_stateConnection = connect(window, &QMdiSubWindow::windowStateChanged, this, &CMainFrame::updateFrameTitle);
    updateFrameTitle();
    focusActiveView();
}

void CMainFrame::updateFrameTitle()
{
    QString title = res::loadString(res::IDR_MAIN);
    const QMdiSubWindow* window = MDIGetActive();
    const fw::Document* doc = GetActiveDocument();
    if (doc && window && !window->isMaximized())
        title += QStringLiteral(" - ") + doc->GetTitle();
    setWindowTitle(title);
}

bool CMainFrame::OnCmdMsg(int id, fw::CmdUI* ui)
{
    static constexpr std::array<fw::MessageMapEntry<CMainFrame>, 1> messageMap = {{
        {fw::ID_VIEW_TOOLBAR, fw::ID_VIEW_STATUS_BAR, &CMainFrame::OnBarCheck, &CMainFrame::OnUpdateControlBarMenu},
    }};
    return fw::dispatchMessageMap<CMainFrame>(this, messageMap, id, ui);
}

QWidget* CMainFrame::controlBar(int id) const
{
    // The bars' ids are the commands that show and hide them.
    return id == fw::ID_VIEW_TOOLBAR ? static_cast<QWidget*>(m_wndToolBar) : statusBar();
}

void CMainFrame::OnBarCheck(int id)
{
    QWidget* bar = controlBar(id);
    bar->setVisible(bar->isHidden());
}

void CMainFrame::OnUpdateControlBarMenu(fw::CmdUI& ui) { ui.SetCheck(!controlBar(ui.id)->isHidden()); }

void CMainFrame::closeEvent(QCloseEvent* event)
{
    fw::WinApp* app = fw::WinApp::instance();
    if (app && !app->SaveAllModified()) {
        event->ignore();
        return;
    }
    m_settingsWriter->Write([geometry = saveGeometry(), toolBarShown = !m_wndToolBar->isHidden(),
                             statusBarShown = !statusBar()->isHidden()](QSettings& settings) {
        settings.setValue(kGeometryKey, geometry);
        settings.setValue(kToolBarKey, toolBarShown);
        settings.setValue(kStatusBarKey, statusBarShown);
    });
    if (app)
        app->CloseAllDocuments();
    fw::MdiFrameWnd::closeEvent(event);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (!localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    activateWindow();
    if (fw::WinApp* app = fw::WinApp::instance()) {
        for (const QString& file : files)
            app->OpenDocumentFile(file);
    }
    focusActiveView();
}
