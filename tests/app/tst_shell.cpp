// The application shell driven through its real widgets on the offscreen
// platform: start-up, command states and routing, bars, recent files, file
// commands with their prompts and errors, drag and drop; the desktop
// around it: command line, hand-over to a running editor, window state,
// placing, focus and accessible names.

#include "app/commandline.h"
#include "app/display.h"
#include "app/instancechannel.h"
#include "app/mainfrm.h"
#include "app/openprogress.h"
#include "app/resources.h"
#include "app/scenefiles.h"
#include "app/tesk.h"
#include "document/commands.h"
#include "document/teskdoc.h"
#include "framework/core/ansi.h"
#include "framework/core/diskwork.h"
#include "framework/core/filestamp.h"
#include "framework/core/stdids.h"
#include "framework/gui/contrast.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/multidoctemplate.h"
#include "journal/docjournal.h"
#include "journal/orphanjournal.h"
#include "tests/app/xbelsummary.h"
#include "view/teskview.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QDialog>
#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace fw;

namespace {

// The application with its file dialogs replaced by a queue of answers,
// or left as they are with `realDialogs`.
class ScriptedApp : public CTeskApp {
public:
    QStringList fileNames;
    bool realDialogs = false;

protected:
    QString DoPromptFileName(const QString& proposed, bool open) override
    {
        if (realDialogs)
            return CTeskApp::DoPromptFileName(proposed, open);
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
};

// Answers the message boxes that appear next, in order, and keeps their
// texts and their buttons' texts (sorted, the default one in brackets).
// Each box is answered once it is shown, in the event loop that runs it,
// however many turns of the event loop it takes to come up (a save, say,
// waits for its worker in a loop of its own first).
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(QList<QMessageBox::StandardButton> buttons)
        : m_buttons(std::move(buttons))
    {
        qApp->installEventFilter(this);
    }
    QStringList texts;
    QStringList details;
    QList<QMessageBox::StandardButtons> shownButtons;
    QList<QStringList> captions;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (event->type() == QEvent::Show && box && box->isModal() && m_asked < m_buttons.size()) {
            ++m_asked;
            QMetaObject::invokeMethod(this, [this, box = QPointer<QMessageBox>(box)] { answer(box); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void answer(QMessageBox* box)
    {
        if (!box)
            return;
        texts << box->text();
        details << box->detailedText();
        shownButtons << box->standardButtons();
        QStringList boxCaptions;
        for (QAbstractButton* button : box->buttons())
            boxCaptions << (button == box->defaultButton() ? "[" + button->text() + "]" : button->text());
        boxCaptions.sort();
        captions << boxCaptions;
        box->button(m_buttons.takeFirst())->click();
        --m_asked;
    }

    QList<QMessageBox::StandardButton> m_buttons;
    // Boxes shown and not yet answered.
    qsizetype m_asked = 0;
};

// Answers the dialogs that come up next by keyboard alone: Alt and each of
// `keys` in turn, in the modal dialog that is up then. Keeps, for each
// press, the access keys of that dialog's buttons (sorted; "?" for a button
// without one) and the text of the button that the press clicked, read
// after its click. A press that clicks nothing is recorded as "" and closes
// the dialog so that the test goes on.
class KeyAnswerer : public QObject {
public:
    explicit KeyAnswerer(QString keys)
        : m_keys(std::move(keys))
    {
        arm();
    }
    QStringList accessKeys;
    QStringList clicked;

private:
    void arm() { QTimer::singleShot(10, this, [this] { answer(); }); }
    void answer()
    {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !QTest::qWaitForWindowActive(dialog)) {
            arm();
            return;
        }
        // An activation still on its way (the main window brought forward
        // before the dialog showed) may have taken the keys meanwhile.
        if (QApplication::activeWindow() != dialog) {
            dialog->activateWindow();
            arm();
            return;
        }
        QString keys;
        QList<QMetaObject::Connection> watches;
        for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
            const QKeySequence mnemonic = QKeySequence::mnemonic(button->text());
            keys += mnemonic.isEmpty() ? QChar('?') : QChar(int(mnemonic[0].key()));
            watches << connect(button, &QAbstractButton::clicked, this, [this, button] { answered(button->text()); });
        }
        std::sort(keys.begin(), keys.end());
        accessKeys << keys;
        m_watches = watches;
        // Qt clicks a button by its key only after showing it pressed for a moment.
        m_unanswered.emplace();
        QTimer::singleShot(5000, &*m_unanswered, [this, dialog = QPointer<QDialog>(dialog)] {
            answered(QString());
            if (dialog)
                dialog->reject();
        });
        QTest::keyClick(dialog, Qt::Key(m_keys.front().unicode()), Qt::AltModifier);
        m_keys.remove(0, 1);
    }
    void answered(const QString& text)
    {
        for (const QMetaObject::Connection& watch : std::as_const(m_watches))
            disconnect(watch);
        m_unanswered.reset();
        clicked << text;
        if (!m_keys.isEmpty())
            arm();
    }

    QString m_keys;
    QList<QMetaObject::Connection> m_watches;
    std::optional<QObject> m_unanswered;
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

// View > Add view, and the turns of the event loop until its window is the active one.
void addView(CMainFrame* frame)
{
    menuAction(frame, ID_ADD_VIEW)->trigger();
    QMdiSubWindow* added = frame->mdiArea()->subWindowList(QMdiArea::CreationOrder).constLast();
    QTRY_COMPARE(static_cast<QMdiSubWindow*>(frame->MDIGetActive()), added);
}

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
    for (const auto& object : static_cast<CTeskDoc*>(doc)->GetObjects())
        names << fromAnsi(object->m_pShape->m_szName);
    return names;
}

// The number of objects in the scene file at `path`; -1 when there is none.
int objectsInFile(const QString& path)
{
    CTeskDoc doc;
    fw::FileError error;
    return doc.OnOpenDocument(path, &error) ? static_cast<int>(doc.GetObjects().size()) : -1;
}

// Writes the scene as another program would: at once, without the editor's
// loop that keeps its windows answering during a save, which would also
// handle the editor's pending window events.
void writeScene(const QString& path, int objects)
{
    CTeskDoc doc;
    for (int i = 0; i < objects; ++i)
        doc.AddObject(1 + i % 3);
    fw::FileError error;
    const fw::DiskWorkRunner editors = fw::SetDiskWorkRunner({});
    const bool saved = doc.OnSaveDocument(path, &error);
    fw::SetDiskWorkRunner(editors);
    QVERIFY2(saved, qPrintable(error.reason));
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
    void openAndSaveReachTheDesktopsRecentFiles();
    void savePrompt_data();
    void savePrompt();
    void failedSaveKeepsSceneOpenAndModified();
    void noPromptWhileAnotherWindowShowsTheScene();
    void addedViewShowsAfterTheTurnBetween_data();
    void addedViewShowsAfterTheTurnBetween();
    void saveAsksBeforeOverwritingAFileChangedOnDisk_data();
    void saveAsksBeforeOverwritingAFileChangedOnDisk();
    void saveAsOntoAFileOpenInAnotherWindowIsRefused_data();
    void saveAsOntoAFileOpenInAnotherWindowIsRefused();
    void saveOfAReadOnlyFileSaysWhyBeforeSaveAs_data();
    void saveOfAReadOnlyFileSaysWhyBeforeSaveAs();
    void saveAsAddsTheExtension_data();
    void saveAsAddsTheExtension();
    void openErrorInPlainWordsWithTheReasonAsDetail_data();
    void openErrorInPlainWordsWithTheReasonAsDetail();
    void longOpen_data();
    void longOpen();
    void openingAnOpenFileActivatesItsWindow();
    void droppedFilesOpenInTheirOwnWindows();
    void titleAndCountFollowTheActiveWindow();
    void commandLine_data();
    void commandLine();
    void handOverToTheRunningEditor_data();
    void handOverToTheRunningEditor();
    void channelRunsWhereQuestionsCanBeAnswered_data();
    void channelRunsWhereQuestionsCanBeAnswered();
    void channelIsTheUsersAloneAndNeverTakenOver();
    void channelTrustsOnlyItsOwnUser_data();
    void channelTrustsOnlyItsOwnUser();
    void windowStateRestoredAndFitted_data();
    void windowStateRestoredAndFitted();
    void windowStateSurvivesRestart_data();
    void windowStateSurvivesRestart();
    void newWindowsCascade();
    void everyToolBarButtonHasAnAccessibleName();
    void linesAndIconsStandOutInEveryPalette_data();
    void linesAndIconsStandOutInEveryPalette();
    void focusReturnsToTheTree_data();
    void focusReturnsToTheTree();
    void fileDialogsStartInAUsefulFolder_data();
    void fileDialogsStartInAUsefulFolder();
    void eachFileDialogStartsAfresh_data();
    void eachFileDialogStartsAfresh();
    void everyButtonOfAQuestionAnswersToItsAccessKey_data();
    void everyButtonOfAQuestionAnswersToItsAccessKey();

private:
    // Starts the editor on `files`.
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
    // The editor's names, so that settings a test writes before its first
    // start land where the editor reads them.
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane Productions"));
    QCoreApplication::setApplicationName(QStringLiteral("tesk"));
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
    if (!m_app->InitInstance(parseCommandLine(QStringList{QStringLiteral("tesk")} + files)))
        return nullptr;
    return m_app->GetMainFrame();
}

void TestShell::startUp_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("objects");
    QTest::newRow("no file") << QStringList() << 0;
    QTest::newRow("scene file") << QStringList{"three.qbx"} << 3;
    QTest::newRow("scene file named twice") << QStringList{"three.qbx", "three.qbx"} << 3;
    QTest::newRow("missing file") << QStringList{"missing.qbx"} << -1;
    QTest::newRow("missing file before a scene") << QStringList{"missing.qbx", "three.qbx"} << -1;
}

void TestShell::startUp()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, objects);
    if (objects > 0)
        writeScene(file(arguments.constFirst()), objects);
    QStringList files;
    for (const QString& name : arguments)
        files << file(name);
    CMainFrame* frame = start(files);
    if (objects < 0) {
        // The program is to end: nothing open, nothing shown.
        QVERIFY(!frame && documents().empty() && !m_app->GetMainFrame()->isVisible());
        return;
    }
    const QString argument = arguments.value(0);
    QVERIFY(frame && frame->isVisible());
    QCOMPARE(documents().size(), 1u);
    QCOMPARE(frame->mdiArea()->subWindowList().size(), 1);
    Document* doc = frame->GetActiveDocument();
    QCOMPARE(doc->GetPathName(), argument.isEmpty() ? QString() : file(argument));
    QVERIFY(!doc->IsModified());
    QCOMPARE(objectNames(doc).size(), objects);
    if (!argument.isEmpty()) {
        // The same objects and stamp as a load streamed through Serialize.
        CTeskDoc direct;
        fw::FileError error;
        const fw::FileLoad load = fw::Document::LoadFile(file(argument), [&direct](fw::Archive& ar) { direct.Serialize(ar); });
        QVERIFY(direct.AdoptFile(file(argument), load, &error));
        QCOMPARE(objectNames(doc), objectNames(&direct));
        QCOMPARE(doc->GetFileStamp(), direct.GetFileStamp());
    }
    QCOMPARE(frame->windowTitle(), "TESK - Main Frame - " + (argument.isEmpty() ? QStringLiteral("Untitled") : argument));
    QCOMPARE(frame->GetPaneText(0), QStringLiteral("Ready"));
    QCOMPARE(frame->GetPaneText(1), QStringLiteral("Object count: %1").arg(objects));
    QCOMPARE(m_app->GetSceneFiles().RecentFiles().files(), argument.isEmpty() ? QStringList() : QStringList{file(argument)});
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Quorvane Productions"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("tesk"));
    QVERIFY(frame->acceptDrops());
    QVERIFY(!QApplication::windowIcon().isNull());
}

