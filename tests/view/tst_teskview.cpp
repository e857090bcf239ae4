#include "dialogs/choosecolor.h"
#include "document/commands.h"
#include "document/teskdoc.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/mdiframewnd.h"
#include "framework/gui/multidoctemplate.h"
#include "framework/gui/winapp.h"
#include "view/scenetreemodel.h"
#include "view/teskview.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

namespace {

// The main frame of the tests: records the status text the views show.
class TestMainFrame : public fw::MdiFrameWnd {
public:
    void SetStatusText(const QString& text) override
    {
        statusText = text;
        ++statusWrites;
    }
    QString statusText;
    int statusWrites = 0;
};

// One template binding CTeskDoc, fw::FrameWindow and CTeskView; every view
// model runs under QAbstractItemModelTester.
struct Host {
    Host()
    {
        frame->SetAsMainWindow();
        auto owned = std::make_unique<fw::MultiDocTemplate>(
            frame.get(), [] { return std::make_unique<CTeskDoc>(); }, [] { return new fw::FrameWindow; },
            [] {
                auto* view = new CTeskView;
                new QAbstractItemModelTester(view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                             view);
                return view;
            });
        templ = owned.get();
        app.AddDocTemplate(std::move(owned));
        frame->resize(900, 700);
        frame->show();
        frame->activateWindow();
    }
    ~Host() { templ->CloseAllDocuments(); }

    fw::WinApp app;
    std::unique_ptr<TestMainFrame> frame = std::make_unique<TestMainFrame>();
    fw::MultiDocTemplate* templ = nullptr;
};

QModelIndex objectItem(const CTeskView* view, int row) { return view->model()->index(row, 0); }

QModelIndex propertyItem(const CTeskView* view, int row, int tag)
{
    return view->model()->index(tag - 1, 0, objectItem(view, row));
}

QString label(const QModelIndex& item) { return item.data().toString(); }

C3dObject* objectOf(const QModelIndex& item) { return item.data(CSceneTreeModel::ItemDataRole).value<C3dObject*>(); }

// Every label of the tree, each object followed by its properties.
QStringList treeLabels(const CTeskView* view)
{
    QStringList labels;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        labels << label(objectItem(view, row));
        for (int tag = PROPERTY_X; tag <= view->model()->rowCount(objectItem(view, row)); ++tag)
            labels << label(propertyItem(view, row, tag));
    }
    return labels;
}

QStringList objectLabels(const CTeskView* view)
{
    QStringList labels;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        labels << label(objectItem(view, row));
    return labels;
}

QString countText(int count) { return QStringLiteral("Object count: %1").arg(count); }

// What reaches a window right after a command, before its turns have passed.
enum WindowInput { NoInput, DownKey, Repaint };

// Replaces the editor's text by typing, any Unicode text.
void typeOver(QWidget* editor, const QString& text)
{
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Delete);
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Ends an edit with `key`; the delegate commits and closes through a queued call.
void endEdit(QWidget* editor, Qt::Key key)
{
    QTest::keyClick(editor, key);
    QCoreApplication::sendPostedEvents();
}

// Runs `action` on the modal colour dialog once it is open.
void onColourDialog(std::function<void(CChooseColor*)> action)
{
    QTimer::singleShot(0, [action = std::move(action)] {
        if (auto* dialog = qobject_cast<CChooseColor*>(QApplication::activeModalWidget()))
            action(dialog);
    });
}

void chooseListColour(CChooseColor* dialog, int index)
{
    dialog->findChild<QRadioButton*>(QStringLiteral("IDC_RADIO_LIST"))->click();
    dialog->findChild<QComboBox*>(QStringLiteral("IDC_COLOUR_COMBO"))->setCurrentIndex(index);
    dialog->findChild<QPushButton*>(QStringLiteral("IDOK"))->click();
}

// Runs `action` on the popup menu once it is open, then closes it. Looks on
// every pass of the event loop, since key clicks with modifiers run the loop
// before the menu opens; the watcher dies with `owner` at the latest.
void onPopup(QObject* owner, std::function<void(QMenu*)> action)
{
    auto* watcher = new QTimer(owner);
    watcher->setInterval(0);
    QObject::connect(watcher, &QTimer::timeout, watcher, [watcher, action = std::move(action)] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        watcher->stop();
        watcher->deleteLater();
        action(menu);
        menu->close();
    });
    watcher->start();
}

QAction* actionFor(QMenu* menu, int id)
{
    for (QAction* action : menu->actions()) {
        if (action->data().toInt() == id)
            return action;
    }
    return nullptr;
}

} // namespace

class TestTeskView : public QObject {
    Q_OBJECT

private slots:
    void init() { m_host = std::make_unique<Host>(); }
    void cleanup() { m_host.reset(); }

    void addCommandsShowCollapsedItems_data();
    void addCommandsShowCollapsedItems();
    void twoWindowsFollowEveryChange();
    void appendedObjectsAreLaidOutInEveryWindow();
    void deleteWithTwoWindowsKeepsSelectionAndCount_data();
    void deleteWithTwoWindowsKeepsSelectionAndCount();
    void updatesForHiddenObjectsChangeNoItems();
    void shownPropertyItemsAreAnnounced();

    void labelEditAppliesWithEnter_data();
    void labelEditAppliesWithEnter();
    void escapeCancelsLabelEdit_data();
    void escapeCancelsLabelEdit();
    void leavingTheEditorApplies();
    void clickOnSelectedItemStartsEdit();
    void colourItemOpensDialogInsteadOfEditor();
    void colourItemShowsASwatchInEveryWindow_data();
    void colourItemShowsASwatchInEveryWindow();
    void cancelledColourDialogChangesNothing_data();
    void cancelledColourDialogChangesNothing();
    void doubleClickEditsPropertiesAndTogglesObjects_data();
    void doubleClickEditsPropertiesAndTogglesObjects();
    void colourDialogOpensOnceFromClickKeyAndCommand_data();
    void colourDialogOpensOnceFromClickKeyAndCommand();
    void filterCommandAppliesAnOpenLabelEdit_data();
    void filterCommandAppliesAnOpenLabelEdit();
    void typedTextSurvivesAChangeFromAnotherWindow();

