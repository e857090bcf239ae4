// The application shell driven through its real widgets on the offscreen
// platform: start-up, command states and routing, bars, recent files, file
// commands with their prompts and errors, drag and drop.

#include "app/mainfrm.h"
#include "app/resources.h"
#include "app/tesk.h"
#include "document/commands.h"
#include "document/teskdoc.h"
#include "framework/core/ansi.h"
#include "framework/core/stdids.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/multidoctemplate.h"
#include "view/teskview.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <cerrno>
#include <memory>
#include <sys/stat.h>

using namespace fw;

namespace {

// The application with its file dialogs replaced by a queue of answers.
class ScriptedApp : public CTeskApp {
public:
    QStringList fileNames;

protected:
    QString DoPromptFileName(const QString&, bool) override
    {
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
};

// Answers the message boxes that appear next, in order, and keeps their texts.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(QList<QMessageBox::StandardButton> buttons)
        : m_buttons(std::move(buttons))
    {
        arm();
    }
    QStringList texts;

private:
    void arm() { QTimer::singleShot(0, this, [this] { answer(); }); }
    void answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            // The box may open only after the current handler returns.
            if (++m_idleTurns < 50)
                arm();
            return;
        }
        texts << box->text();
        m_idleTurns = 0;
        box->button(m_buttons.takeFirst())->click();
        if (!m_buttons.isEmpty())
            arm();
    }

    QList<QMessageBox::StandardButton> m_buttons;
    int m_idleTurns = 0;
};

// One turn of the event loop that lets it go idle, as after user input.
void idle()
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
}

QList<QAction*> menuActions(CMainFrame* frame)
{
    QList<QAction*> actions;
    for (QAction* top : frame->menuBar()->actions())
        actions += top->menu()->actions();
    return actions;
}

QAction* findAction(const QList<QAction*>& actions, int id)
{
    for (QAction* action : actions) {
        if (!action->isSeparator() && action->isVisible() && action->data().toInt() == id)
            return action;
    }
    return nullptr;
}

QAction* menuAction(CMainFrame* frame, int id) { return findAction(menuActions(frame), id); }
QAction* toolAction(CMainFrame* frame, int id) { return findAction(frame->GetToolBar()->actions(), id); }

// Opens and closes the menu holding `action`, so that its states are asked.
void refreshMenuOf(CMainFrame* frame, QAction* action)
{
    for (QAction* top : frame->menuBar()->actions()) {
        if (top->menu()->actions().contains(action)) {
            top->menu()->popup(QPoint());
            top->menu()->hide();
        }
    }
}

void clickToolButton(CMainFrame* frame, int id)
{
    QTest::mouseClick(frame->GetToolBar()->widgetForAction(toolAction(frame, id)), Qt::LeftButton);
}

QStringList objectNames(Document* doc)
{
    QStringList names;
    for (const auto& object : static_cast<CTeskDoc*>(doc)->m_objects)
        names << fromAnsi(object->m_pShape->m_szName);
    return names;
}

void writeScene(const QString& path, int objects)
{
    CTeskDoc doc;
    for (int i = 0; i < objects; ++i)
        doc.AddObject(1 + i % 3);
    QString error;
    QVERIFY2(doc.OnSaveDocument(path, &error), qPrintable(error));
}