void TestShell::unopenableFileOnCommandLineExitsWithOne_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "missing.qbx" << "No such file";
    // Regression: a named pipe froze the editor until something wrote to it.
    QTest::newRow("named pipe") << "pipe.qbx" << "not a regular file";
    QTest::newRow("damaged") << "damaged.qbx" << "end of file";
}

void TestShell::unopenableFileOnCommandLineExitsWithOne()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QVERIFY(::mkfifo(QFile::encodeName(file("pipe.qbx")).constData(), 0600) == 0 || errno == EEXIST);
    QFile damaged(file(QStringLiteral("damaged.qbx")));
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write("\x02\x00", 2) == 2);
    damaged.close();
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
    // The hover reaches only a window that the platform shows already.
    QVERIFY(QTest::qWaitForWindowExposed(frame));
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
    addView(frame);
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
    QCOMPARE(m_app->GetSceneFiles().RecentFiles().files(), expected);

    m_app.reset();
    frame = start();
    QCOMPARE(m_app->GetSceneFiles().RecentFiles().files(), expected);
    QMenu* fileMenu = frame->menuBar()->actions().at(0)->menu();
    const QStringList texts = menuTexts(fileMenu);
    QCOMPARE(texts.mid(5, 4), (QStringList{"&1 " + paths[4], "&2 " + paths[3], "&3 " + paths[2], "&4 " + paths[1]}));
    QCOMPARE(texts.at(9), QStringLiteral("-"));

    menuAction(frame, ID_FILE_MRU_FILE1 + 2)->trigger();
    QCOMPARE(frame->GetActiveDocument()->GetPathName(), paths[2]);
    QCOMPARE(m_app->GetSceneFiles().RecentFiles().files().first(), paths[2]);
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
    QVERIFY(answerer.details.first().contains(file("gone.qbx")));
    QCOMPARE(m_app->GetSceneFiles().RecentFiles().files(), QStringList{file("kept.qbx")});
}

void TestShell::openAndSaveReachTheDesktopsRecentFiles()
{
    QTemporaryDir data;
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    writeScene(file("opened.qbx"), 1);
    CMainFrame* frame = start();
    qputenv("XDG_DATA_HOME", before);
    m_app->fileNames = {file("opened.qbx"), file("saved.qbx")};
    menuAction(frame, ID_FILE_OPEN)->trigger();
    menuAction(frame, ID_FILE_SAVE_AS)->trigger();
    menuAction(frame, ID_FILE_SAVE)->trigger();
    QCOMPARE(m_app->GetSceneFiles().RecentFiles().files(), (QStringList{file("saved.qbx"), file("opened.qbx")}));
    // Gone with the application: the updates it queued are written.
    m_app.reset();
    QStringList entries = xbelSummary(data.filePath(QStringLiteral("recently-used.xbel")));
    entries.replaceInStrings(QRegularExpression(QStringLiteral(" added=\\S+ modified=\\S+")), QString());
    QCOMPARE(entries, (QStringList{QUrl::fromLocalFile(file("opened.qbx")).toString() + " application/x-tesk-scene tesk=1",
                                   QUrl::fromLocalFile(file("saved.qbx")).toString() + " application/x-tesk-scene tesk=2"}));
}