    void objectCommandsFollowSelection();
    void filterRadioMarks_data();
    void filterRadioMarks();
    void narrowingKeepsSurvivorsInPlaceAndExpanded_data();
    void narrowingKeepsSurvivorsInPlaceAndExpanded();
    void rebuildShowsAdmittedObjectsCollapsed();
    void filterIsNoStandingRule();
    void filtersInTwoWindowsAtOnce();
    void statusShowsActiveWindowCount();

    void rightClickSelectsItemAndActsOnIt_data();
    void rightClickSelectsItemAndActsOnIt();
    void rightClickOnEmptySpaceOffersOnlyAdd();
    void keyboardContextMenuOpensAtSelectedItem_data();
    void keyboardContextMenuOpensAtSelectedItem();
    void keyboardContextMenuWithoutSelectionOpensAtTopLeft();

private:
    CTeskDoc* openScene()
    {
        fw::FileError error;
        return qobject_cast<CTeskDoc*>(m_host->templ->OpenDocumentFile(QString(), &error));
    }
    CTeskView* active() const { return dynamic_cast<CTeskView*>(m_host->frame->GetActiveView()); }
    // Add view, and the turns of the event loop until its window is the active one.
    CTeskView* addView()
    {
        const CTeskView* before = active();
        m_host->frame->OnCommand(ID_ADD_VIEW);
        QTest::qWaitFor([&] { return active() != before; });
        return active();
    }
    bool command(int id) { return m_host->frame->OnCommand(id); }
    const QString& status() const { return m_host->frame->statusText; }
    // Selects `item` and presses F2; the editor, if one opened.
    static QLineEdit* startEdit(CTeskView* view, const QModelIndex& item)
    {
        view->setCurrentIndex(item);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_F2);
        return qobject_cast<QLineEdit*>(view->indexWidget(item));
    }

    // Double-clicks `item` as the window system delivers it.
    void doubleClick(CTeskView* view, const QModelIndex& item)
    {
        const QPoint at = view->viewport()->mapTo(m_host->frame.get(), view->visualRect(item).center());
        QTest::mouseDClick(m_host->frame->windowHandle(), Qt::LeftButton, {}, at);
    }
    void click(CTeskView* view, const QModelIndex& item)
    {
        const QPoint at = view->viewport()->mapTo(m_host->frame.get(), view->visualRect(item).center());
        QTest::mouseClick(m_host->frame->windowHandle(), Qt::LeftButton, {}, at);
    }
    // Waits until the edit that a click on the selected item schedules has
    // run or been dropped.
    static void settleClickEdit(CTeskView* view)
    {
        auto* timer = view->findChild<QTimer*>(QStringLiteral("clickEditTimer"));
        QVERIFY(timer);
        QTRY_VERIFY(!timer->isActive());
    }

    std::unique_ptr<Host> m_host;
};

void TestTeskView::addCommandsShowCollapsedItems_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::newRow("Add Sphere") << int(ID_ADD_SPHERE) << "Kuleczka" << "type: Sphere";
    QTest::newRow("Add Cube") << int(ID_ADD_CUBE) << QString::fromUtf16(u"Sześcianik") << "type: Cube";
    QTest::newRow("Add Star") << int(ID_ADD_STAR) << QString::fromUtf16(u"Mała śliczna gwiazdka") << "type: Star";
    QTest::newRow("toolbar add") << int(ID_OBJECT_ADD) << "Kuleczka" << "type: Sphere";
}

void TestTeskView::addCommandsShowCollapsedItems()
{
    QFETCH(int, id);
    QFETCH(QString, name);
    QFETCH(QString, type);
    CTeskDoc* doc = openScene();
    QCOMPARE(active()->model()->rowCount(), 0);
    QCOMPARE(status(), countText(0));
    QVERIFY(command(id));
    CTeskView* view = active();
    QCOMPARE(treeLabels(view), QStringList({name, "x: 0", "y: 0", "z: 0", type, "colour: Red"}));
    QVERIFY(!view->isExpanded(objectItem(view, 0)));
    QCOMPARE(status(), countText(1));
    QVERIFY(doc->IsModified());
    // Item data: the object for the object item, the tags for its properties.
    QCOMPARE(objectOf(objectItem(view, 0)), doc->GetObjects()[0].get());
    for (int tag = PROPERTY_X; tag <= PROPERTY_COLOUR; ++tag)
        QCOMPARE(propertyItem(view, 0, tag).data(CSceneTreeModel::ItemDataRole).toInt(), tag);
}

void TestTeskView::twoWindowsFollowEveryChange()
{
    CTeskDoc* doc = openScene();
    CTeskView* first = active();
    CTeskView* second = addView();
    QCOMPARE(doc->GetViews().size(), 2u);
    command(ID_ADD_CUBE);
    command(ID_ADD_SPHERE);
    QCOMPARE(objectLabels(first), QStringList({QString::fromUtf16(u"Sześcianik"), "Kuleczka"}));
    QCOMPARE(treeLabels(second), treeLabels(first));

    QLineEdit* editor = startEdit(second, objectItem(second, 1));
    QVERIFY(editor);
    typeOver(editor, QStringLiteral("Kula"));
    endEdit(editor, Qt::Key_Return);
    QCOMPARE(label(objectItem(first, 1)), QStringLiteral("Kula"));

    m_host->frame->ActivateFrame(first->GetParentFrame());
    editor = startEdit(first, propertyItem(first, 0, PROPERTY_Z));
    QVERIFY(editor);
    typeOver(editor, QStringLiteral("-3"));
    endEdit(editor, Qt::Key_Return);
    QCOMPARE(label(propertyItem(second, 0, PROPERTY_Z)), QStringLiteral("z: -3"));

    // Recolour through Edit with the object item selected.
    first->setCurrentIndex(objectItem(first, 1));
    onColourDialog([](CChooseColor* dialog) { chooseListColour(dialog, LIST_BLUE); });
    command(ID_OBJECT_EDIT);
    QCOMPARE(label(propertyItem(second, 1, PROPERTY_COLOUR)), QStringLiteral("colour: Blue"));
    QCOMPARE(treeLabels(second), treeLabels(first));

    // Delete through a selected property item: the whole object goes.
    first->setCurrentIndex(propertyItem(first, 0, PROPERTY_TYPE));
    command(ID_OBJECT_DELETE);
    QCOMPARE(objectLabels(second), QStringList({"Kula"}));
    QCOMPARE(treeLabels(second), treeLabels(first));
    QCOMPARE(doc->GetObjects().size(), 1u);
    QCOMPARE(status(), countText(1));
}