QStringList menuTexts(QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        if (action->isVisible())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return texts;
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startUp_data();
    void startUp();
    void unopenableFileOnCommandLineExitsWithOne_data();
    void unopenableFileOnCommandLineExitsWithOne();
    void toolBarTipsAndPrompts_data();
    void toolBarTipsAndPrompts();
    void promptsShowInPaneZero();
    void commandStates_data();
    void commandStates();
    void addCommandsReachTheView_data();
    void addCommandsReachTheView();
    void deleteAndAddView();
    void keysRunTheirCommands();
    void filterRadioMarks_data();
    void filterRadioMarks();
    void barsHideAndShow_data();
    void barsHideAndShow();
    void aboutBox();
    void recentFilesSurviveRestart();
    void recentFileThatCannotOpenIsDropped();
    void savePrompt_data();
    void savePrompt();
    void failedSaveKeepsSceneOpenAndModified();
    void noPromptWhileAnotherWindowShowsTheScene();
    void saveAsAddsTheExtension_data();
    void saveAsAddsTheExtension();
    void openErrorNamesFileAndReason();
    void openingAnOpenFileActivatesItsWindow();
    void droppedFilesOpenInTheirOwnWindows();
    void titleAndCountFollowTheActiveWindow();

private:
    CMainFrame* start(const QStringList& files = {});
    CTeskView* activeView() const { return dynamic_cast<CTeskView*>(m_app->GetMainFrame()->GetActiveView()); }
    std::vector<Document*> documents() const { return m_app->m_pDocTemplate->documents(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_dir;
    std::unique_ptr<ScriptedApp> m_app;
};

void TestShell::initTestCase()
{
    QVERIFY(m_settingsDir.isValid() && m_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestShell::init()
{
    QFile::remove(m_settingsDir.filePath(QStringLiteral("Quorvane Productions/tesk.conf")));
}

void TestShell::cleanup()
{
    m_app.reset();
    idle();
}

CMainFrame* TestShell::start(const QStringList& files)
{
    m_app = std::make_unique<ScriptedApp>();
    if (!m_app->InitInstance(QStringList{QStringLiteral("tesk")} + files))
        return nullptr;
    return m_app->GetMainFrame();
}

void TestShell::startUp_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("objects");
    QTest::newRow("no file") << QString() << 0;
    QTest::newRow("scene file") << "three.qbx" << 3;
    QTest::newRow("missing file") << "missing.qbx" << -1;
}

void TestShell::startUp()
{
    QFETCH(QString, argument);
    QFETCH(int, objects);
    if (objects > 0)
        writeScene(file(argument), objects);
    CMainFrame* frame = start(argument.isEmpty() ? QStringList() : QStringList{file(argument)});
    if (objects < 0) {
        // The program is to end: nothing open, nothing shown.
        QVERIFY(!frame && documents().empty() && !m_app->GetMainFrame()->isVisible());
        return;
    }
    QVERIFY(frame && frame->isVisible());
    QCOMPARE(documents().size(), 1u);
    QCOMPARE(frame->mdiArea()->subWindowList().size(), 1);
    Document* doc = frame->GetActiveDocument();
    QCOMPARE(doc->GetPathName(), argument.isEmpty() ? QString() : file(argument));
    QVERIFY(!doc->IsModified());
    QCOMPARE(objectNames(doc).size(), objects);
    QCOMPARE(frame->windowTitle(), "TESK - Main Frame - " + (argument.isEmpty() ? QStringLiteral("Untitled") : argument));
    QCOMPARE(frame->GetPaneText(0), QStringLiteral("Ready"));
    QCOMPARE(frame->GetPaneText(1), QStringLiteral("Object count: %1").arg(objects));
    QCOMPARE(m_app->GetRecentFileList().files(), argument.isEmpty() ? QStringList() : QStringList{file(argument)});
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Quorvane Productions"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("tesk"));
    QVERIFY(frame->acceptDrops());
}

void TestShell::unopenableFileOnCommandLineExitsWithOne_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "missing.qbx" << "No such file";
    // Regression: a named pipe froze the editor until something wrote to it.
    QTest::newRow("named pipe") << "pipe.qbx" << "not a regular file";
}

void TestShell::unopenableFileOnCommandLineExitsWithOne()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QVERIFY(::mkfifo(QFile::encodeName(file("pipe.qbx")).constData(), 0600) == 0 || errno == EEXIST);
    QProcess tesk;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_settingsDir.path());
    tesk.setProcessEnvironment(env);
    tesk.start(QStringLiteral(TESK_BINARY), {file(name)});
    QVERIFY(tesk.waitForFinished());
    QCOMPARE(tesk.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tesk.exitCode(), 1);
    const QString error = QString::fromLocal8Bit(tesk.readAllStandardError());
    QVERIFY2(error.contains(file(name)) && error.contains(reason), qPrintable(error));
}

void TestShell::toolBarTipsAndPrompts_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("prompt");
    QTest::newRow("open") << int(ID_FILE_OPEN) << "Open" << "Open an existing document";
    QTest::newRow("about") << int(ID_APP_ABOUT) << "About" << "Display program information, version number and copyright";
    QTest::newRow("print") << int(ID_FILE_PRINT) << "" << "";
    // No tool tip even where the menu item of the same command has a caption.
    QTest::newRow("delete") << int(ID_OBJECT_DELETE) << "" << "";
    QTest::newRow("listed") << int(ID_TB_SHOW_LISTED) << "" << "";
}