// A palette as Qt's GTK 3 platform theme makes it from a GTK theme.
QPalette gtkPalette(const char* window, const char* text, const char* base, const char* alternate, const char* light,
                    const char* midlight, const char* mid, const char* dark, const char* shadow)
{
    QPalette palette{QColor(text), QColor(window), QColor(light), QColor(dark), QColor(mid), QColor(text), QColor(light),
                     QColor(base), QColor(window)};
    palette.setColor(QPalette::Midlight, QColor(midlight));
    palette.setColor(QPalette::Shadow, QColor(shadow));
    palette.setColor(QPalette::AlternateBase, QColor(alternate));
    palette.setColor(QPalette::Highlight, QColor(0x30, 0x8c, 0xc6));
    return palette;
}

// The outline of what is drawn in `area` of `image`: its pixels that differ
// from `background` beside one that does not. How many, and how many of
// them stand out from the background by a contrast of 3.
struct Marks {
    int outline = 0;
    int visibleOutline = 0;
};
Marks marks(const QImage& image, const QRect& area, const QColor& background)
{
    const auto isBackground = [&](int x, int y) {
        return !area.contains(x, y) || image.pixelColor(x, y).rgb() == background.rgb();
    };
    Marks found;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (isBackground(x, y))
                continue;
            if (!isBackground(x - 1, y) && !isBackground(x + 1, y) && !isBackground(x, y - 1) && !isBackground(x, y + 1))
                continue;
            ++found.outline;
            if (fw::ContrastRatio(image.pixelColor(x, y), background) >= 3.0)
                ++found.visibleOutline;
        }
    }
    return found;
}

void TestShell::linesAndIconsStandOutInEveryPalette_data()
{
    QTest::addColumn<QPalette>("palette");
    // What the GTK 3 platform theme gives under GTK's Adwaita and Adwaita-dark.
    QTest::newRow("light") << gtkPalette("#efefef", "#000000", "#ffffff", "#f7f7f7", "#ffffff", "#cacaca", "#b8b8b8",
                                         "#9f9f9f", "#767676");
    QTest::newRow("dark") << gtkPalette("#323232", "#f0f0f0", "#242424", "#2b2b2b", "#4b4b4b", "#2a2a2a", "#262626",
                                        "#212121", "#191919");
}

void TestShell::linesAndIconsStandOutInEveryPalette()
{
    QFETCH(QPalette, palette);
    const QPalette before = QApplication::palette();
    QApplication::setPalette(palette);
    const auto restore = qScopeGuard([&before] { QApplication::setPalette(before); });
    writeScene(file("palette.qbx"), 2);
    CMainFrame* frame = start({file("palette.qbx")});
    frame->resize(800, 600);
    CTeskView* view = activeView();
    view->expandAll();
    view->selectionModel()->clear();
    view->setCurrentIndex(QModelIndex());
    QVERIFY(QTest::qWaitForWindowExposed(frame));

    // Branch lines and boxes: what is left of each row's item.
    const QImage tree = view->viewport()->grab().toImage();
    Marks lines;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        const QModelIndex object = view->model()->index(row, 0);
        QModelIndexList items{object};
        for (int child = 0; child < view->model()->rowCount(object); ++child)
            items << view->model()->index(child, 0, object);
        for (const QModelIndex& item : items) {
            const QRect rect = view->visualRect(item);
            const Marks found = marks(tree, QRect(0, rect.top(), rect.left(), rect.height()), palette.color(QPalette::Base));
            lines.outline += found.outline;
            lines.visibleOutline += found.visibleOutline;
        }
    }
    QVERIFY2(lines.outline > 100, qPrintable(QString::number(lines.outline)));
    QCOMPARE(lines.visibleOutline, lines.outline);

    // Every toolbar icon, laid on the toolbar: at least three quarters of
    // its outline (its pixels at least half opaque beside one that is not).
    QToolBar* toolBar = frame->GetToolBar();
    const QColor background = toolBar->palette().color(QPalette::Window);
    int icons = 0;
    for (QAction* action : toolBar->actions()) {
        if (action->isSeparator() || action->icon().isNull())
            continue;
        ++icons;
        const QImage icon = action->icon().pixmap(toolBar->iconSize()).toImage().convertToFormat(QImage::Format_ARGB32);
        QImage laid(icon.size(), QImage::Format_RGB32);
        laid.fill(background);
        QPainter(&laid).drawImage(0, 0, icon);
        QImage shape(icon.size(), QImage::Format_RGB32);
        for (int y = 0; y < icon.height(); ++y) {
            for (int x = 0; x < icon.width(); ++x)
                shape.setPixel(x, y, qAlpha(icon.pixel(x, y)) >= 128 ? laid.pixel(x, y) : background.rgb());
        }
        const Marks outline = marks(shape, shape.rect(), background);
        QVERIFY2(outline.outline > 0 && outline.visibleOutline * 4 >= outline.outline * 3,
                 qPrintable(QStringLiteral("%1: %2 of %3").arg(action->toolTip()).arg(outline.visibleOutline).arg(outline.outline)));
    }
    QVERIFY(icons >= 10);
}