void TestTeskView::appendedObjectsAreLaidOutInEveryWindow()
{
    CTeskDoc* doc = openScene();
    const std::vector<CTeskView*> views = {active(), addView(), addView()};
    const auto laidOut = [](const CTeskView* view, int row) {
        const QRect rect = view->visualRect(objectItem(view, row));
        return rect.isValid() && view->indexAt(rect.center()) == objectItem(view, row);
    };
    command(ID_ADD_SPHERE);
    command(ID_ADD_CUBE);
    for (const CTeskView* view : views)
        QTRY_VERIFY(laidOut(view, 1));
    // One more that goes again before any window had the turns to lay it out.
    command(ID_ADD_STAR);
    doc->RemoveObject(doc->GetObjects().back().get());
    for (const CTeskView* view : views) {
        QCOMPARE(view->model()->rowCount(), 2);
        QTRY_VERIFY(laidOut(view, 1));
        QVERIFY(!view->visualRect(view->model()->index(2, 0)).isValid());
    }
}

void TestTeskView::deleteWithTwoWindowsKeepsSelectionAndCount_data()
{
    // The active window deletes the selected object of row `deleted`; the
    // other window had `otherRow` selected (-1: nothing) and is then, before
    // its relayout was due, sent Down or repainted (`otherInput`).
    QTest::addColumn<int>("activeWindow");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<int>("otherRow");
    QTest::addColumn<int>("otherInput");
    // Rows of the scene before the delete: the object selected in the other
    // window afterwards (-1: nothing).
    QTest::addColumn<int>("otherSelects");
    QTest::newRow("second deletes, first selects nothing") << 1 << 1 << -1 << int(NoInput) << -1;
    QTest::newRow("first deletes, second selects another") << 0 << 1 << 3 << int(NoInput) << 3;
    QTest::newRow("second deletes, first selects the same") << 1 << 2 << 2 << int(NoInput) << 3;
    QTest::newRow("second deletes the last, first selects it") << 1 << 3 << 3 << int(NoInput) << 2;
    QTest::newRow("Down in the other window at once") << 1 << 1 << 0 << int(DownKey) << 2;
    QTest::newRow("Down past the deleted at once") << 0 << 2 << 1 << int(DownKey) << 3;
    QTest::newRow("other window repainted at once") << 1 << 0 << 3 << int(Repaint) << 3;
}

void TestTeskView::deleteWithTwoWindowsKeepsSelectionAndCount()
{
    QFETCH(int, activeWindow);
    QFETCH(int, deleted);
    QFETCH(int, otherRow);
    QFETCH(int, otherInput);
    QFETCH(int, otherSelects);
    CTeskDoc* doc = openScene();
    for (int shape : {SHAPE_SPHERE, SHAPE_CUBE, SHAPE_STAR, SHAPE_SPHERE})
        doc->AddObject(shape);
    std::vector<C3dObject*> objects;
    for (const auto& object : doc->GetObjects())
        objects.push_back(object.get());
    const std::array<CTeskView*, 2> views = {active(), addView()};
    CTeskView* acting = views[static_cast<std::size_t>(activeWindow)];
    CTeskView* other = views[static_cast<std::size_t>(1 - activeWindow)];
    m_host->frame->ActivateFrame(acting->GetParentFrame());
    QCOMPARE(active(), acting);
    if (otherRow >= 0)
        other->setCurrentIndex(objectItem(other, otherRow));
    acting->setCurrentIndex(objectItem(acting, deleted));

    const auto laidOut = [](const CTeskView* view) {
        for (int row = 0; row < 3; ++row) {
            const QRect rect = view->visualRect(objectItem(view, row));
            if (!rect.isValid() || view->indexAt(rect.center()) != objectItem(view, row))
                return false;
        }
        return true;
    };
    const QImage otherBefore = other->viewport()->grab().toImage();
    QVERIFY(command(ID_OBJECT_DELETE));
    if (otherInput == DownKey)
        QTest::keyClick(other, Qt::Key_Down);
    // Until its relayout a window shows what it showed, never an empty tree.
    if (otherInput == Repaint)
        QCOMPARE(other->viewport()->grab().toImage(), otherBefore);
    QCOMPARE(status(), countText(3));
    const C3dObject* next = deleted + 1 < 4 ? objects[static_cast<std::size_t>(deleted + 1)]
                                            : objects[static_cast<std::size_t>(deleted - 1)];
    QCOMPARE(objectOf(acting->GetSelectedItem()), next);
    for (const CTeskView* view : views) {
        QTRY_VERIFY(laidOut(view));
        QCOMPARE(view->model()->rowCount(), 3);
        QCOMPARE(view->indexAt(view->visualRect(objectItem(view, 2)).center() + QPoint(0, 40)), QModelIndex());
        std::vector<C3dObject*> shown;
        for (int row = 0; row < 3; ++row)
            shown.push_back(objectOf(objectItem(view, row)));
        std::vector<C3dObject*> left = objects;
        left.erase(left.begin() + deleted);
        QCOMPARE(shown, left);
    }
    // Once laid out, the other window shows the scene without the object.
    QVERIFY(other->viewport()->grab().toImage() != otherBefore);
    const C3dObject* otherExpected = otherSelects < 0 ? nullptr : objects[static_cast<std::size_t>(otherSelects)];
    QCOMPARE(objectOf(other->GetSelectedItem()), otherExpected);
    QCOMPARE(objectOf(acting->GetSelectedItem()), next);
    QCOMPARE(status(), countText(3));
}

void TestTeskView::updatesForHiddenObjectsChangeNoItems()
{
    CTeskDoc* doc = openScene();
    C3dObject* user = doc->AddObject(SHAPE_SPHERE);
    user->m_pShape->m_nColourMode = COLOUR_USER;
    doc->AddObject(SHAPE_CUBE);
    command(ID_SHOW_LISTED);
    const QStringList before = treeLabels(active());
    const int writes = m_host->frame->statusWrites;
    user->m_pShape->m_nX = 9;
    doc->ObjectChanged(user);
    QCOMPARE(m_host->frame->statusWrites, writes + 1);
    doc->RemoveObject(user);
    QCOMPARE(treeLabels(active()), before);
    QCOMPARE(status(), countText(1));
}