void TestShell::toolBarTipsAndPrompts()
{
    QFETCH(int, id);
    QFETCH(QString, tip);
    QFETCH(QString, prompt);
    CMainFrame* frame = start();
    QWidget* button = frame->GetToolBar()->widgetForAction(toolAction(frame, id));
    QVERIFY(button);
    QCOMPARE(button->toolTip(), tip);
    QCOMPARE(button->statusTip(), prompt);
}

void TestShell::promptsShowInPaneZero()
{
    CMainFrame* frame = start();
    QTest::mouseMove(frame->GetToolBar()->widgetForAction(toolAction(frame, ID_FILE_OPEN)));
    QTRY_COMPARE(frame->GetPaneText(0), QStringLiteral("Open an existing document"));

    QMenu* viewMenu = frame->menuBar()->actions().at(2)->menu();
    viewMenu->popup(QPoint());
    QTest::mouseMove(viewMenu, viewMenu->actionGeometry(menuAction(frame, ID_VIEW_TOOLBAR)).center());
    QTRY_COMPARE(frame->GetPaneText(0), QStringLiteral("Show or hide the toolbar"));
    viewMenu->hide();
}

void TestShell::commandStates_data()
{
    QTest::addColumn<int>("situation");
    QTest::newRow("no scene") << 0;
    QTest::newRow("scene") << 1;
    QTest::newRow("selection") << 2;
}

void TestShell::commandStates()
{
    QFETCH(int, situation);
    // Enabled with no scene, with a scene, with a selected item.
    struct Expected {
        int id;
        bool enabled[3];
    };
    static const Expected table[] = {
        {ID_FILE_NEW, {true, true, true}},          {ID_FILE_OPEN, {true, true, true}},
        {ID_FILE_SAVE, {false, true, true}},        {ID_FILE_SAVE_AS, {false, true, true}},
        {ID_FILE_MRU_FILE1, {false, false, false}}, {ID_APP_EXIT, {true, true, true}},
        {ID_EDIT_UNDO, {false, false, false}},      {ID_EDIT_CUT, {false, false, false}},
        {ID_EDIT_COPY, {false, false, false}},      {ID_EDIT_PASTE, {false, false, false}},
        {ID_ADD_SPHERE, {false, true, true}},       {ID_ADD_CUBE, {false, true, true}},
        {ID_ADD_STAR, {false, true, true}},         {ID_OBJECT_DELETE, {false, false, true}},
        {ID_OBJECT_ADD, {false, true, true}},       {ID_OBJECT_EDIT, {false, false, true}},
        {ID_VIEW_TOOLBAR, {true, true, true}},      {ID_VIEW_STATUS_BAR, {true, true, true}},
        {ID_ADD_VIEW, {false, true, true}},         {ID_SHOW_ALL, {false, true, true}},
        {ID_SHOW_LISTED, {false, true, true}},      {ID_SHOW_USER, {false, true, true}},
        {ID_TB_SHOW_ALL, {false, true, true}},      {ID_TB_SHOW_LISTED, {false, true, true}},
        {ID_TB_SHOW_USER, {false, true, true}},     {ID_FILE_PRINT, {false, false, false}},
        {ID_APP_ABOUT, {true, true, true}},
    };

    CMainFrame* frame = start();
    if (situation == 0) {
        frame->MDIGetActive()->close();
        QTRY_VERIFY(documents().empty());
    }
    if (situation == 2) {
        menuAction(frame, ID_ADD_SPHERE)->trigger();
        CTeskView* view = activeView();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 0)).center());
        QVERIFY(view->GetSelectedItem().isValid());
    }
    idle();

    // The tree's popup, opened where the selection is (or on empty space).
    QHash<int, bool> popupStates;
    if (CTeskView* view = activeView()) {
        QTimer::singleShot(0, this, [&popupStates] {
            QWidget* popup = QApplication::activePopupWidget();
            for (QAction* action : popup->actions())
                popupStates.insert(action->data().toInt(), action->isEnabled());
            popup->close();
        });
        const QModelIndex selected = view->GetSelectedItem();
        const QPoint at = selected.isValid() ? view->visualRect(selected).center() : QPoint(5, view->viewport()->height() - 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &event);
        QCOMPARE(popupStates.size(), 3);
    }

    for (const Expected& row : table) {
        const bool expected = row.enabled[situation];
        const QByteArray what = QByteArray::number(row.id);
        if (QAction* action = menuAction(frame, row.id)) {
            refreshMenuOf(frame, action);
            QVERIFY2(action->isEnabled() == expected, "menu " + what);
        }
        if (QAction* action = toolAction(frame, row.id))
            QVERIFY2(action->isEnabled() == expected, "toolbar " + what);
        if (popupStates.contains(row.id))
            QVERIFY2(popupStates.value(row.id) == expected, "popup " + what);
        QCOMPARE(frame->CommandState(row.id).enabled, expected);
    }
}