void TestShell::savePrompt_data()
{
    QTest::addColumn<bool>("exit");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("saved");
    QTest::newRow("window, Save") << false << int(QMessageBox::Save) << true << true;
    QTest::newRow("window, Discard") << false << int(QMessageBox::Discard) << true << false;
    QTest::newRow("window, Cancel") << false << int(QMessageBox::Cancel) << false << false;
    QTest::newRow("exit, Save") << true << int(QMessageBox::Save) << true << true;
    QTest::newRow("exit, Discard") << true << int(QMessageBox::Discard) << true << false;
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
    QCOMPARE(answerer.shownButtons.first(), QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
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

    BoxAnswerer answerer({QMessageBox::Save, QMessageBox::Ok});
    frame->MDIGetActive()->close();
    idle();
    QCOMPARE(answerer.texts.size(), 2);
    QCOMPARE(answerer.texts.at(1), QStringLiteral("\u201Cscene.qbx\u201D cannot be saved: the folder \u201C%1\u201D does not "
                                                  "exist. The scene stays open with its changes.")
                                       .arg(file("no-such-folder")));
    QVERIFY2(answerer.details.at(1).contains(target) && answerer.details.at(1).contains(QStringLiteral("No such file")),
             qPrintable(answerer.details.at(1)));
    QCOMPARE(documents().size(), 1u);
    QVERIFY(frame->GetActiveDocument()->IsModified());
}

void TestShell::noPromptWhileAnotherWindowShowsTheScene()
{
    CMainFrame* frame = start();
    menuAction(frame, ID_ADD_SPHERE)->trigger();
    addView(frame);
    BoxAnswerer answerer({QMessageBox::Cancel});
    frame->MDIGetActive()->close();
    idle();
    QVERIFY(answerer.texts.isEmpty());
    QCOMPARE(frame->mdiArea()->subWindowList().size(), 1);
    QVERIFY(frame->GetActiveDocument()->IsModified());
}

void TestShell::saveAsksBeforeOverwritingAFileChangedOnDisk_data()
{
    QTest::addColumn<QString>("onDisk");
    QTest::addColumn<bool>("saveAs");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("objectsAfter");
    const int none = QMessageBox::NoButton;
    const int cancel = QMessageBox::Cancel;
    const int overwrite = QMessageBox::Yes;
    QTest::newRow("unchanged: no question") << "unchanged" << false << none << 4;
    QTest::newRow("replaced, Cancel") << "replaced" << false << cancel << 5;
    QTest::newRow("replaced, Overwrite") << "replaced" << false << overwrite << 4;
    QTest::newRow("deleted, Cancel") << "deleted" << false << cancel << -1;
    QTest::newRow("deleted, Overwrite") << "deleted" << false << overwrite << 4;
    QTest::newRow("Save As onto its own replaced file, Cancel") << "replaced" << true << cancel << 5;
}

void TestShell::saveAsksBeforeOverwritingAFileChangedOnDisk()
{
    QFETCH(QString, onDisk);
    QFETCH(bool, saveAs);
    QFETCH(int, answer);
    QFETCH(int, objectsAfter);
    const QString path = file("ondisk.qbx");
    writeScene(path, 3);
    CMainFrame* frame = start({path});
    Document* doc = frame->GetActiveDocument();
    menuAction(frame, ID_ADD_CUBE)->trigger();
    if (onDisk == "replaced")
        writeScene(path, 5);
    else if (onDisk == "deleted")
        QVERIFY(QFile::remove(path));

    m_app->fileNames = {path};
    // Cancel also for the row that expects no question: a wrong one then fails below.
    BoxAnswerer answerer({QMessageBox::StandardButton(answer == QMessageBox::NoButton ? QMessageBox::Cancel : answer)});
    menuAction(frame, saveAs ? ID_FILE_SAVE_AS : ID_FILE_SAVE)->trigger();

    if (answer == QMessageBox::NoButton) {
        QVERIFY(answerer.texts.isEmpty());
    } else {
        QCOMPARE(answerer.texts, QStringList{"ondisk.qbx has changed on disk since it was opened. Overwrite it?"});
        QCOMPARE(answerer.captions.first(), QStringList({"&Overwrite", "[&Cancel]"}));
    }
    QCOMPARE(objectsInFile(path), objectsAfter);
    QCOMPARE(doc->GetPathName(), path);
    QCOMPARE(doc->IsModified(), answer == QMessageBox::Cancel);
    QCOMPARE(objectNames(doc).size(), 4);
    if (answer != QMessageBox::Cancel)
        QCOMPARE(CompareFileStamp(path, doc->GetFileStamp()), FileChange::Unchanged);
}

void TestShell::saveAsOntoAFileOpenInAnotherWindowIsRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("twoWindows");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<QString>("window");
    QTest::newRow("same name") << "held.qbx" << false << false << "held.qbx";
    QTest::newRow("another spelling") << "./held.qbx" << false << false << "held.qbx";
    QTest::newRow("through a link") << "link.qbx" << false << false << "held.qbx";
    QTest::newRow("held in two windows") << "held.qbx" << true << false << "held.qbx:1";
    QTest::newRow("held file deleted meanwhile") << "held.qbx" << false << true << "held.qbx";
}

void TestShell::saveAsOntoAFileOpenInAnotherWindowIsRefused()
{
    QFETCH(QString, typed);
    QFETCH(bool, twoWindows);
    QFETCH(bool, deleted);
    QFETCH(QString, window);
    const QString held = file("held.qbx");
    writeScene(held, 1);
    writeScene(file("saver.qbx"), 2);
    QFile::remove(file("link.qbx"));
    QVERIFY(QFile::link(held, file("link.qbx")));
    CMainFrame* frame = start({held, file("saver.qbx")});
    Document* saver = frame->GetActiveDocument();
    Document* holder = documents().front();
    if (twoWindows) {
        frame->ActivateFrame(m_app->m_pDocTemplate->framesOf(holder).front());
        addView(frame);
        frame->ActivateFrame(m_app->m_pDocTemplate->framesOf(saver).front());
    }
    if (deleted)
        QVERIFY(QFile::remove(held));

    m_app->fileNames = {file(typed)};
    BoxAnswerer answerer({QMessageBox::Ok});
    menuAction(frame, ID_FILE_SAVE_AS)->trigger();
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY2(answerer.texts.first().contains('"' + window + '"'), qPrintable(answerer.texts.first()));
    QCOMPARE(saver->GetPathName(), file("saver.qbx"));
    QCOMPARE(holder->GetPathName(), held);
    QCOMPARE(objectsInFile(held), deleted ? -1 : 1);
}

void TestShell::saveOfAReadOnlyFileSaysWhyBeforeSaveAs_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("saved under another name") << "copy.qbx";
    QTest::newRow("Save As cancelled") << "";
}

void TestShell::saveOfAReadOnlyFileSaysWhyBeforeSaveAs()
{
    QFETCH(QString, typed);
    const QString path = file("readonly.qbx");
    QFile::remove(path);
    writeScene(path, 1);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    CMainFrame* frame = start({path});
    Document* doc = frame->GetActiveDocument();
    menuAction(frame, ID_ADD_STAR)->trigger();
    if (!typed.isEmpty())
        m_app->fileNames = {file(typed)};

    BoxAnswerer answerer({QMessageBox::Ok});
    menuAction(frame, ID_FILE_SAVE)->trigger();
    QCOMPARE(answerer.texts, QStringList{"readonly.qbx is read-only; save it under another name."});
    QCOMPARE(objectsInFile(path), 1);
    QCOMPARE(doc->GetPathName(), typed.isEmpty() ? path : file(typed));
    QCOMPARE(doc->IsModified(), typed.isEmpty());
    if (!typed.isEmpty())
        QCOMPARE(objectsInFile(file(typed)), 2);
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

void TestShell::openErrorInPlainWordsWithTheReasonAsDetail_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    QTest::newRow("truncated") << QByteArray("\x02\x00", 2)
                               << "\u201Cjunk.qbx\u201D is not a tesk scene, or it is damaged: it ends too early."
                               << "end of file";
    // One object of a class named "CSomethingElse".
    QTest::newRow("other class") << QByteArray("\x01\x00\xff\xff\x03\x00\x0e\x00CSomethingElse", 22)
                                 << "\u201Cjunk.qbx\u201D is not a tesk scene, or it is damaged: it holds a kind of data "
                                    "that tesk does not know."
                                 << "bad class";
    QTest::newRow("missing") << QByteArray() << "\u201Cjunk.qbx\u201D cannot be opened: there is no such file."
                             << "No such file";
    // "/" stands for a folder in the file's place.
    QTest::newRow("folder") << QByteArray("/")
                            << "\u201Cjunk.qbx\u201D cannot be opened: it is not a file but a folder, a pipe or a device."
                            << "not a regular file";
}

void TestShell::openErrorInPlainWordsWithTheReasonAsDetail()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(QString, reason);
    QFile::remove(file("junk.qbx"));
    QDir(file("junk.qbx")).removeRecursively();
    if (bytes == "/") {
        QVERIFY(QDir().mkpath(file("junk.qbx")));
    } else if (!bytes.isEmpty()) {
        QFile junk(file("junk.qbx"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(bytes);
    }
    CMainFrame* frame = start();
    m_app->fileNames = {file("junk.qbx")};
    BoxAnswerer answerer({QMessageBox::Ok});
    clickToolButton(frame, ID_FILE_OPEN);
    QCOMPARE(answerer.texts, QStringList{text});
    QVERIFY2(answerer.details.first().contains(file("junk.qbx")) && answerer.details.first().contains(reason),
             qPrintable(answerer.details.first()));
    QCOMPARE(documents().size(), 1u);
    QVERIFY(m_app->GetSceneFiles().RecentFiles().files().isEmpty());
}

// Watches the open progress of `frame`: keeps the text of each showing and
// runs `onShow` then, while the load is in flight and not yet adopted.
class ProgressWatcher : public QObject {
public:
    ProgressWatcher(COpenProgress& progress, std::function<void()> onShow)
        : m_onShow(std::move(onShow))
    {
        progress.installEventFilter(this);
    }
    QStringList shown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            shown << static_cast<COpenProgress*>(watched)->Text();
            if (m_onShow)
                m_onShow();
        }
        return false;
    }