void TestTeskView::shownPropertyItemsAreAnnounced()
{
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_SPHERE);
    CTeskView* collapsed = active();
    CTeskView* expanded = addView();
    expanded->expand(objectItem(expanded, 0));
    QSignalSpy changes(expanded->model(), &QAbstractItemModel::dataChanged);
    object->m_pShape->m_nY = 3;
    doc->ObjectChanged(object);
    const QModelIndex y = propertyItem(expanded, 0, PROPERTY_Y);
    const bool announced = std::any_of(changes.begin(), changes.end(), [&](const QList<QVariant>& args) {
        const auto first = args[0].value<QModelIndex>();
        return first.parent() == y.parent() && first.row() <= y.row() && y.row() <= args[1].value<QModelIndex>().row();
    });
    QVERIFY(announced);
    // The collapsed window reads them afresh when it shows them.
    collapsed->expand(objectItem(collapsed, 0));
    QCOMPARE(label(propertyItem(collapsed, 0, PROPERTY_Y)), QStringLiteral("y: 3"));
}

void TestTeskView::labelEditAppliesWithEnter_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("startText");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expectedLabel");
    QTest::addColumn<QByteArray>("expectedName");

    const QByteArray kuleczka("Kuleczka");
    QTest::newRow("x 12") << int(PROPERTY_X) << "5" << "12" << "x: 12" << kuleczka;
    QTest::newRow("x unchanged") << int(PROPERTY_X) << "5" << "5" << "x: 5" << kuleczka;
    QTest::newRow("y negative") << int(PROPERTY_Y) << "0" << "-40" << "y: -40" << kuleczka;
    QTest::newRow("z trailing text") << int(PROPERTY_Z) << "0" << " 8 apples" << "z: 8" << kuleczka;
    QTest::newRow("x abc gives 0") << int(PROPERTY_X) << "5" << "abc" << "x: 0" << kuleczka;
    QTest::newRow("x above range clamps") << int(PROPERTY_X) << "5" << "3000000000" << "x: 2147483647" << kuleczka;
    QTest::newRow("y below range clamps") << int(PROPERTY_Y) << "0" << "-3000000000" << "y: -2147483648" << kuleczka;
    QTest::newRow("type 3 star") << int(PROPERTY_TYPE) << "1" << "3" << "type: Star" << kuleczka;
    QTest::newRow("type 9 Borg") << int(PROPERTY_TYPE) << "1" << "9" << "type: Borg" << kuleczka;
    QTest::newRow("rename") << 0 << "Kuleczka" << "Kula" << "Kula" << QByteArray("Kula");
    QTest::newRow("rename Polish") << 0 << "Kuleczka" << QString::fromUtf16(u"Żółć") << QString::fromUtf16(u"Żółć")
                                   << QByteArray("\xAF\xF3\xB3\xE6");
    QTest::newRow("rename unmappable") << 0 << "Kuleczka" << QString::fromUtf16(u"a日本b") << "a??b"
                                       << QByteArray("a??b");
    QTest::newRow("rename empty") << 0 << "Kuleczka" << "" << "" << QByteArray();
    QTest::newRow("name cut to 255") << 0 << "Kuleczka" << QString(300, QChar(u'ś')) << QString(255, QChar(u'ś'))
                                     << QByteArray(255, '\x9C');
}

void TestTeskView::labelEditAppliesWithEnter()
{
    QFETCH(int, tag);
    QFETCH(QString, startText);
    QFETCH(QString, typed);
    QFETCH(QString, expectedLabel);
    QFETCH(QByteArray, expectedName);
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_SPHERE);
    object->m_pShape->m_nX = 5;
    doc->ObjectChanged(object);
    doc->SetModifiedFlag(false);
    CTeskView* view = active();
    const QModelIndex item = tag == 0 ? objectItem(view, 0) : propertyItem(view, 0, tag);

    QLineEdit* editor = startEdit(view, item);
    QVERIFY(editor);
    QCOMPARE(editor->text(), startText);
    typeOver(editor, typed);
    endEdit(editor, Qt::Key_Return);
    QVERIFY(!view->indexWidget(item));
    QCOMPARE(label(item), expectedLabel);
    QCOMPARE(QByteArray(object->m_pShape->m_szName), expectedName);
    QVERIFY(doc->IsModified());
}

void TestTeskView::escapeCancelsLabelEdit_data()
{
    QTest::addColumn<int>("tag");
    QTest::newRow("name") << 0;
    QTest::newRow("x") << int(PROPERTY_X);
    QTest::newRow("type") << int(PROPERTY_TYPE);
}

void TestTeskView::escapeCancelsLabelEdit()
{
    QFETCH(int, tag);
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_CUBE);
    doc->SetModifiedFlag(false);
    CTeskView* view = active();
    const QStringList before = treeLabels(view);
    const QModelIndex item = tag == 0 ? objectItem(view, 0) : propertyItem(view, 0, tag);
    QLineEdit* editor = startEdit(view, item);
    QVERIFY(editor);
    typeOver(editor, QStringLiteral("77"));
    endEdit(editor, Qt::Key_Escape);
    QVERIFY(!view->indexWidget(item));
    QCOMPARE(treeLabels(view), before);
    QCOMPARE(object->m_pShape->m_nX, 0);
    QCOMPARE(object->m_pShape->m_nType, int(SHAPE_CUBE));
    QCOMPARE(QByteArray(object->m_pShape->m_szName), QByteArray("Sze\x9C" "cianik"));
    QVERIFY(!doc->IsModified());
}

void TestTeskView::leavingTheEditorApplies()
{
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_SPHERE);
    CTeskView* first = active();
    CTeskView* second = addView();
    m_host->frame->ActivateFrame(first->GetParentFrame());
    QVERIFY(QTest::qWaitForWindowActive(m_host->frame.get()));
    QLineEdit* editor = startEdit(first, propertyItem(first, 0, PROPERTY_X));
    QVERIFY(editor);
    editor->setFocus();
    typeOver(editor, QStringLiteral("31"));
    second->setFocus();
    QVERIFY(!first->indexWidget(propertyItem(first, 0, PROPERTY_X)));
    QCOMPARE(object->m_pShape->m_nX, 31);
    QCOMPARE(label(propertyItem(second, 0, PROPERTY_X)), QStringLiteral("x: 31"));
}