void TestShell::addCommandsReachTheView_data()
{
    QTest::addColumn<bool>("toolbar");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("added");
    QTest::newRow("Add Sphere") << false << int(ID_ADD_SPHERE) << QStringLiteral("Kuleczka");
    QTest::newRow("Add Cube") << false << int(ID_ADD_CUBE) << QStringLiteral("Sześcianik");
    QTest::newRow("Add Star") << false << int(ID_ADD_STAR) << QStringLiteral("Mała śliczna gwiazdka");
    QTest::newRow("add button") << true << int(ID_OBJECT_ADD) << QStringLiteral("Kuleczka");
}

void TestShell::addCommandsReachTheView()
{
    QFETCH(bool, toolbar);
    QFETCH(int, id);
    QFETCH(QString, added);
    CMainFrame* frame = start();
    if (toolbar)
        clickToolButton(frame, id);
    else
        menuAction(frame, id)->trigger();
    QCOMPARE(objectNames(frame->GetActiveDocument()), QStringList{added});
    QVERIFY(frame->GetActiveDocument()->IsModified());
    QCOMPARE(frame->GetPaneText(1), QStringLiteral("Object count: 1"));
}

void TestShell::deleteAndAddView()
{
    CMainFrame* frame = start();
    menuAction(frame, ID_ADD_SPHERE)->trigger();
    menuAction(frame, ID_ADD_CUBE)->trigger();
    CTeskView* view = activeView();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 0)).center());
    idle();
    clickToolButton(frame, ID_OBJECT_DELETE);
    QCOMPARE(objectNames(frame->GetActiveDocument()), QStringList{QStringLiteral("Sześcianik")});

    Document* doc = frame->GetActiveDocument();
    menuAction(frame, ID_ADD_VIEW)->trigger();
    QCOMPARE(frame->mdiArea()->subWindowList().size(), 2);
    QCOMPARE(doc->GetViews().size(), 2u);
    QCOMPARE(frame->GetActiveDocument(), doc);
    QVERIFY(activeView() != view);
}

void TestShell::keysRunTheirCommands()
{
    CMainFrame* frame = start();
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    menuAction(frame, ID_ADD_SPHERE)->trigger();
    CTeskView* view = activeView();
    view->setFocus();
    view->setCurrentIndex(view->model()->index(0, 0));
    QTest::keyClick(view, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(documents().size(), 2u);

    // The editing keys and the pane keys have nobody to run them, also not
    // the tree, which would otherwise copy its current item.
    frame->ActivateFrame(m_app->m_pDocTemplate->framesOf(documents().front()).front());
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    for (QKeyCombination key : {Qt::ControlModifier | Qt::Key_Z, Qt::ControlModifier | Qt::Key_X,
                                Qt::ControlModifier | Qt::Key_C, Qt::ControlModifier | Qt::Key_Insert,
                                Qt::ShiftModifier | Qt::Key_Insert, QKeyCombination(Qt::Key_F6),
                                Qt::ShiftModifier | Qt::Key_F6})
        QTest::keyClick(view, key.key(), key.keyboardModifiers());
    QCOMPARE(documents().size(), 2u);
    QCOMPARE(objectNames(documents().front()), QStringList{QStringLiteral("Kuleczka")});
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));

    m_app->fileNames = {file("keyed.qbx")};
    QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(QFileInfo::exists(file("keyed.qbx")));
    QCOMPARE(frame->GetActiveDocument()->GetPathName(), file("keyed.qbx"));
}