private:
    std::function<void()> m_onShow;
};

void TestShell::longOpen_data()
{
    QTest::addColumn<int>("objects"); // -1: a damaged file
    QTest::addColumn<bool>("showAtOnce");
    QTest::addColumn<QString>("cancel"); // "", "button", "escape" or "close" (the main window)
    QTest::addColumn<QString>("failure");
    const QString name = QStringLiteral("\u201Cslow.qbx\u201D");
    QTest::newRow("cancel button") << 5000 << true << "button" << QString();
    QTest::newRow("escape") << 5000 << true << "escape" << QString();
    QTest::newRow("main window closed") << 5000 << true << "close" << QString();
    QTest::newRow("fast open shows nothing") << 3 << false << "" << QString();
    QTest::newRow("shown, then opened") << 3 << true << "" << QString();
    QTest::newRow("fails in the background")
        << -1 << true << "" << name + " is not a tesk scene, or it is damaged: it ends too early.";
}

void TestShell::longOpen()
{
    QFETCH(int, objects);
    QFETCH(bool, showAtOnce);
    QFETCH(QString, cancel);
    QFETCH(QString, failure);
    const QString path = file("slow.qbx");
    QFile::remove(path);
    if (objects < 0) {
        QFile junk(path);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray("\x02\x00", 2));
    } else {
        writeScene(path, objects);
    }
    CMainFrame* frame = start();
    COpenProgress& progress = frame->GetOpenProgress();
    if (showAtOnce)
        m_app->GetSceneFiles().Opener().SetProgressDelay(std::chrono::milliseconds(0));
    ProgressWatcher watcher(progress, [&] {
        if (cancel == "button")
            QTest::mouseClick(progress.CancelButton(), Qt::LeftButton);
        else if (cancel == "escape")
            QTest::keyClick(frame, Qt::Key_Escape);
        else if (cancel == "close")
            frame->close();
    });
    const QStringList journalsBefore = QDir(COrphanJournal::Folder()).entryList(QDir::Files);
    m_app->fileNames = {path};
    std::optional<BoxAnswerer> answerer;
    if (!failure.isEmpty())
        answerer.emplace(QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    clickToolButton(frame, ID_FILE_OPEN);

    QCOMPARE(watcher.shown, showAtOnce ? QStringList{"Opening \u201Cslow.qbx\u201D\u2026"} : QStringList());
    QVERIFY(progress.isHidden());
    const bool opens = cancel.isEmpty() && failure.isEmpty();
    // Closing the main window closes the scene that was open before.
    QCOMPARE(documents().size(), opens ? 2u : cancel == "close" ? 0u : 1u);
    QCOMPARE(frame->isVisible(), cancel != "close");
    QCOMPARE(m_app->GetSceneFiles().RecentFiles().files(), opens ? QStringList{path} : QStringList());
    if (opens)
        QCOMPARE(objectNames(documents().back()).size(), objects);
    if (answerer)
        QCOMPARE(answerer->texts, QStringList{failure});
    idle();
    QCOMPARE(QDir(COrphanJournal::Folder()).entryList(QDir::Files), journalsBefore);
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

namespace {

// The real program run with `arguments`, without any display, Qt platform
// or instance channel from the test's own environment unless `env` sets one.
struct Run {
    int exitCode;
    QString out;
    QString err;
};

QProcess* startTesk(const QStringList& arguments, const QMap<QString, QString>& env, const QString& runtimeDir,
                    const QString& workDir)
{
    auto* tesk = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TESK_INSTANCE_NAME"})
        environment.remove(QString::fromLatin1(name));
    // A private runtime folder, as a login session gives each user.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    for (auto it = env.begin(); it != env.end(); ++it)
        environment.insert(it.key(), it.value());
    tesk->setProcessEnvironment(environment);
    tesk->setWorkingDirectory(workDir);
    tesk->start(QStringLiteral(TESK_BINARY), arguments);
    return tesk;
}

Run finished(QProcess* tesk)
{
    std::unique_ptr<QProcess> owner(tesk);
    return {tesk->exitStatus() == QProcess::NormalExit ? tesk->exitCode() : -1,
            QString::fromLocal8Bit(tesk->readAllStandardOutput()), QString::fromLocal8Bit(tesk->readAllStandardError())};
}

// A socket file that nobody listens on, as an editor that crashed leaves it.
bool makeStaleSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || name.size() >= int(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound && QFileInfo::exists(path);
}

} // namespace

void TestShell::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("help, no display") << QStringList{"--help"} << "" << 0 << "--new-instance" << "";
    QTest::newRow("version, no display") << QStringList{"--version"} << "" << 0 << "tesk " TESK_VERSION "\n" << "";
    QTest::newRow("no display")
        << QStringList{} << "" << 1 << "" << "tesk: no graphical display (DISPLAY or WAYLAND_DISPLAY is not set)\n";
    QTest::newRow("x11 chosen, no display")
        << QStringList{"-platform", "xcb"} << "" << 1 << "" << "tesk: no graphical display (DISPLAY is not set)\n";
    QTest::newRow("unknown option with a dash")
        << QStringList{"-dash.qbx"} << "offscreen" << 2 << ""
        << "tesk: Unknown option 'dash.qbx'. Try \"tesk --help\".\n";
    QTest::newRow("unknown long option")
        << QStringList{"--bogus", "x.qbx"} << "offscreen" << 2 << ""
        << "tesk: Unknown option 'bogus'. Try \"tesk --help\".\n";
    // After "--" it is a file name; the file is missing, so start-up ends.
    QTest::newRow("file after --") << QStringList{"-platform", "offscreen", "--", "-dash.qbx"} << "" << 1 << ""
                                   << "-dash.qbx\": No such file or directory\n";
}

void TestShell::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, platform);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QMap<QString, QString> env{{QStringLiteral("XDG_CONFIG_HOME"), m_settingsDir.path()}};
    if (!platform.isEmpty())
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    QProcess* tesk = startTesk(arguments, env, m_settingsDir.path(), m_dir.path());
    QVERIFY(tesk->waitForFinished());
    const Run run = finished(tesk);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.contains(out), qPrintable(run.out));
    QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.endsWith(err) && run.err.count(QLatin1Char('\n')) == 1,
             qPrintable(run.err));
}

// A platform that can show a question to somebody also hands files to the
// editor running there; one that shows nothing does neither.
void TestShell::channelRunsWhereQuestionsCanBeAnswered_data()
{
    QTest::addColumn<QString>("platformOption");
    QTest::addColumn<bool>("interactive");
    QTest::newRow("offscreen") << "offscreen" << false;
    QTest::newRow("minimal with options") << "minimal:enable_fonts" << false;
    QTest::newRow("vnc") << "vnc" << true;
    QTest::newRow("xcb with options") << "xcb:foo" << true;
}

void TestShell::channelRunsWhereQuestionsCanBeAnswered()
{
    QFETCH(QString, platformOption);
    QFETCH(bool, interactive);
    const QByteArray overridden = qgetenv("TESK_INSTANCE_NAME");
    qunsetenv("TESK_INSTANCE_NAME");
    const bool channel = !instanceChannelName(platformOption).isEmpty();
    if (!overridden.isNull())
        qputenv("TESK_INSTANCE_NAME", overridden);
    QCOMPARE(isInteractive(displayPlatform(platformOption)), interactive);
    QCOMPARE(channel, interactive);
}