void TestTeskView::clickOnSelectedItemStartsEdit()
{
    openScene()->AddObject(SHAPE_SPHERE);
    CTeskView* view = active();
    const QModelIndex item = objectItem(view, 0);
    view->setCurrentIndex(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
    // Qt lets the double-click interval pass before it opens the editor.
    QTRY_VERIFY(qobject_cast<QLineEdit*>(view->indexWidget(item)));
    QCOMPARE(qobject_cast<QLineEdit*>(view->indexWidget(item))->text(), QStringLiteral("Kuleczka"));
}

void TestTeskView::colourItemOpensDialogInsteadOfEditor()
{
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_SPHERE);
    CTeskView* view = active();
    CTeskView* other = addView();
    m_host->frame->ActivateFrame(view->GetParentFrame());
    bool dialogSeen = false;
    onColourDialog([&](CChooseColor* dialog) {
        dialogSeen = dialog->m_nColourMode == COLOUR_LISTED && dialog->m_nColour == LIST_RED;
        chooseListColour(dialog, LIST_GREEN);
    });
    QVERIFY(!startEdit(view, propertyItem(view, 0, PROPERTY_COLOUR)));
    QVERIFY(dialogSeen);
    QCOMPARE(object->m_pShape->m_nColour, int(LIST_GREEN));
    QCOMPARE(label(propertyItem(other, 0, PROPERTY_COLOUR)), QStringLiteral("colour: Green"));
}

void TestTeskView::colourItemShowsASwatchInEveryWindow_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("colour");
    QTest::addColumn<QColor>("shown");
    QTest::newRow("listed green") << int(COLOUR_LISTED) << int(LIST_GREEN) << QColor(Qt::green);
    QTest::newRow("listed blue") << int(COLOUR_LISTED) << int(LIST_BLUE) << QColor(Qt::blue);
    QTest::newRow("user orange") << int(COLOUR_USER) << int(C3dShape::Rgb(0xFF, 0x80, 0x00)) << QColor(0xFF, 0x80, 0x00);
    QTest::newRow("user dark teal") << int(COLOUR_USER) << int(C3dShape::Rgb(0x10, 0x60, 0x70)) << QColor(0x10, 0x60, 0x70);
    QTest::newRow("listed index without colour") << int(COLOUR_LISTED) << 7 << QColor();
}

// The decoration of the colour item, and the pixels of its row as painted
// in the second window, which did not make the change.
void TestTeskView::colourItemShowsASwatchInEveryWindow()
{
    QFETCH(int, mode);
    QFETCH(int, colour);
    QFETCH(QColor, shown);
    const auto swatchCentre = [](const QModelIndex& item) {
        const QImage swatch = item.data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
        return swatch.isNull() ? QColor() : swatch.pixelColor(swatch.width() / 2, swatch.height() / 2);
    };
    const auto rowPixels = [](CTeskView* view, const QModelIndex& item, const QColor& wanted) {
        const QImage row = view->viewport()->grab(view->visualRect(item)).toImage();
        int count = 0;
        for (int y = 0; y < row.height(); ++y) {
            for (int x = 0; x < row.width(); ++x)
                count += row.pixelColor(x, y).rgb() == wanted.rgb();
        }
        return count;
    };
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_CUBE);
    CTeskView* first = active();
    CTeskView* second = addView();
    second->expand(objectItem(second, 0));
    const QModelIndex item = propertyItem(second, 0, PROPERTY_COLOUR);
    QCOMPARE(swatchCentre(item), QColor(Qt::red));
    QVERIFY(rowPixels(second, item, Qt::red) > 20);
    for (int tag = 0; tag < PROPERTY_COLOUR; ++tag)
        QVERIFY(!(tag == 0 ? objectItem(first, 0) : propertyItem(first, 0, tag)).data(Qt::DecorationRole).isValid());

    object->m_pShape->m_nColourMode = mode;
    object->m_pShape->m_nColour = colour;
    doc->ObjectChanged(object);
    QCOMPARE(label(item), QStringLiteral("colour: ") + QString::fromStdString(object->m_pShape->GetColourText()));
    QCOMPARE(swatchCentre(item), shown);
    QCOMPARE(swatchCentre(propertyItem(first, 0, PROPERTY_COLOUR)), shown);
    QCOMPARE(rowPixels(second, item, Qt::red), 0);
    if (shown.isValid())
        QVERIFY(rowPixels(second, item, shown) > 20);
    // Selected, the swatch keeps its colour rather than the selection's tint.
    second->setCurrentIndex(item);
    if (shown.isValid())
        QVERIFY(rowPixels(second, item, shown) > 20);
}

void TestTeskView::cancelledColourDialogChangesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "button";
    QTest::newRow("Escape key") << "escape";
    QTest::newRow("close box") << "close";
}

void TestTeskView::cancelledColourDialogChangesNothing()
{
    QFETCH(QString, how);
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_STAR);
    object->m_pShape->m_nColour = LIST_GREEN;
    doc->ObjectChanged(object);
    doc->SetModifiedFlag(false);
    CTeskView* view = active();
    const QStringList before = treeLabels(view);
    view->setCurrentIndex(objectItem(view, 0));
    onColourDialog([how](CChooseColor* dialog) {
        // A changed dialog state that the cancel must drop.
        dialog->findChild<QRadioButton*>(QStringLiteral("IDC_RADIO_USER"))->click();
        if (how == QLatin1String("button"))
            dialog->findChild<QPushButton*>(QStringLiteral("IDCANCEL"))->click();
        else if (how == QLatin1String("escape"))
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
    });
    command(ID_OBJECT_EDIT);
    QCOMPARE(object->m_pShape->m_nColourMode, int(COLOUR_LISTED));
    QCOMPARE(object->m_pShape->m_nColour, int(LIST_GREEN));
    QVERIFY(!doc->IsModified());
    QCOMPARE(treeLabels(view), before);
}

void TestTeskView::doubleClickEditsPropertiesAndTogglesObjects_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<bool>("selectedBefore");
    QTest::addColumn<QString>("editorText");
    QTest::newRow("object item toggles") << 0 << false << "";
    QTest::newRow("selected object item toggles, no edit follows") << 0 << true << "";
    QTest::newRow("x item edits") << int(PROPERTY_X) << false << "5";
    QTest::newRow("selected type item edits") << int(PROPERTY_TYPE) << true << "2";
}