void TestShell::filterRadioMarks_data()
{
    QTest::addColumn<bool>("toolbar");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("mode");
    QTest::newRow("Show All") << false << int(ID_SHOW_ALL) << 0;
    QTest::newRow("Show with listed colour") << false << int(ID_SHOW_LISTED) << 1;
    QTest::newRow("Show with user-defined colour") << false << int(ID_SHOW_USER) << 2;
    QTest::newRow("all button") << true << int(ID_TB_SHOW_ALL) << 0;
    QTest::newRow("listed button") << true << int(ID_TB_SHOW_LISTED) << 1;
    QTest::newRow("user button") << true << int(ID_TB_SHOW_USER) << 2;
}

void TestShell::filterRadioMarks()
{
    QFETCH(bool, toolbar);
    QFETCH(int, id);
    QFETCH(int, mode);
    CMainFrame* frame = start();
    // Start away from the target mode so that the marks have to move.
    menuAction(frame, mode == 2 ? ID_SHOW_LISTED : ID_SHOW_USER)->trigger();
    if (toolbar)
        clickToolButton(frame, id);
    else
        menuAction(frame, id)->trigger();
    QCOMPARE(activeView()->m_nFilter, mode);
    idle();

    const int menuIds[] = {ID_SHOW_ALL, ID_SHOW_LISTED, ID_SHOW_USER};
    const int buttonIds[] = {ID_TB_SHOW_ALL, ID_TB_SHOW_LISTED, ID_TB_SHOW_USER};
    for (int i = 0; i < 3; ++i) {
        QAction* item = menuAction(frame, menuIds[i]);
        refreshMenuOf(frame, item);
        QCOMPARE(item->isChecked(), i == mode);
        QVERIFY(item->actionGroup() && item->actionGroup()->isExclusive());
        QCOMPARE(toolAction(frame, buttonIds[i])->isChecked(), i == mode);
    }
}

void TestShell::barsHideAndShow_data()
{
    QTest::addColumn<int>("id");
    QTest::newRow("Toolbar") << int(ID_VIEW_TOOLBAR);
    QTest::newRow("Status Bar") << int(ID_VIEW_STATUS_BAR);
}

void TestShell::barsHideAndShow()
{
    QFETCH(int, id);
    CMainFrame* frame = start();
    QWidget* bar = id == ID_VIEW_TOOLBAR ? static_cast<QWidget*>(frame->GetToolBar()) : frame->statusBar();
    QAction* item = menuAction(frame, id);
    for (bool visible : {false, true}) {
        item->trigger();
        QCOMPARE(bar->isVisible(), visible);
        refreshMenuOf(frame, item);
        QVERIFY(item->isCheckable());
        QCOMPARE(item->isChecked(), visible);
    }
}

void TestShell::aboutBox()
{
    CMainFrame* frame = start();
    QString title;
    QStringList texts;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        title = box->windowTitle();
        for (const QLabel* label : box->findChildren<QLabel*>())
            texts << label->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    clickToolButton(frame, ID_APP_ABOUT);
    QCOMPARE(title, QStringLiteral("About tesk"));
    QVERIFY(texts.contains(QStringLiteral("tesk Version 1.0")));
    QVERIFY(!QApplication::activeModalWidget());
}

void TestShell::recentFilesSurviveRestart()
{
    QStringList paths;
    for (int i = 1; i <= 5; ++i) {
        paths << file(QStringLiteral("recent%1.qbx").arg(i));
        writeScene(paths.last(), i);
    }
    CMainFrame* frame = start();
    for (const QString& path : paths) {
        m_app->fileNames = {path};
        menuAction(frame, ID_FILE_OPEN)->trigger();
    }
    const QStringList expected = {paths[4], paths[3], paths[2], paths[1]};
    QCOMPARE(m_app->GetRecentFileList().files(), expected);

    m_app.reset();
    frame = start();
    QCOMPARE(m_app->GetRecentFileList().files(), expected);
    QMenu* fileMenu = frame->menuBar()->actions().at(0)->menu();
    const QStringList texts = menuTexts(fileMenu);
    QCOMPARE(texts.mid(5, 4), (QStringList{"&1 " + paths[4], "&2 " + paths[3], "&3 " + paths[2], "&4 " + paths[1]}));
    QCOMPARE(texts.at(9), QStringLiteral("-"));

    menuAction(frame, ID_FILE_MRU_FILE1 + 2)->trigger();
    QCOMPARE(frame->GetActiveDocument()->GetPathName(), paths[2]);
    QCOMPARE(m_app->GetRecentFileList().files().first(), paths[2]);
}