void TestShell::handOverToTheRunningEditor_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("staleSocket");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("documents");
    QTest::addColumn<QString>("err");
    QTest::newRow("two files") << QStringList{"one.qbx", "two.qbx"} << false << 0 << 3 << "";
    QTest::newRow("no file opens a new scene") << QStringList{} << false << 0 << 2 << "";
    QTest::newRow("missing file")
        << QStringList{"one.qbx", "missing.qbx"} << false << 1 << 2 << "missing.qbx\": No such file or directory\n";
    QTest::newRow("after a crashed editor") << QStringList{"one.qbx"} << true << 0 << 2 << "";
}

void TestShell::handOverToTheRunningEditor()
{
    QFETCH(QStringList, files);
    QFETCH(bool, staleSocket);
    QFETCH(int, exitCode);
    QFETCH(int, documents);
    QFETCH(QString, err);
    writeScene(file("one.qbx"), 1);
    writeScene(file("two.qbx"), 2);
    const QString channel = file("channel");
    if (staleSocket)
        QVERIFY(makeStaleSocket(channel));
    start();
    CInstanceServer server([this](const QStringList& handed) { return m_app->GetSceneFiles().OpenHandedOver(handed); });
    QString error;
    QVERIFY2(server.Listen(channel, &error), qPrintable(error));

    QProcess* tesk = startTesk(files, {{QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen")},
                                       {QStringLiteral("TESK_INSTANCE_NAME"), channel}},
                               m_settingsDir.path(), m_dir.path());
    // This process answers, so it must keep its event loop turning meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(tesk->state() == QProcess::NotRunning, 60000);
    const Run run = finished(tesk);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.endsWith(err), qPrintable(run.err));
    QCOMPARE(int(this->documents().size()), documents);
    for (const QString& name : files) {
        if (QFileInfo::exists(file(name)))
            QVERIFY(!m_app->m_pDocTemplate->framesOf(this->documents().back()).empty());
    }
    // The editor tells its own user too, in a box that did not hold up the answer.
    auto* box = m_app->GetMainFrame()->findChild<QMessageBox*>();
    QCOMPARE(box != nullptr, exitCode != 0);
    if (box)
        box->close();
}

void TestShell::channelIsTheUsersAloneAndNeverTakenOver()
{
    const QString channel = file("channel");
    auto first = std::make_unique<CInstanceServer>([](const QStringList&) { return QStringList(); });
    QString error;
    QVERIFY2(first->Listen(channel, &error), qPrintable(error));
    QCOMPARE(QFileInfo(channel).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());
    // A second editor on the same name must not take a live channel over.
    CInstanceServer second([](const QStringList&) { return QStringList(); });
    QVERIFY(!second.Listen(channel, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo::exists(channel));
    first.reset();
    QVERIFY(!QFileInfo::exists(channel));
}

// A sender hands names only to a listener of its own user, in a folder that
// is that user's alone; any other listener counts as no editor running.
void TestShell::channelTrustsOnlyItsOwnUser_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("handedOver");
    QTest::newRow("the user's own listener") << "" << true;
    QTest::newRow("folder open to others") << "open folder" << false;
    QTest::newRow("folder of another user") << "give folder away" << false;
    QTest::newRow("listener of another user") << "other peer" << false;
}