void TestTeskView::doubleClickEditsPropertiesAndTogglesObjects()
{
    QFETCH(int, tag);
    QFETCH(bool, selectedBefore);
    QFETCH(QString, editorText);
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_CUBE);
    object->m_pShape->m_nX = 5;
    CTeskView* view = active();
    QVERIFY(QTest::qWaitForWindowActive(m_host->frame.get()));
    view->expand(objectItem(view, 0));
    const QModelIndex item = tag == 0 ? objectItem(view, 0) : propertyItem(view, 0, tag);
    if (selectedBefore)
        view->setCurrentIndex(item);

    doubleClick(view, item);
    settleClickEdit(view);
    auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(item));
    QCOMPARE(editor ? editor->text() : QString(), editorText);
    if (tag == 0)
        QVERIFY(!view->isExpanded(item));
}

void TestTeskView::colourDialogOpensOnceFromClickKeyAndCommand_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("click, then F2") << "click F2";
    QTest::newRow("click, then Edit") << "click edit";
    QTest::newRow("double-click") << "double-click";
    QTest::newRow("click, then double-click") << "click double-click";
}

void TestTeskView::colourDialogOpensOnceFromClickKeyAndCommand()
{
    QFETCH(QString, how);
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_SPHERE);
    CTeskView* view = active();
    QVERIFY(QTest::qWaitForWindowActive(m_host->frame.get()));
    view->expand(objectItem(view, 0));
    const QModelIndex colour = propertyItem(view, 0, PROPERTY_COLOUR);
    view->setCurrentIndex(colour);
    view->setFocus();

    // Every colour dialog that opens chooses "Zielony" with OK.
    int dialogs = 0;
    auto* watcher = new QTimer(view);
    watcher->setInterval(0);
    QPointer<CChooseColor> last;
    QObject::connect(watcher, &QTimer::timeout, view, [&] {
        auto* dialog = qobject_cast<CChooseColor*>(QApplication::activeModalWidget());
        if (!dialog || dialog == last)
            return;
        last = dialog;
        ++dialogs;
        chooseListColour(dialog, LIST_GREEN);
    });
    watcher->start();

    if (how.startsWith("click "))
        click(view, colour);
    if (how.endsWith("F2"))
        QTest::keyClick(view, Qt::Key_F2);
    else if (how.endsWith("edit"))
        command(ID_OBJECT_EDIT);
    else
        doubleClick(view, colour);
    QTRY_COMPARE(dialogs, 1);
    settleClickEdit(view);
    QCOMPARE(dialogs, 1);
    QCOMPARE(object->m_pShape->m_nColour, int(LIST_GREEN));
    QVERIFY(!view->indexWidget(colour));
}

void TestTeskView::filterCommandAppliesAnOpenLabelEdit_data()
{
    QTest::addColumn<int>("filterBefore");
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("enterPressed");
    QTest::addColumn<int>("shownAfter");
    QTest::newRow("narrowing keeps the object") << int(ID_SHOW_ALL) << int(ID_SHOW_LISTED) << false << 1;
    QTest::newRow("narrowing drops the object") << int(ID_SHOW_ALL) << int(ID_SHOW_USER) << false << 1;
    QTest::newRow("rebuild") << int(ID_SHOW_LISTED) << int(ID_SHOW_ALL) << false << 2;
    // Enter queues the commit; the command runs before it arrives.
    QTest::newRow("after Enter, narrowing drops the object") << int(ID_SHOW_ALL) << int(ID_SHOW_USER) << true << 1;
    QTest::newRow("after Enter, rebuild") << int(ID_SHOW_LISTED) << int(ID_SHOW_ALL) << true << 2;
}

void TestTeskView::filterCommandAppliesAnOpenLabelEdit()
{
    QFETCH(int, filterBefore);
    QFETCH(int, id);
    QFETCH(bool, enterPressed);
    QFETCH(int, shownAfter);
    QTest::failOnWarning(QRegularExpression(QStringLiteral("does not belong to this view")));
    CTeskDoc* doc = openScene();
    C3dObject* listed = doc->AddObject(SHAPE_SPHERE);
    doc->AddObject(SHAPE_CUBE)->m_pShape->m_nColourMode = COLOUR_USER;
    CTeskView* view = active();
    command(filterBefore);
    QPointer<QLineEdit> editor = startEdit(view, objectItem(view, 0));
    QVERIFY(editor);
    typeOver(editor, QStringLiteral("Renamed"));
    if (enterPressed)
        QTest::keyClick(editor, Qt::Key_Return);

    command(id);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(QByteArray(listed->m_pShape->m_szName), QByteArray("Renamed"));
    QCOMPARE(view->model()->rowCount(), shownAfter);
    QVERIFY(!editor || editor->isHidden());
    for (int row = 0; row < shownAfter; ++row)
        QVERIFY(!view->indexWidget(objectItem(view, row)));
}

void TestTeskView::typedTextSurvivesAChangeFromAnotherWindow()
{
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_SPHERE);
    CTeskView* view = active();
    addView();
    QLineEdit* editor = startEdit(view, objectItem(view, 0));
    QVERIFY(editor);
    typeOver(editor, QStringLiteral("Typed"));
    object->m_pShape->m_nX = 7;
    doc->ObjectChanged(object);
    QCOMPARE(editor->text(), QStringLiteral("Typed"));
    endEdit(editor, Qt::Key_Return);
    QCOMPARE(QByteArray(object->m_pShape->m_szName), QByteArray("Typed"));
    QCOMPARE(object->m_pShape->m_nX, 7);
}

void TestTeskView::objectCommandsFollowSelection()
{
    CTeskDoc* doc = openScene();
    doc->AddObject(SHAPE_SPHERE);
    CTeskView* view = active();
    fw::MdiFrameWnd* frame = m_host->frame.get();
    view->selectionModel()->clear();
    QVERIFY(frame->CommandState(ID_OBJECT_ADD).enabled);
    QVERIFY(frame->CommandState(ID_ADD_STAR).enabled);
    QVERIFY(!frame->CommandState(ID_OBJECT_DELETE).enabled);
    QVERIFY(!frame->CommandState(ID_OBJECT_EDIT).enabled);
    command(ID_OBJECT_DELETE);
    QCOMPARE(doc->GetObjects().size(), 1u);
    view->setCurrentIndex(propertyItem(view, 0, PROPERTY_Z));
    QVERIFY(frame->CommandState(ID_OBJECT_DELETE).enabled);
    QVERIFY(frame->CommandState(ID_OBJECT_EDIT).enabled);
}