void TestShell::recentFileThatCannotOpenIsDropped()
{
    writeScene(file("gone.qbx"), 1);
    writeScene(file("kept.qbx"), 1);
    CMainFrame* frame = start({file("kept.qbx")});
    m_app->fileNames = {file("gone.qbx")};
    menuAction(frame, ID_FILE_OPEN)->trigger();
    frame->MDIGetActive()->close();
    QFile::remove(file("gone.qbx"));

    BoxAnswerer answerer({QMessageBox::Ok});
    menuAction(frame, ID_FILE_MRU_FILE1)->trigger();
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY(answerer.texts.first().contains(file("gone.qbx")));
    QCOMPARE(m_app->GetRecentFileList().files(), QStringList{file("kept.qbx")});
}

void TestShell::savePrompt_data()
{
    QTest::addColumn<bool>("exit");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("saved");
    QTest::newRow("window, Yes") << false << int(QMessageBox::Yes) << true << true;
    QTest::newRow("window, No") << false << int(QMessageBox::No) << true << false;
    QTest::newRow("window, Cancel") << false << int(QMessageBox::Cancel) << false << false;
    QTest::newRow("exit, Yes") << true << int(QMessageBox::Yes) << true << true;
    QTest::newRow("exit, No") << true << int(QMessageBox::No) << true << false;
    QTest::newRow("exit, Cancel") << true << int(QMessageBox::Cancel) << false << false;
}

void TestShell::savePrompt()
{
    QFETCH(bool, exit);
    QFETCH(int, answer);
    QFETCH(bool, closed);
    QFETCH(bool, saved);
    CMainFrame* frame = start();
    menuAction(frame, ID_ADD_STAR)->trigger();
    Document* doc = frame->GetActiveDocument();
    m_app->fileNames = {file("prompted.qbx")};
    QFile::remove(file("prompted.qbx"));

    BoxAnswerer answerer({QMessageBox::StandardButton(answer)});
    if (exit)
        menuAction(frame, ID_APP_EXIT)->trigger();
    else
        frame->MDIGetActive()->close();
    idle();

    QCOMPARE(answerer.texts, QStringList{QStringLiteral("Save changes to Untitled?")});
    QTRY_COMPARE(documents().empty(), closed);
    if (exit)
        QCOMPARE(frame->isVisible(), !closed);
    QCOMPARE(QFileInfo::exists(file("prompted.qbx")), saved);
    if (!closed)
        QVERIFY(doc->IsModified());
}

void TestShell::failedSaveKeepsSceneOpenAndModified()
{
    CMainFrame* frame = start();
    menuAction(frame, ID_ADD_CUBE)->trigger();
    const QString target = file("no-such-folder/scene.qbx");
    m_app->fileNames = {target};

    BoxAnswerer answerer({QMessageBox::Yes, QMessageBox::Ok});
    frame->MDIGetActive()->close();
    idle();
    QCOMPARE(answerer.texts.size(), 2);
    QVERIFY2(answerer.texts.at(1).contains(target) && answerer.texts.at(1).contains(QStringLiteral("No such file")),
             qPrintable(answerer.texts.at(1)));
    QCOMPARE(documents().size(), 1u);
    QVERIFY(frame->GetActiveDocument()->IsModified());
}

void TestShell::noPromptWhileAnotherWindowShowsTheScene()
{
    CMainFrame* frame = start();
    menuAction(frame, ID_ADD_SPHERE)->trigger();
    menuAction(frame, ID_ADD_VIEW)->trigger();
    BoxAnswerer answerer({QMessageBox::Cancel});
    frame->MDIGetActive()->close();
    idle();
    QVERIFY(answerer.texts.isEmpty());
    QCOMPARE(frame->mdiArea()->subWindowList().size(), 1);
    QVERIFY(frame->GetActiveDocument()->IsModified());
}