void TestShell::channelTrustsOnlyItsOwnUser()
{
    QFETCH(QString, change);
    QFETCH(bool, handedOver);
    QTemporaryDir folder;
    QStringList received;
    CInstanceServer server([&received](const QStringList& files) {
        received = files;
        return QStringList();
    });
    QString error;
    QVERIFY2(server.Listen(folder.filePath(QStringLiteral("channel")), &error), qPrintable(error));
    const QByteArray path = QFile::encodeName(folder.path());
    if (change == QLatin1String("open folder"))
        QCOMPARE(::chmod(path.constData(), 0777), 0);
    if (change == QLatin1String("give folder away") && ::chown(path.constData(), 65534, 65534) != 0)
        QSKIP("only root can give a folder to another user");
    const uid_t user = change == QLatin1String("other peer") ? ::getuid() + 1 : ::getuid();
    const QStringList files{file("secret.qbx")};
    std::optional<QStringList> answer;
    std::atomic<bool> done = false;
    // The sender waits for the answer that this thread's event loop gives.
    std::thread sender([&] {
        answer = handOverFiles(folder.filePath(QStringLiteral("channel")), files, user);
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
    sender.join();
    QCOMPARE(answer.has_value(), handedOver);
    QCOMPARE(received, handedOver ? files : QStringList());
    // No editor listens in a folder that is not the user's alone either.
    CInstanceServer second([](const QStringList&) { return QStringList(); });
    QCOMPARE(second.Listen(folder.filePath(QStringLiteral("second")), &error), change != QLatin1String("open folder") && change != QLatin1String("give folder away"));
}

void TestShell::windowStateRestoredAndFitted_data()
{
    QTest::addColumn<QRect>("saved");
    QTest::addColumn<bool>("exact");
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QTest::newRow("first start") << QRect() << false;
    QTest::newRow("fits") << QRect(area.topLeft() + QPoint(10, 20), QSize(400, 300)) << true;
    QTest::newRow("larger than the screen") << QRect(-500, -400, 5000, 4000) << false;
    QTest::newRow("off the screen") << QRect(area.right() + 1000, area.bottom() + 1000, 300, 200) << false;
}

void TestShell::windowStateRestoredAndFitted()
{
    QFETCH(QRect, saved);
    QFETCH(bool, exact);
    if (saved.isValid()) {
        // The state as a window of that geometry saved it in an earlier run.
        QWidget earlier;
        earlier.setGeometry(saved);
        QSettings().setValue(QStringLiteral("Window/Geometry"), earlier.saveGeometry());
    }
    CMainFrame* frame = start();
    const QRect area = frame->screen()->availableGeometry();
    if (exact)
        QCOMPARE(frame->geometry(), saved);
    QVERIFY2(area.contains(frame->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                .arg(frame->frameGeometry().x())
                                                                .arg(frame->frameGeometry().y())
                                                                .arg(frame->frameGeometry().width())
                                                                .arg(frame->frameGeometry().height())));
    if (!saved.isValid())
        QVERIFY((frame->geometry().center() - area.center()).manhattanLength() <= 2);
}

void TestShell::windowStateSurvivesRestart_data()
{
    QTest::addColumn<bool>("maximized");
    QTest::newRow("normal") << false;
    QTest::newRow("maximised") << true;
}

void TestShell::windowStateSurvivesRestart()
{
    QFETCH(bool, maximized);
    CMainFrame* frame = start();
    const QRect moved(frame->screen()->availableGeometry().topLeft() + QPoint(30, 40), QSize(500, 350));
    frame->setGeometry(moved);
    if (maximized)
        frame->showMaximized();
    menuAction(frame, ID_VIEW_STATUS_BAR)->trigger();
    menuAction(frame, ID_APP_EXIT)->trigger();
    QVERIFY(!frame->isVisible());

    frame = start();
    QCOMPARE(frame->isMaximized(), maximized);
    QCOMPARE(frame->normalGeometry(), moved);
    QVERIFY(frame->GetToolBar()->isVisible());
    QVERIFY(!frame->statusBar()->isVisible());
}

void TestShell::addedViewShowsAfterTheTurnBetween_data()
{
    QTest::addColumn<QString>("between");
    QTest::addColumn<int>("windowsAfter");
    QTest::newRow("nothing") << QString() << 2;
    QTest::newRow("the first window closed") << QStringLiteral("close first") << 1;
    QTest::newRow("every scene closed") << QStringLiteral("close all") << 0;
}

void TestShell::addedViewShowsAfterTheTurnBetween()
{
    QFETCH(QString, between);
    QFETCH(int, windowsAfter);
    CMainFrame* frame = start();
    menuAction(frame, ID_ADD_SPHERE)->trigger();
    fw::FrameWindow* first = frame->MDIGetActive();
    menuAction(frame, ID_ADD_VIEW)->trigger();
    auto* added = qobject_cast<fw::FrameWindow*>(frame->mdiArea()->subWindowList(QMdiArea::CreationOrder).constLast());
    QVERIFY(added && added != first);
    // The turn in which the window was filled, then the one that handles input.
    idle();
    QCOMPARE(frame->MDIGetActive(), first);
    QVERIFY(added->isHidden());
    BoxAnswerer answerer({QMessageBox::Cancel});
    if (between == QLatin1String("close first"))
        first->close();
    else if (between == QLatin1String("close all"))
        m_app->m_pDocTemplate->CloseAllDocuments();
    idle();
    idle();
    QVERIFY(answerer.texts.isEmpty());
    QCOMPARE(frame->mdiArea()->subWindowList().size(), windowsAfter);
    if (windowsAfter == 0)
        return;
    QCOMPARE(frame->MDIGetActive(), added);
    QVERIFY(added->isVisible());
    const auto* view = dynamic_cast<CTeskView*>(added->GetActiveView());
    QVERIFY(view);
    QCOMPARE(view->model()->rowCount(), 1);
    QCOMPARE(frame->GetPaneText(1), QStringLiteral("Object count: 1"));
}

void TestShell::newWindowsCascade()
{
    CMainFrame* frame = start();
    menuAction(frame, ID_FILE_NEW)->trigger();
    addView(frame);
    const QList<QMdiSubWindow*> windows = frame->mdiArea()->subWindowList(QMdiArea::CreationOrder);
    QCOMPARE(windows.size(), 3);
    const QPoint step = windows.at(1)->pos() - windows.at(0)->pos();
    QVERIFY2(step.x() > 0 && step.x() == step.y(), qPrintable(QStringLiteral("%1,%2").arg(step.x()).arg(step.y())));
    QCOMPARE(windows.at(2)->pos() - windows.at(1)->pos(), step);
    for (const QMdiSubWindow* window : windows)
        QVERIFY(frame->mdiArea()->viewport()->rect().contains(window->geometry()));
}

void TestShell::everyToolBarButtonHasAnAccessibleName()
{
    CMainFrame* frame = start();
    QStringList names;
    for (QAction* action : frame->GetToolBar()->actions()) {
        if (action->isSeparator())
            continue;
        QAccessibleInterface* button = QAccessible::queryAccessibleInterface(frame->GetToolBar()->widgetForAction(action));
        QVERIFY(button);
        names << button->text(QAccessible::Name);
    }
    QCOMPARE(names.size(), 14);
    QVERIFY2(!names.contains(QString()) && QSet<QString>(names.begin(), names.end()).size() == names.size(),
             qPrintable(names.join(QLatin1Char('|'))));
}

void TestShell::focusReturnsToTheTree_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("editingLabel");
    QTest::newRow("menu command") << int(ID_ADD_SPHERE) << false;
    QTest::newRow("new window") << int(ID_FILE_NEW) << false;
    QTest::newRow("dialog") << int(ID_APP_ABOUT) << false;
    QTest::newRow("hidden bar") << int(ID_VIEW_TOOLBAR) << false;
    // A label being edited keeps the keys: its editor is inside the tree.
    QTest::newRow("label being edited") << int(ID_VIEW_TOOLBAR) << true;
}

void TestShell::focusReturnsToTheTree()
{
    QFETCH(int, id);
    QFETCH(bool, editingLabel);
    CMainFrame* frame = start();
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    if (editingLabel) {
        menuAction(frame, ID_ADD_SPHERE)->trigger();
        idle();
        activeView()->edit(activeView()->model()->index(0, 0));
        QVERIFY(activeView()->isAncestorOf(frame->focusWidget()));
    } else {
        // The focus where a menu closed with Escape leaves it.
        frame->menuBar()->setFocus(Qt::MenuBarFocusReason);
        QCOMPARE(frame->focusWidget(), frame->menuBar());
    }
    QWidget* focusBefore = frame->focusWidget();
    if (id == ID_APP_ABOUT)
        QTimer::singleShot(0, this, [] { QApplication::activeModalWidget()->close(); });
    menuAction(frame, id)->trigger();
    idle();
    QCOMPARE(frame->focusWidget(), editingLabel ? focusBefore : static_cast<QWidget*>(activeView()));
}

void TestShell::fileDialogsStartInAUsefulFolder_data()
{
    QTest::addColumn<QString>("lastFolder");
    QTest::addColumn<QString>("activeScene");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first time") << "" << "" << QDir::homePath();
    QTest::newRow("folder last used") << "last" << "" << "last";
    QTest::newRow("active scene's folder") << "last" << "scenes/active.qbx" << "scenes";
}

void TestShell::fileDialogsStartInAUsefulFolder()
{
    QFETCH(QString, lastFolder);
    QFETCH(QString, activeScene);
    QFETCH(QString, expected);
    for (const char* folder : {"last", "scenes", "picked"})
        QVERIFY(QDir(m_dir.path()).mkpath(QString::fromLatin1(folder)));
    if (!lastFolder.isEmpty())
        QSettings().setValue(QStringLiteral("Settings/LastFolder"), file(lastFolder));
    if (!activeScene.isEmpty())
        writeScene(file(activeScene), 1);
    writeScene(file("picked/chosen.qbx"), 1);
    CMainFrame* frame = start(activeScene.isEmpty() ? QStringList() : QStringList{file(activeScene)});
    m_app->realDialogs = true;
    QString startedIn;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        startedIn = dialog->directory().absolutePath();
        dialog->selectFile(file("picked/chosen.qbx"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    menuAction(frame, ID_FILE_OPEN)->trigger();
    QCOMPARE(startedIn, QDir::isAbsolutePath(expected) ? expected : file(expected));
    // The accepted folder is the one remembered for next time, written by
    // the time the editor has ended.
    QCOMPARE(frame->GetActiveDocument()->GetPathName(), file("picked/chosen.qbx"));
    m_app.reset();
    QCOMPARE(QSettings().value(QStringLiteral("Settings/LastFolder")).toString(), file("picked"));
}

void TestShell::eachFileDialogStartsAfresh_data()
{
    QTest::addColumn<bool>("firstOpen");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("Open after a cancelled Save As") << false << false << true << "" << "Open" << "" << "";
    QTest::newRow("Open after an accepted Open") << true << true << true << "" << "Open" << "" << "";
    QTest::newRow("Save As after a cancelled Open") << true << false << false << "second" << "Save As" << "second" << "qbx";
    QTest::newRow("Save As after an accepted Save As") << false << true << false << "" << "Save As" << "" << "qbx";
}

// A file dialog shows what it was asked with, whatever the one before it was
// left showing: typed name, file type, folder.
void TestShell::eachFileDialogStartsAfresh()
{
    QFETCH(bool, firstOpen);
    QFETCH(bool, accepted);
    QFETCH(bool, open);
    QFETCH(QString, proposed);
    QFETCH(QString, title);
    QFETCH(QString, name);
    QFETCH(QString, suffix);
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("elsewhere")));
    writeScene(file("elsewhere/old.qbx"), 1);
    QSettings().setValue(QStringLiteral("Settings/LastFolder"), m_dir.path());
    start();
    CSceneFiles& files = m_app->GetSceneFiles();
    QPointer<QWidget> completions;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->setDirectory(file("elsewhere"));
        dialog->selectNameFilter(QStringLiteral("All Files (*)"));
        // Save As would ask before it replaced an existing file.
        dialog->selectFile(file(firstOpen ? "elsewhere/old.qbx" : "elsewhere/new.qbx"));
        // Typing a name left its list of completions open.
        completions = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->completer()->popup();
        completions->show();
        QMetaObject::invokeMethod(dialog, accepted ? "accept" : "reject");
    });
    files.AskFileName(QString(), firstOpen);
    QVERIFY(completions && !completions->isVisible());
    QString shownTitle, shownName, shownSuffix, shownFilter, shownFolder;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        shownTitle = dialog->windowTitle();
        shownName = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        shownSuffix = dialog->defaultSuffix();
        shownFilter = dialog->selectedNameFilter();
        shownFolder = dialog->directory().absolutePath();
        mode = dialog->acceptMode();
        dialog->reject();
    });
    QCOMPARE(files.AskFileName(proposed, open), QString());
    QCOMPARE(shownTitle, title);
    QCOMPARE(mode, open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    QCOMPARE(shownName, name);
    QCOMPARE(shownSuffix, suffix);
    QCOMPARE(shownFilter, QStringLiteral("tesk Files (*.qbx)"));
    // The folder last accepted, not the one the dialog was left in.
    QCOMPARE(shownFolder, accepted ? file("elsewhere") : m_dir.path());
}