void TestTeskView::filterRadioMarks_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("filter");
    QTest::newRow("View Show All") << int(ID_SHOW_ALL) << int(FILTER_ALL);
    QTest::newRow("View listed") << int(ID_SHOW_LISTED) << int(FILTER_LISTED);
    QTest::newRow("View user-defined") << int(ID_SHOW_USER) << int(FILTER_USER);
    QTest::newRow("toolbar all") << int(ID_TB_SHOW_ALL) << int(FILTER_ALL);
    QTest::newRow("toolbar listed") << int(ID_TB_SHOW_LISTED) << int(FILTER_LISTED);
    QTest::newRow("toolbar user-defined") << int(ID_TB_SHOW_USER) << int(FILTER_USER);
}

void TestTeskView::filterRadioMarks()
{
    QFETCH(int, id);
    QFETCH(int, filter);
    openScene();
    command(filter == FILTER_USER ? ID_SHOW_LISTED : ID_SHOW_USER);
    QVERIFY(command(id));
    QCOMPARE(active()->m_nFilter, filter);
    const int ids[3][2] = {{ID_SHOW_ALL, ID_TB_SHOW_ALL}, {ID_SHOW_LISTED, ID_TB_SHOW_LISTED},
                           {ID_SHOW_USER, ID_TB_SHOW_USER}};
    for (int mode = 0; mode < 3; ++mode) {
        for (const int each : ids[mode]) {
            const fw::CmdUI ui = m_host->frame->CommandState(each);
            QVERIFY(ui.enabled);
            QCOMPARE(ui.mark, fw::CmdUI::Mark::Radio);
            QCOMPARE(ui.marked, mode == filter);
        }
    }
}

void TestTeskView::narrowingKeepsSurvivorsInPlaceAndExpanded_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("listed") << int(ID_SHOW_LISTED) << QStringList({"A", "D", "E"});
    QTest::newRow("user-defined") << int(ID_TB_SHOW_USER) << QStringList({"B", "C", "E"});
}

void TestTeskView::narrowingKeepsSurvivorsInPlaceAndExpanded()
{
    QFETCH(int, id);
    QFETCH(QStringList, shown);
    CTeskDoc* doc = openScene();
    // B and C user-defined; E of a colour kind only a file can carry.
    for (const char* name : {"A", "B", "C", "D", "E"}) {
        C3dObject* object = doc->AddObject(SHAPE_SPHERE);
        object->m_pShape->SetName(name);
        object->m_pShape->m_nColourMode = *name == 'B' || *name == 'C' ? COLOUR_USER : *name == 'E' ? 7 : 0;
    }
    CTeskView* view = active();
    QSignalSpy resets(view->model(), &QAbstractItemModel::modelReset);
    command(ID_SHOW_ALL);
    view->expand(objectItem(view, 0));
    view->expand(objectItem(view, 2));
    view->setCurrentIndex(propertyItem(view, shown.first() == "A" ? 0 : 2, PROPERTY_Y));

    command(id);
    QCOMPARE(objectLabels(view), shown);
    QCOMPARE(status(), countText(int(shown.size())));
    QCOMPARE(resets.count(), 0);
    for (int row = 0; row < shown.size(); ++row)
        QCOMPARE(view->isExpanded(objectItem(view, row)), shown[row] == "A" || shown[row] == "C");
    const QModelIndex selected = view->GetSelectedItem();
    QCOMPARE(label(selected), QStringLiteral("y: 0"));
    QCOMPARE(label(selected.parent()), shown.first() == "A" ? QStringLiteral("A") : QStringLiteral("C"));
}

void TestTeskView::rebuildShowsAdmittedObjectsCollapsed()
{
    CTeskDoc* doc = openScene();
    for (const int mode : {int(COLOUR_USER), int(COLOUR_LISTED), 7, int(COLOUR_USER)})
        doc->AddObject(SHAPE_SPHERE)->m_pShape->m_nColourMode = mode;
    CTeskView* view = active();
    command(ID_SHOW_USER);
    view->expandAll();
    // The active filter chosen again rebuilds: all collapsed.
    command(ID_SHOW_USER);
    QCOMPARE(view->model()->rowCount(), 2);
    QVERIFY(!view->isExpanded(objectItem(view, 0)));
    QVERIFY(!view->isExpanded(objectItem(view, 1)));
    // A rebuild leaves out the unknown colour kind.
    command(ID_SHOW_LISTED);
    QCOMPARE(objectOf(objectItem(view, 0)), doc->GetObjects()[1].get());
    QCOMPARE(status(), countText(1));
    command(ID_SHOW_ALL);
    QCOMPARE(status(), countText(4));
    for (int row = 0; row < 4; ++row)
        QCOMPARE(objectOf(objectItem(view, row)), doc->GetObjects()[row].get());
}

void TestTeskView::filterIsNoStandingRule()
{
    CTeskDoc* doc = openScene();
    C3dObject* user = doc->AddObject(SHAPE_SPHERE);
    user->m_pShape->m_nColourMode = COLOUR_USER;
    CTeskView* view = active();
    command(ID_SHOW_USER);
    command(ID_ADD_CUBE);
    QCOMPARE(view->model()->rowCount(), 2);
    QCOMPARE(status(), countText(2));
    user->m_pShape->m_nColourMode = COLOUR_LISTED;
    doc->ObjectChanged(user);
    QCOMPARE(view->model()->rowCount(), 2);
    QCOMPARE(label(propertyItem(view, 0, PROPERTY_COLOUR)), QStringLiteral("colour: Red"));
}