void TestShell::saveAsAddsTheExtension_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("no extension") << "plain" << "plain.qbx";
    QTest::newRow("own extension") << "scene.bak" << "scene.bak";
    QTest::newRow("scene extension") << "named.qbx" << "named.qbx";
}

void TestShell::saveAsAddsTheExtension()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    CMainFrame* frame = start();
    menuAction(frame, ID_ADD_SPHERE)->trigger();
    m_app->fileNames = {file(typed)};
    menuAction(frame, ID_FILE_SAVE_AS)->trigger();
    QVERIFY(QFileInfo::exists(file(written)));
    QCOMPARE(frame->GetActiveDocument()->GetPathName(), file(written));
    QVERIFY(!frame->GetActiveDocument()->IsModified());
    QCOMPARE(frame->windowTitle(), QStringLiteral("TESK - Main Frame - ") + written);
}

void TestShell::openErrorNamesFileAndReason()
{
    QFile junk(file("junk.qbx"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("\x02\x00", 2);
    junk.close();
    CMainFrame* frame = start();
    m_app->fileNames = {file("junk.qbx")};
    BoxAnswerer answerer({QMessageBox::Ok});
    clickToolButton(frame, ID_FILE_OPEN);
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY2(answerer.texts.first().contains(file("junk.qbx")) && answerer.texts.first().contains(QStringLiteral("end of file")),
             qPrintable(answerer.texts.first()));
    QCOMPARE(documents().size(), 1u);
    QVERIFY(m_app->GetRecentFileList().files().isEmpty());
}

void TestShell::openingAnOpenFileActivatesItsWindow()
{
    writeScene(file("once.qbx"), 2);
    CMainFrame* frame = start({file("once.qbx")});
    Document* once = frame->GetActiveDocument();
    m_app->OnFileNew(ID_FILE_NEW);
    QVERIFY(frame->GetActiveDocument() != once);
    m_app->fileNames = {file("./once.qbx")};
    menuAction(frame, ID_FILE_OPEN)->trigger();
    QCOMPARE(documents().size(), 2u);
    QCOMPARE(frame->GetActiveDocument(), once);
}

void TestShell::droppedFilesOpenInTheirOwnWindows()
{
    writeScene(file("drop1.qbx"), 1);
    writeScene(file("drop2.qbx"), 2);
    CMainFrame* frame = start();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file("drop1.qbx")), QUrl::fromLocalFile(file("drop2.qbx"))});
    const QPoint at = frame->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &drop);
    QVERIFY(drop.isAccepted());

    QCOMPARE(documents().size(), 3u);
    QCOMPARE(frame->mdiArea()->subWindowList().size(), 3);
    QCOMPARE(m_app->m_pDocTemplate->framesOf(documents().at(1)).size(), 1u);
    QCOMPARE(documents().at(2)->GetPathName(), file("drop2.qbx"));
    QCOMPARE(objectNames(documents().at(2)).size(), 2);
}

void TestShell::titleAndCountFollowTheActiveWindow()
{
    writeScene(file("two.qbx"), 2);
    CMainFrame* frame = start({file("two.qbx")});
    FrameWindow* first = frame->MDIGetActive();
    m_app->OnFileNew(ID_FILE_NEW);
    QCOMPARE(frame->windowTitle(), QStringLiteral("TESK - Main Frame - Untitled"));
    QCOMPARE(frame->GetPaneText(1), QStringLiteral("Object count: 0"));
    frame->ActivateFrame(first);
    QCOMPARE(frame->windowTitle(), QStringLiteral("TESK - Main Frame - two.qbx"));
    QCOMPARE(frame->GetPaneText(1), QStringLiteral("Object count: 2"));
    // Maximised, the window's own title follows in brackets instead.
    first->showMaximized();
    QCOMPARE(frame->windowTitle(), QStringLiteral("TESK - Main Frame - [two.qbx[*]]"));
    first->showNormal();
    QCOMPARE(frame->windowTitle(), QStringLiteral("TESK - Main Frame - two.qbx"));

    // With no window left, neither the title nor pane 1 speaks of a scene.
    frame->mdiArea()->closeAllSubWindows();
    QTRY_VERIFY(documents().empty());
    QCOMPARE(frame->windowTitle(), QStringLiteral("TESK - Main Frame"));
    QCOMPARE(frame->GetPaneText(1), QString());
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