// A row's way to the dialog it answers: it starts the editor and does what
// brings the dialog up.
using DialogOpener = std::function<void()>;
Q_DECLARE_METATYPE(DialogOpener)

void TestShell::everyButtonOfAQuestionAnswersToItsAccessKey_data()
{
    QTest::addColumn<DialogOpener>("open");
    QTest::addColumn<QString>("pressed");
    QTest::addColumn<QStringList>("accessKeys");
    QTest::addColumn<QStringList>("clicked");

    const DialogOpener savePrompt = [this] {
        CMainFrame* frame = start();
        menuAction(frame, ID_ADD_STAR)->trigger();
        m_app->fileNames = {file("prompted.qbx")};
        frame->MDIGetActive()->close();
    };
    const DialogOpener changedOnDisk = [this] {
        writeScene(file("ondisk.qbx"), 3);
        CMainFrame* frame = start({file("ondisk.qbx")});
        menuAction(frame, ID_ADD_CUBE)->trigger();
        writeScene(file("ondisk.qbx"), 5);
        menuAction(frame, ID_FILE_SAVE)->trigger();
    };
    // The journal of unsaved changes to "journalled.qbx"; with `fileChanged`
    // the file changes after it, so that recovering it comes with a note.
    const auto recoveryOffer = [this](bool fileChanged) -> DialogOpener {
        return [this, fileChanged] {
            const QString path = file("journalled.qbx");
            for (const auto& orphan : COrphanJournal::FindAll(COrphanJournal::Folder())) {
                if (orphan->BuildsOn(path))
                    orphan->Discard();
            }
            writeScene(path, 1);
            {
                CTeskDoc doc;
                fw::FileError error;
                QVERIFY2(doc.OnOpenDocument(path, &error), qPrintable(error.reason));
                CDocJournal::Attach(doc, COrphanJournal::Folder());
                doc.AddObject(SHAPE_STAR);
                CDocJournal::Of(doc)->Keep();
            }
            if (fileChanged)
                writeScene(path, 2);
            CMainFrame* frame = start();
            m_app->fileNames = {path};
            menuAction(frame, ID_FILE_OPEN)->trigger();
        };
    };
    const DialogOpener readOnlyRefusal = [this] {
        const QString path = file("readonly-keys.qbx");
        QFile::remove(path);
        writeScene(path, 1);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        CMainFrame* frame = start({path});
        menuAction(frame, ID_ADD_CUBE)->trigger();
        menuAction(frame, ID_FILE_SAVE)->trigger();
    };
    const DialogOpener openFailure = [this] {
        CMainFrame* frame = start();
        m_app->fileNames = {file("missing.qbx")};
        menuAction(frame, ID_FILE_OPEN)->trigger();
    };
    const DialogOpener handedOverFailure = [this] {
        start();
        m_app->GetSceneFiles().OpenHandedOver({file("missing.qbx")});
    };
    // A state folder that cannot be made: the first change tells of it.
    const DialogOpener journalFailure = [this] {
        const QByteArray state = qgetenv("XDG_STATE_HOME");
        writeScene(file("not-a-folder"), 1);
        qputenv("XDG_STATE_HOME", QFile::encodeName(file("not-a-folder")));
        CMainFrame* frame = start();
        qputenv("XDG_STATE_HOME", state);
        menuAction(frame, ID_ADD_CUBE)->trigger();
    };

    using L = QStringList;
    QTest::newRow("save prompt, Save") << savePrompt << "S" << L{"CDS"} << L{"&Save"};
    QTest::newRow("save prompt, Discard") << savePrompt << "D" << L{"CDS"} << L{"&Discard"};
    QTest::newRow("save prompt, Cancel") << savePrompt << "C" << L{"CDS"} << L{"&Cancel"};
    QTest::newRow("changed on disk, Overwrite") << changedOnDisk << "O" << L{"CO"} << L{"&Overwrite"};
    QTest::newRow("changed on disk, Cancel") << changedOnDisk << "C" << L{"CO"} << L{"&Cancel"};
    QTest::newRow("recovery offer, Recover") << recoveryOffer(false) << "R" << L{"DLR"} << L{"&Recover"};
    QTest::newRow("recovery offer, Discard") << recoveryOffer(false) << "D" << L{"DLR"} << L{"&Discard"};
    QTest::newRow("recovery offer, Later") << recoveryOffer(false) << "L" << L{"DLR"} << L{"&Later"};
    QTest::newRow("recovery note, OK") << recoveryOffer(true) << "RO" << L{"DLR", "O"} << L{"&Recover", "&OK"};
    QTest::newRow("read-only refusal, OK") << readOnlyRefusal << "O" << L{"O"} << L{"&OK"};
    QTest::newRow("open failure, OK") << openFailure << "O" << L{"DO"} << L{"&OK"};
    QTest::newRow("open failure, details, OK")
        << openFailure << "DDO" << L{"DO", "DO", "DO"} << L{"Hide &Details...", "Show &Details...", "&OK"};
    QTest::newRow("handed-over file that fails, OK") << handedOverFailure << "O" << L{"DO"} << L{"&OK"};
    QTest::newRow("journal that cannot be kept, OK") << journalFailure << "O" << L{"O"} << L{"&OK"};
}

void TestShell::everyButtonOfAQuestionAnswersToItsAccessKey()
{
    QFETCH(DialogOpener, open);
    QFETCH(QString, pressed);
    QFETCH(QStringList, accessKeys);
    QFETCH(QStringList, clicked);
    KeyAnswerer answerer(pressed);
    open();
    QTRY_COMPARE(answerer.clicked.size(), pressed.size());
    QCOMPARE(answerer.clicked, clicked);
    QCOMPARE(answerer.accessKeys, accessKeys);
    // Every dialog answered has closed.
    QTRY_VERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