void TestTeskView::filtersInTwoWindowsAtOnce()
{
    CTeskDoc* doc = openScene();
    for (const int mode : {COLOUR_LISTED, COLOUR_USER, COLOUR_USER})
        doc->AddObject(SHAPE_SPHERE)->m_pShape->m_nColourMode = mode;
    CTeskView* first = active();
    command(ID_SHOW_LISTED);
    CTeskView* second = addView();
    command(ID_SHOW_USER);
    QCOMPARE(first->model()->rowCount(), 1);
    QCOMPARE(second->model()->rowCount(), 2);

    C3dObject* listed = doc->GetObjects()[0].get();
    C3dObject* user = doc->GetObjects()[2].get();
    listed->m_pShape->m_nX = 4;
    doc->ObjectChanged(listed);
    user->m_pShape->m_nX = 6;
    doc->ObjectChanged(user);
    QCOMPARE(label(propertyItem(first, 0, PROPERTY_X)), QStringLiteral("x: 4"));
    QCOMPARE(label(propertyItem(second, 1, PROPERTY_X)), QStringLiteral("x: 6"));
    doc->RemoveObject(user);
    QCOMPARE(first->model()->rowCount(), 1);
    QCOMPARE(second->model()->rowCount(), 1);

    QVERIFY(m_host->frame->CommandState(ID_SHOW_USER).marked);
    m_host->frame->ActivateFrame(first->GetParentFrame());
    QVERIFY(m_host->frame->CommandState(ID_SHOW_LISTED).marked);
}

void TestTeskView::statusShowsActiveWindowCount()
{
    CTeskDoc* first = openScene();
    CTeskView* firstView = active();
    command(ID_ADD_SPHERE);
    CTeskView* secondWindow = addView();
    // One object added with two windows open counts once.
    command(ID_ADD_CUBE);
    QCOMPARE(status(), countText(2));

    CTeskDoc* other = openScene();
    CTeskView* otherView = active();
    QCOMPARE(status(), countText(0));
    // A window in the background never writes.
    const int writes = m_host->frame->statusWrites;
    first->AddObject(SHAPE_STAR);
    QCOMPARE(m_host->frame->statusWrites, writes);
    m_host->frame->ActivateFrame(firstView->GetParentFrame());
    QCOMPARE(status(), countText(3));
    m_host->frame->ActivateFrame(otherView->GetParentFrame());
    QCOMPARE(status(), countText(0));
    other->AddObject(SHAPE_STAR);
    QCOMPARE(status(), countText(1));

    // A filtered window counts what its tree shows, at once.
    first->GetObjects()[0]->m_pShape->m_nColourMode = COLOUR_USER;
    m_host->frame->ActivateFrame(secondWindow->GetParentFrame());
    command(ID_SHOW_USER);
    QCOMPARE(status(), countText(1));
    m_host->frame->ActivateFrame(firstView->GetParentFrame());
    QCOMPARE(status(), countText(3));
}

void TestTeskView::rightClickSelectsItemAndActsOnIt_data()
{
    QTest::addColumn<bool>("throughWindow");
    QTest::newRow("right button through the window") << true;
    QTest::newRow("context-menu event alone") << false;
}

void TestTeskView::rightClickSelectsItemAndActsOnIt()
{
    QFETCH(bool, throughWindow);
    CTeskDoc* doc = openScene();
    doc->AddObject(SHAPE_SPHERE);
    doc->AddObject(SHAPE_CUBE);
    CTeskView* view = active();
    view->setCurrentIndex(objectItem(view, 0));
    const QPoint pos = view->visualRect(objectItem(view, 1)).center();
    QStringList texts;
    bool editEnabled = false;
    onPopup(view, [&](QMenu* menu) {
        for (QAction* action : menu->actions())
            texts << action->text();
        editEnabled = actionFor(menu, ID_OBJECT_EDIT)->isEnabled();
        actionFor(menu, ID_OBJECT_DELETE)->trigger();
    });
    if (throughWindow) {
        QTest::mouseClick(m_host->frame->windowHandle(), Qt::RightButton, {},
                          view->viewport()->mapTo(m_host->frame.get(), pos));
    } else {
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, view->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(view->viewport(), &event);
    }
    QCOMPARE(texts, QStringList({"Dodaj", QString::fromUtf16(u"Usuń"), "Edytuj"}));
    QVERIFY(editEnabled);
    // The clicked object went, not the one selected before.
    QCOMPARE(objectLabels(view), QStringList({"Kuleczka"}));
}

void TestTeskView::rightClickOnEmptySpaceOffersOnlyAdd()
{
    CTeskDoc* doc = openScene();
    doc->AddObject(SHAPE_CUBE);
    CTeskView* view = active();
    view->setCurrentIndex(objectItem(view, 0));
    const QPoint pos(view->viewport()->width() / 2, view->viewport()->height() - 5);
    QList<bool> enabled;
    onPopup(view, [&](QMenu* menu) {
        for (QAction* action : menu->actions())
            enabled << action->isEnabled();
        actionFor(menu, ID_OBJECT_ADD)->trigger();
    });
    QTest::mouseClick(m_host->frame->windowHandle(), Qt::RightButton, {},
                      view->viewport()->mapTo(m_host->frame.get(), pos));
    QCOMPARE(enabled, QList<bool>({true, false, false}));
    QVERIFY(!view->GetSelectedItem().isValid());
    // "Dodaj" adds a sphere.
    QCOMPARE(objectLabels(view), QStringList({QString::fromUtf16(u"Sześcianik"), "Kuleczka"}));
}

void TestTeskView::keyboardContextMenuOpensAtSelectedItem_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Menu key") << int(Qt::Key_Menu) << int(Qt::NoModifier);
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier);
}

void TestTeskView::keyboardContextMenuOpensAtSelectedItem()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    CTeskDoc* doc = openScene();
    for (int i = 0; i < 3; ++i)
        doc->AddObject(SHAPE_SPHERE);
    CTeskView* view = active();
    const QModelIndex item = objectItem(view, 2);
    view->setCurrentIndex(item);
    QVERIFY(QTest::qWaitForWindowActive(m_host->frame.get()));
    view->setFocus();
    QPoint shownAt(-1, -1);
    onPopup(view, [&](QMenu* menu) { shownAt = menu->pos(); });
    QTest::keyClick(m_host->frame->windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(shownAt, view->viewport()->mapToGlobal(view->visualRect(item).bottomLeft()));
}

void TestTeskView::keyboardContextMenuWithoutSelectionOpensAtTopLeft()
{
    openScene();
    CTeskView* view = active();
    QPoint shownAt(-1, -1);
    onPopup(view, [&](QMenu* menu) { shownAt = menu->pos(); });
    // A platform's keyboard context menu carries the point (-1, -1).
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(-1, -1), QPoint(-1, -1));
    QApplication::sendEvent(view, &event);
    QCOMPARE(shownAt, view->viewport()->mapToGlobal(QPoint(0, 0)));
}

QTEST_MAIN(TestTeskView)
#include "tst_teskview.moc"
