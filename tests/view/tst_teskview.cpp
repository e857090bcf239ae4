#include "dialogs/choosecolor.h"
#include "document/commands.h"
#include "document/teskdoc.h"
#include "framework/core/ansi.h"
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
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>
#include <limits>
#include <memory>

namespace {

// The main frame of the tests: records what the views show as status text.
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

// An application with one template binding CTeskDoc, fw::FrameWindow and
// CTeskView, whose every view model runs under QAbstractItemModelTester.
struct Host {
    Host()
    {
        frame->SetAsMainWindow();
        app.m_pMainWnd = frame.get();
        auto docTemplate = std::make_unique<fw::MultiDocTemplate>(
            frame.get(), [] { return std::make_unique<CTeskDoc>(); }, [] { return new fw::FrameWindow; },
            [] {
                auto* view = new CTeskView;
                new QAbstractItemModelTester(view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                             view);
                return view;
            });
        templ = docTemplate.get();
        app.AddDocTemplate(std::move(docTemplate));
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

// Every label of the tree, object by object, each followed by its properties.
QStringList treeLabels(const CTeskView* view)
{
    QStringList labels;
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex item = model->index(row, 0);
        labels << label(item);
        for (int child = 0; child < model->rowCount(item); ++child)
            labels << label(model->index(child, 0, item));
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

// Types `text` into `editor` character by character, any Unicode text.
void typeText(QWidget* editor, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Replaces the editor's whole text by typing.
void replaceText(QWidget* editor, const QString& text)
{
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Delete);
    typeText(editor, text);
}

// Ends an edit with `key`; the delegate commits and closes through a queued call.
void endEdit(QWidget* editor, Qt::Key key)
{
    QTest::keyClick(editor, key);
    QCoreApplication::sendPostedEvents();
}

QString countText(int count) { return QStringLiteral("Object count: %1").arg(count); }

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

// Runs `action` on the popup menu once it is open, then closes the menu.
// Checks on every pass of the event loop: key clicks with modifiers run the
// loop before the menu opens. The watcher dies with `owner` at the latest.
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
    void init();
    void cleanup();

    void newSceneShowsEmptyTreeAndZeroCount();
    void addedSphereShowsCollapsedItemWithProperties();
    void addCommandsAddTheirTypes_data();
    void addCommandsAddTheirTypes();
    void propertyLabelsFollowFields_data();
    void propertyLabelsFollowFields();
    void itemDataCarriesObjectAndTags();
    void twoWindowsFollowEveryChange();
    void changeOfHiddenObjectLeavesTreeAndRefreshesCount();
    void changeRepaintsShownPropertyItems();

    void labelEditAppliesWithEnter_data();
    void labelEditAppliesWithEnter();
    void labelEditorLimitsNamesTo255();
    void escapeCancelsLabelEdit_data();
    void escapeCancelsLabelEdit();
    void unchangedEnterStillMarksModified();
    void leavingTheEditorApplies();
    void clickOnSelectedItemStartsEdit();

    void colourItemOpensDialogInsteadOfEditor();
    void editColourOkRelabelsEveryWindow();
    void cancelledColourDialogChangesNothing_data();
    void cancelledColourDialogChangesNothing();

    void objectCommandsFollowSelection();
    void deleteWithPropertySelectedRemovesObject();
    void filterRadioMarks_data();
    void filterRadioMarks();
    void narrowingKeepsSurvivorsInPlaceAndExpanded_data();
    void narrowingKeepsSurvivorsInPlaceAndExpanded();
    void rebuildShowsAdmittedObjectsCollapsed();
    void showAllWhileAllShownChangesNothing();
    void filterIsNoStandingRule();
    void unknownColourModeOnlySurvivesNarrowing();
    void filtersInTwoWindowsAtOnce();

    void statusShowsActiveWindowCount();
    void backgroundWindowDoesNotWriteStatus();

    void rightClickSelectsItemAndActsOnIt_data();
    void rightClickSelectsItemAndActsOnIt();
    void rightClickOnEmptySpaceOffersOnlyAdd();
    void popupAddAddsSphere();
    void keyboardContextMenuOpensAtSelectedItem_data();
    void keyboardContextMenuOpensAtSelectedItem();
    void keyboardContextMenuWithoutSelectionOpensAtTopLeft();

private:
    CTeskDoc* openScene();
    CTeskView* active() const;
    CTeskView* addView();
    QLineEdit* startEdit(CTeskView* view, const QModelIndex& item);

    std::unique_ptr<Host> m_host;
};

void TestTeskView::init() { m_host = std::make_unique<Host>(); }

void TestTeskView::cleanup() { m_host.reset(); }

CTeskDoc* TestTeskView::openScene()
{
    QString error;
    auto* doc = qobject_cast<CTeskDoc*>(m_host->templ->OpenDocumentFile(QString(), &error));
    Q_ASSERT(doc);
    return doc;
}

CTeskView* TestTeskView::active() const { return dynamic_cast<CTeskView*>(m_host->frame->GetActiveView()); }

CTeskView* TestTeskView::addView()
{
    m_host->frame->OnCommand(ID_ADD_VIEW);
    return active();
}

QLineEdit* TestTeskView::startEdit(CTeskView* view, const QModelIndex& item)
{
    view->setCurrentIndex(item);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F2);
    return qobject_cast<QLineEdit*>(view->indexWidget(item));
}

void TestTeskView::newSceneShowsEmptyTreeAndZeroCount()
{
    openScene();
    QCOMPARE(active()->model()->rowCount(), 0);
    QCOMPARE(m_host->frame->statusText, countText(0));
}

void TestTeskView::addedSphereShowsCollapsedItemWithProperties()
{
    openScene();
    m_host->frame->OnCommand(ID_ADD_SPHERE);
    CTeskView* view = active();
    QCOMPARE(treeLabels(view), QStringList({"Kuleczka", "x: 0", "y: 0", "z: 0", "type: Sphere", "colour: Red"}));
    QVERIFY(!view->isExpanded(objectItem(view, 0)));
    QCOMPARE(m_host->frame->statusText, countText(1));
}

void TestTeskView::addCommandsAddTheirTypes_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::newRow("Add Sphere") << int(ID_ADD_SPHERE) << "Kuleczka" << "type: Sphere";
    QTest::newRow("Add Cube") << int(ID_ADD_CUBE) << QString::fromUtf16(u"Sześcianik") << "type: Cube";
    QTest::newRow("Add Star") << int(ID_ADD_STAR) << QString::fromUtf16(u"Mała śliczna gwiazdka") << "type: Star";
    QTest::newRow("toolbar add") << int(ID_OBJECT_ADD) << "Kuleczka" << "type: Sphere";
}

void TestTeskView::addCommandsAddTheirTypes()
{
    QFETCH(int, command);
    QFETCH(QString, name);
    QFETCH(QString, type);
    CTeskDoc* doc = openScene();
    QVERIFY(m_host->frame->OnCommand(command));
    QCOMPARE(doc->m_objects.size(), 1u);
    QVERIFY(doc->IsModified());
    CTeskView* view = active();
    QCOMPARE(label(objectItem(view, 0)), name);
    QCOMPARE(label(propertyItem(view, 0, PROPERTY_TYPE)), type);
}

void TestTeskView::propertyLabelsFollowFields_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("colour");
    QTest::addColumn<QString>("typeLabel");
    QTest::addColumn<QString>("colourLabel");
    QTest::newRow("Borg type 7") << 7 << 0 << 0 << "type: Borg" << "colour: Red";
    QTest::newRow("Borg type -1") << -1 << 0 << 1 << "type: Borg" << "colour: Green";
    QTest::newRow("listed blue") << 2 << 0 << 2 << "type: Cube" << "colour: Blue";
    QTest::newRow("user FF8000") << 3 << 1 << C3dShape::Rgb(255, 128, 0) << "type: Star" << "colour: #FF8000";
    QTest::newRow("listed -1") << 1 << 0 << -1 << "type: Sphere" << "colour: Unknown";
    QTest::newRow("user holding index 2") << 1 << 1 << 2 << "type: Sphere" << "colour: #020000";
}

void TestTeskView::propertyLabelsFollowFields()
{
    QFETCH(int, type);
    QFETCH(int, mode);
    QFETCH(int, colour);
    QFETCH(QString, typeLabel);
    QFETCH(QString, colourLabel);
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_SPHERE);
    C3dShape& shape = *object->m_pShape;
    shape.m_nType = type;
    shape.m_nColourMode = mode;
    shape.m_nColour = colour;
    shape.m_nX = -5;
    shape.m_nY = std::numeric_limits<std::int32_t>::max();
    shape.m_nZ = std::numeric_limits<std::int32_t>::min();
    doc->ObjectChanged(object);
    CTeskView* view = active();
    QCOMPARE(treeLabels(view), QStringList({"Kuleczka", "x: -5", "y: 2147483647", "z: -2147483648", typeLabel,
                                            colourLabel}));
}

void TestTeskView::itemDataCarriesObjectAndTags()
{
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_CUBE);
    CTeskView* view = active();
    const QModelIndex item = objectItem(view, 0);
    QCOMPARE(item.data(CSceneTreeModel::ItemDataRole).value<C3dObject*>(), object);
    QVERIFY(!item.parent().isValid());
    for (int tag = PROPERTY_X; tag <= PROPERTY_COLOUR; ++tag) {
        const QModelIndex property = propertyItem(view, 0, tag);
        QCOMPARE(property.data(CSceneTreeModel::ItemDataRole).toInt(), tag);
        QCOMPARE(property.parent(), item);
        QVERIFY(!view->model()->hasChildren(property));
    }
}

void TestTeskView::twoWindowsFollowEveryChange()
{
    CTeskDoc* doc = openScene();
    CTeskView* first = active();
    CTeskView* second = addView();
    QVERIFY(first != second);
    QCOMPARE(doc->GetViews().size(), 2u);

    m_host->frame->OnCommand(ID_ADD_CUBE);
    m_host->frame->OnCommand(ID_ADD_SPHERE);
    QCOMPARE(objectLabels(first), QStringList({QString::fromUtf16(u"Sześcianik"), "Kuleczka"}));
    QCOMPARE(treeLabels(first), treeLabels(second));

    // Rename in the second window, edit a number in the first.
    QLineEdit* editor = startEdit(second, objectItem(second, 1));
    QVERIFY(editor);
    replaceText(editor, QStringLiteral("Kula"));
    endEdit(editor, Qt::Key_Return);
    m_host->frame->ActivateFrame(first->GetParentFrame());
    editor = startEdit(first, propertyItem(first, 0, PROPERTY_Z));
    QVERIFY(editor);
    replaceText(editor, QStringLiteral("-3"));
    endEdit(editor, Qt::Key_Return);
    QCOMPARE(treeLabels(first), treeLabels(second));
    QCOMPARE(label(objectItem(second, 1)), QStringLiteral("Kula"));
    QCOMPARE(label(propertyItem(second, 0, PROPERTY_Z)), QStringLiteral("z: -3"));

    // Recolour from the first window.
    first->setCurrentIndex(objectItem(first, 1));
    onColourDialog([](CChooseColor* dialog) { chooseListColour(dialog, LIST_BLUE); });
    m_host->frame->OnCommand(ID_OBJECT_EDIT);
    QCOMPARE(label(propertyItem(second, 1, PROPERTY_COLOUR)), QStringLiteral("colour: Blue"));
    QCOMPARE(treeLabels(first), treeLabels(second));

    // Delete from the first window.
    first->setCurrentIndex(objectItem(first, 0));
    m_host->frame->OnCommand(ID_OBJECT_DELETE);
    QCOMPARE(objectLabels(second), QStringList({"Kula"}));
    QCOMPARE(treeLabels(first), treeLabels(second));
    QCOMPARE(doc->m_objects.size(), 1u);
}

void TestTeskView::changeOfHiddenObjectLeavesTreeAndRefreshesCount()
{
    CTeskDoc* doc = openScene();
    C3dObject* user = doc->AddObject(SHAPE_SPHERE);
    user->m_pShape->m_nColourMode = COLOUR_USER;
    doc->AddObject(SHAPE_CUBE);
    m_host->frame->OnCommand(ID_SHOW_LISTED);
    CTeskView* view = active();
    const QStringList before = treeLabels(view);
    const int writes = m_host->frame->statusWrites;

    user->m_pShape->m_nX = 9;
    doc->ObjectChanged(user);
    QCOMPARE(treeLabels(view), before);
    QCOMPARE(m_host->frame->statusWrites, writes + 1);
    QCOMPARE(m_host->frame->statusText, countText(1));

    doc->RemoveObject(user);
    QCOMPARE(treeLabels(view), before);
    QCOMPARE(m_host->frame->statusText, countText(1));
}

void TestTeskView::changeRepaintsShownPropertyItems()
{
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_SPHERE);
    CTeskView* collapsed = active();
    CTeskView* expanded = addView();
    expanded->expand(objectItem(expanded, 0));
    QSignalSpy expandedChanges(expanded->model(), &QAbstractItemModel::dataChanged);
    QSignalSpy collapsedChanges(collapsed->model(), &QAbstractItemModel::dataChanged);
    object->m_pShape->m_nY = 3;
    doc->ObjectChanged(object);
    // The window showing the property items is told about them.
    const auto announces = [](const QSignalSpy& spy, const QModelIndex& item) {
        for (const QList<QVariant>& args : spy) {
            const auto first = args[0].value<QModelIndex>();
            const auto last = args[1].value<QModelIndex>();
            if (first.parent() == item.parent() && first.row() <= item.row() && item.row() <= last.row())
                return true;
        }
        return false;
    };
    QVERIFY(announces(expandedChanges, propertyItem(expanded, 0, PROPERTY_Y)));
    QVERIFY(announces(expandedChanges, objectItem(expanded, 0)));
    QVERIFY(announces(collapsedChanges, objectItem(collapsed, 0)));
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
    QTest::newRow("y negative") << int(PROPERTY_Y) << "0" << "-40" << "y: -40" << kuleczka;
    QTest::newRow("z trailing text") << int(PROPERTY_Z) << "0" << " 8 apples" << "z: 8" << kuleczka;
    QTest::newRow("x abc gives 0") << int(PROPERTY_X) << "5" << "abc" << "x: 0" << kuleczka;
    QTest::newRow("x above range clamps") << int(PROPERTY_X) << "5" << "3000000000" << "x: 2147483647" << kuleczka;
    QTest::newRow("y below range clamps") << int(PROPERTY_Y) << "0" << "-3000000000" << "y: -2147483648" << kuleczka;
    QTest::newRow("type 3 star") << int(PROPERTY_TYPE) << "1" << "3" << "type: Star" << kuleczka;
    QTest::newRow("type 9 Borg") << int(PROPERTY_TYPE) << "1" << "9" << "type: Borg" << kuleczka;
    QTest::newRow("rename") << 0 << "Kuleczka" << "Kula" << "Kula" << QByteArray("Kula");
    QTest::newRow("rename Polish") << 0 << "Kuleczka" << QString::fromUtf16(u"Żółć")
                                   << QString::fromUtf16(u"Żółć") << QByteArray("\xAF\xF3\xB3\xE6");
    QTest::newRow("rename unmappable") << 0 << "Kuleczka" << QString::fromUtf16(u"a日本b") << "a??b"
                                       << QByteArray("a??b");
    QTest::newRow("rename empty") << 0 << "Kuleczka" << "" << "" << QByteArray();
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
    replaceText(editor, typed);
    endEdit(editor, Qt::Key_Return);

    QVERIFY(!view->indexWidget(item));
    QCOMPARE(label(item), expectedLabel);
    QCOMPARE(QByteArray(object->m_pShape->m_szName), expectedName);
    QVERIFY(doc->IsModified());
}

void TestTeskView::labelEditorLimitsNamesTo255()
{
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_STAR);
    CTeskView* view = active();
    QLineEdit* editor = startEdit(view, objectItem(view, 0));
    QVERIFY(editor);
    QCOMPARE(editor->maxLength(), 255);
    replaceText(editor, QString(300, QChar(u'ś')));
    endEdit(editor, Qt::Key_Return);
    QCOMPARE(QByteArray(object->m_pShape->m_szName), QByteArray(255, '\x9C'));
    QCOMPARE(label(objectItem(view, 0)), QString(255, QChar(u'ś')));
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
    replaceText(editor, QStringLiteral("77"));
    endEdit(editor, Qt::Key_Escape);

    QVERIFY(!view->indexWidget(item));
    QCOMPARE(treeLabels(view), before);
    QCOMPARE(object->m_pShape->m_nX, 0);
    QCOMPARE(object->m_pShape->m_nType, int(SHAPE_CUBE));
    QCOMPARE(fw::fromAnsi(object->m_pShape->m_szName), QString::fromUtf16(u"Sześcianik"));
    QVERIFY(!doc->IsModified());
}

void TestTeskView::unchangedEnterStillMarksModified()
{
    CTeskDoc* doc = openScene();
    doc->AddObject(SHAPE_SPHERE);
    doc->SetModifiedFlag(false);
    CTeskView* view = active();
    const QStringList before = treeLabels(view);
    QLineEdit* editor = startEdit(view, propertyItem(view, 0, PROPERTY_Y));
    QVERIFY(editor);
    endEdit(editor, Qt::Key_Return);
    QCOMPARE(treeLabels(view), before);
    QVERIFY(doc->IsModified());
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
    replaceText(editor, QStringLiteral("31"));
    second->setFocus();
    QVERIFY(!first->indexWidget(propertyItem(first, 0, PROPERTY_X)));
    QCOMPARE(object->m_pShape->m_nX, 31);
    QCOMPARE(label(propertyItem(second, 0, PROPERTY_X)), QStringLiteral("x: 31"));
}

void TestTeskView::clickOnSelectedItemStartsEdit()
{
    CTeskDoc* doc = openScene();
    doc->AddObject(SHAPE_SPHERE);
    CTeskView* view = active();
    const QModelIndex item = objectItem(view, 0);
    view->setCurrentIndex(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
    // Qt waits out the double-click interval before it opens the editor.
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
    const QModelIndex item = propertyItem(view, 0, PROPERTY_COLOUR);
    bool dialogSeen = false;
    onColourDialog([&](CChooseColor* dialog) {
        dialogSeen = true;
        QCOMPARE(dialog->m_nColourMode, COLOUR_LISTED);
        QCOMPARE(dialog->m_nColour, LIST_RED);
        chooseListColour(dialog, LIST_GREEN);
    });
    QVERIFY(!startEdit(view, item));
    QVERIFY(dialogSeen);
    QVERIFY(!view->indexWidget(item));
    QCOMPARE(object->m_pShape->m_nColour, int(LIST_GREEN));
    QCOMPARE(label(item), QStringLiteral("colour: Green"));
    QCOMPARE(label(propertyItem(other, 0, PROPERTY_COLOUR)), QStringLiteral("colour: Green"));
}

void TestTeskView::editColourOkRelabelsEveryWindow()
{
    CTeskDoc* doc = openScene();
    C3dObject* object = doc->AddObject(SHAPE_CUBE);
    object->m_pShape->m_nColourMode = COLOUR_USER;
    object->m_pShape->m_nColour = C3dShape::Rgb(1, 2, 3);
    doc->ObjectChanged(object);
    doc->SetModifiedFlag(false);
    CTeskView* first = active();
    CTeskView* second = addView();
    second->setCurrentIndex(propertyItem(second, 0, PROPERTY_X));
    onColourDialog([](CChooseColor* dialog) { chooseListColour(dialog, LIST_BLUE); });
    m_host->frame->OnCommand(ID_OBJECT_EDIT);
    QCOMPARE(object->m_pShape->m_nColourMode, int(COLOUR_LISTED));
    QCOMPARE(object->m_pShape->m_nColour, int(LIST_BLUE));
    QVERIFY(doc->IsModified());
    QCOMPARE(label(propertyItem(first, 0, PROPERTY_COLOUR)), QStringLiteral("colour: Blue"));
    QCOMPARE(label(propertyItem(second, 0, PROPERTY_COLOUR)), QStringLiteral("colour: Blue"));
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
        // Change the dialog's state first: Cancel must drop it.
        dialog->findChild<QRadioButton*>(QStringLiteral("IDC_RADIO_USER"))->click();
        if (how == QLatin1String("button"))
            dialog->findChild<QPushButton*>(QStringLiteral("IDCANCEL"))->click();
        else if (how == QLatin1String("escape"))
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
    });
    m_host->frame->OnCommand(ID_OBJECT_EDIT);
    QCOMPARE(object->m_pShape->m_nColourMode, int(COLOUR_LISTED));
    QCOMPARE(object->m_pShape->m_nColour, int(LIST_GREEN));
    QVERIFY(!doc->IsModified());
    QCOMPARE(treeLabels(view), before);
}

void TestTeskView::objectCommandsFollowSelection()
{
    CTeskDoc* doc = openScene();
    doc->AddObject(SHAPE_SPHERE);
    CTeskView* view = active();
    fw::MdiFrameWnd* frame = m_host->frame.get();
    view->selectionModel()->clear();
    QVERIFY(frame->CommandState(ID_OBJECT_ADD).enabled);
    QVERIFY(!frame->CommandState(ID_OBJECT_DELETE).enabled);
    QVERIFY(!frame->CommandState(ID_OBJECT_EDIT).enabled);
    QVERIFY(frame->CommandState(ID_ADD_STAR).enabled);

    view->setCurrentIndex(propertyItem(view, 0, PROPERTY_Z));
    QVERIFY(frame->CommandState(ID_OBJECT_ADD).enabled);
    QVERIFY(frame->CommandState(ID_OBJECT_DELETE).enabled);
    QVERIFY(frame->CommandState(ID_OBJECT_EDIT).enabled);

    // Without a selection the commands do nothing.
    view->selectionModel()->clear();
    frame->OnCommand(ID_OBJECT_DELETE);
    QCOMPARE(doc->m_objects.size(), 1u);
}

void TestTeskView::deleteWithPropertySelectedRemovesObject()
{
    CTeskDoc* doc = openScene();
    doc->AddObject(SHAPE_SPHERE);
    doc->AddObject(SHAPE_CUBE);
    doc->AddObject(SHAPE_STAR);
    CTeskView* view = active();
    view->expand(objectItem(view, 1));
    view->setCurrentIndex(propertyItem(view, 1, PROPERTY_TYPE));
    m_host->frame->OnCommand(ID_OBJECT_DELETE);
    QCOMPARE(objectLabels(view), QStringList({"Kuleczka", QString::fromUtf16(u"Mała śliczna gwiazdka")}));
    QCOMPARE(doc->m_objects.size(), 2u);
    QCOMPARE(m_host->frame->statusText, countText(2));
}

void TestTeskView::filterRadioMarks_data()
{
    QTest::addColumn<int>("command");
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
    QFETCH(int, command);
    QFETCH(int, filter);
    openScene();
    // Start away from the target so that every row changes the marks.
    m_host->frame->OnCommand(filter == FILTER_USER ? ID_SHOW_LISTED : ID_SHOW_USER);
    QVERIFY(m_host->frame->OnCommand(command));
    QCOMPARE(active()->m_nFilter, filter);
    const int groups[3][2] = {{ID_SHOW_ALL, ID_TB_SHOW_ALL},
                              {ID_SHOW_LISTED, ID_TB_SHOW_LISTED},
                              {ID_SHOW_USER, ID_TB_SHOW_USER}};
    for (int mode = 0; mode < 3; ++mode) {
        for (const int id : groups[mode]) {
            const fw::CmdUI ui = m_host->frame->CommandState(id);
            QVERIFY(ui.enabled);
            QCOMPARE(ui.mark, fw::CmdUI::Mark::Radio);
            QCOMPARE(ui.marked, mode == filter);
        }
    }
}

void TestTeskView::narrowingKeepsSurvivorsInPlaceAndExpanded_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("listed") << int(ID_SHOW_LISTED) << QStringList({"A", "D"});
    QTest::newRow("user-defined") << int(ID_TB_SHOW_USER) << QStringList({"B", "C"});
}

void TestTeskView::narrowingKeepsSurvivorsInPlaceAndExpanded()
{
    QFETCH(int, command);
    QFETCH(QStringList, shown);
    CTeskDoc* doc = openScene();
    for (const char* name : {"A", "B", "C", "D"}) {
        C3dObject* object = doc->AddObject(SHAPE_SPHERE);
        object->m_pShape->SetName(name);
        object->m_pShape->m_nColourMode = (name[0] == 'B' || name[0] == 'C') ? COLOUR_USER : COLOUR_LISTED;
    }
    CTeskView* view = active();
    view->OnUpdate(nullptr, HINT_REFRESH, nullptr);
    for (int row = 0; row < 4; ++row)
        view->setExpanded(objectItem(view, row), row != 1 && row != 3 ? true : false);
    view->setCurrentIndex(propertyItem(view, shown.first() == "A" ? 0 : 2, PROPERTY_Y));

    m_host->frame->OnCommand(command);
    QCOMPARE(objectLabels(view), shown);
    QCOMPARE(m_host->frame->statusText, countText(2));
    // A and C were expanded, B and D collapsed.
    for (int row = 0; row < 2; ++row) {
        const bool expanded = shown[row] == "A" || shown[row] == "C";
        QCOMPARE(view->isExpanded(objectItem(view, row)), expanded);
    }
    // The selected property item stays selected under its object.
    const QModelIndex selected = view->GetSelectedItem();
    QVERIFY(selected.isValid());
    QCOMPARE(label(selected), QStringLiteral("y: 0"));
    QCOMPARE(label(selected.parent()), shown.first() == "A" ? QStringLiteral("A") : QStringLiteral("C"));
}

void TestTeskView::rebuildShowsAdmittedObjectsCollapsed()
{
    CTeskDoc* doc = openScene();
    for (int mode : {COLOUR_USER, COLOUR_LISTED, COLOUR_USER})
        doc->AddObject(SHAPE_SPHERE)->m_pShape->m_nColourMode = mode;
    CTeskView* view = active();
    m_host->frame->OnCommand(ID_SHOW_USER);
    QCOMPARE(view->model()->rowCount(), 2);
    view->expandAll();
    // The active filter chosen again rebuilds: everything collapsed.
    m_host->frame->OnCommand(ID_SHOW_USER);
    QCOMPARE(view->model()->rowCount(), 2);
    QVERIFY(!view->isExpanded(objectItem(view, 0)));
    QVERIFY(!view->isExpanded(objectItem(view, 1)));
    m_host->frame->OnCommand(ID_SHOW_LISTED);
    QCOMPARE(view->model()->rowCount(), 1);
    QCOMPARE(m_host->frame->statusText, countText(1));
    m_host->frame->OnCommand(ID_SHOW_ALL);
    QCOMPARE(view->model()->rowCount(), 3);
    QCOMPARE(m_host->frame->statusText, countText(3));
    for (int row = 0; row < 3; ++row)
        QCOMPARE(objectItem(view, row).data(CSceneTreeModel::ItemDataRole).value<C3dObject*>(),
                 doc->m_objects[row].get());
}

void TestTeskView::showAllWhileAllShownChangesNothing()
{
    CTeskDoc* doc = openScene();
    doc->AddObject(SHAPE_SPHERE);
    doc->AddObject(SHAPE_CUBE);
    CTeskView* view = active();
    view->expand(objectItem(view, 1));
    QSignalSpy resets(view->model(), &QAbstractItemModel::modelReset);
    QSignalSpy layouts(view->model(), &QAbstractItemModel::layoutChanged);
    m_host->frame->OnCommand(ID_SHOW_ALL);
    QCOMPARE(resets.count(), 0);
    QCOMPARE(layouts.count(), 0);
    QVERIFY(view->isExpanded(objectItem(view, 1)));
}

void TestTeskView::filterIsNoStandingRule()
{
    CTeskDoc* doc = openScene();
    C3dObject* user = doc->AddObject(SHAPE_SPHERE);
    user->m_pShape->m_nColourMode = COLOUR_USER;
    CTeskView* view = active();
    m_host->frame->OnCommand(ID_SHOW_USER);
    QCOMPARE(view->model()->rowCount(), 1);

    // A new object has a listed colour and shows all the same.
    m_host->frame->OnCommand(ID_ADD_CUBE);
    QCOMPARE(view->model()->rowCount(), 2);
    QCOMPARE(m_host->frame->statusText, countText(2));

    // Changing the colour kind relabels and does not hide.
    user->m_pShape->m_nColourMode = COLOUR_LISTED;
    doc->ObjectChanged(user);
    QCOMPARE(view->model()->rowCount(), 2);
    QCOMPARE(label(propertyItem(view, 0, PROPERTY_COLOUR)), QStringLiteral("colour: Red"));
}

void TestTeskView::unknownColourModeOnlySurvivesNarrowing()
{
    CTeskDoc* doc = openScene();
    doc->AddObject(SHAPE_SPHERE)->m_pShape->m_nColourMode = 7;
    doc->AddObject(SHAPE_SPHERE)->m_pShape->m_nColourMode = COLOUR_USER;
    CTeskView* view = active();
    m_host->frame->OnCommand(ID_SHOW_LISTED);
    QCOMPARE(view->model()->rowCount(), 1);
    QCOMPARE(objectItem(view, 0).data(CSceneTreeModel::ItemDataRole).value<C3dObject*>(), doc->m_objects[0].get());
    m_host->frame->OnCommand(ID_SHOW_LISTED);
    QCOMPARE(view->model()->rowCount(), 0);
    QCOMPARE(m_host->frame->statusText, countText(0));
}

void TestTeskView::filtersInTwoWindowsAtOnce()
{
    CTeskDoc* doc = openScene();
    for (int mode : {COLOUR_LISTED, COLOUR_USER, COLOUR_USER})
        doc->AddObject(SHAPE_SPHERE)->m_pShape->m_nColourMode = mode;
    CTeskView* first = active();
    m_host->frame->OnCommand(ID_SHOW_LISTED);
    CTeskView* second = addView();
    m_host->frame->OnCommand(ID_SHOW_USER);
    QCOMPARE(first->model()->rowCount(), 1);
    QCOMPARE(second->model()->rowCount(), 2);
    QCOMPARE(first->m_nFilter, int(FILTER_LISTED));
    QCOMPARE(second->m_nFilter, int(FILTER_USER));

    // One edit reaches both filtered windows: each shows what it shows.
    C3dObject* listed = doc->m_objects[0].get();
    C3dObject* user = doc->m_objects[2].get();
    listed->m_pShape->m_nX = 4;
    doc->ObjectChanged(listed);
    user->m_pShape->m_nX = 6;
    doc->ObjectChanged(user);
    QCOMPARE(label(propertyItem(first, 0, PROPERTY_X)), QStringLiteral("x: 4"));
    QCOMPARE(label(propertyItem(second, 1, PROPERTY_X)), QStringLiteral("x: 6"));
    doc->RemoveObject(user);
    QCOMPARE(first->model()->rowCount(), 1);
    QCOMPARE(second->model()->rowCount(), 1);
    QCOMPARE(m_host->frame->statusText, countText(1));

    // Each window answers the radio marks of its own filter.
    QVERIFY(m_host->frame->CommandState(ID_SHOW_USER).marked);
    m_host->frame->ActivateFrame(first->GetParentFrame());
    QVERIFY(m_host->frame->CommandState(ID_SHOW_LISTED).marked);
    QVERIFY(!m_host->frame->CommandState(ID_SHOW_USER).marked);
}

void TestTeskView::statusShowsActiveWindowCount()
{
    CTeskDoc* first = openScene();
    CTeskView* firstView = active();
    m_host->frame->OnCommand(ID_ADD_SPHERE);
    CTeskView* secondWindow = addView();
    // One object, two windows: the count is that of one tree.
    m_host->frame->OnCommand(ID_ADD_CUBE);
    QCOMPARE(m_host->frame->statusText, countText(2));
    QCOMPARE(secondWindow->model()->rowCount(), 2);

    openScene();
    CTeskView* otherScene = active();
    QCOMPARE(m_host->frame->statusText, countText(0));
    m_host->frame->ActivateFrame(firstView->GetParentFrame());
    QCOMPARE(m_host->frame->statusText, countText(2));
    m_host->frame->ActivateFrame(otherScene->GetParentFrame());
    QCOMPARE(m_host->frame->statusText, countText(0));

    // A filtered window counts what its tree shows.
    first->m_objects[0]->m_pShape->m_nColourMode = COLOUR_USER;
    m_host->frame->ActivateFrame(secondWindow->GetParentFrame());
    m_host->frame->OnCommand(ID_SHOW_USER);
    QCOMPARE(m_host->frame->statusText, countText(1));
    m_host->frame->ActivateFrame(firstView->GetParentFrame());
    QCOMPARE(m_host->frame->statusText, countText(2));
}

void TestTeskView::backgroundWindowDoesNotWriteStatus()
{
    CTeskDoc* background = openScene();
    openScene();
    const int writes = m_host->frame->statusWrites;
    background->AddObject(SHAPE_SPHERE);
    background->AddObject(SHAPE_STAR);
    QCOMPARE(m_host->frame->statusWrites, writes);
    QCOMPARE(m_host->frame->statusText, countText(0));
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
    bool deleteEnabled = false;
    bool editEnabled = false;
    onPopup(view, [&](QMenu* menu) {
        QCOMPARE(menu->actions().size(), 3);
        QCOMPARE(menu->actions()[0]->text(), QStringLiteral("Dodaj"));
        QCOMPARE(menu->actions()[1]->text(), QString::fromUtf16(u"Usuń"));
        QCOMPARE(menu->actions()[2]->text(), QStringLiteral("Edytuj"));
        deleteEnabled = actionFor(menu, ID_OBJECT_DELETE)->isEnabled();
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
    QVERIFY(deleteEnabled);
    QVERIFY(editEnabled);
    // The clicked object went, not the one selected before.
    QCOMPARE(objectLabels(view), QStringList({"Kuleczka"}));
}

void TestTeskView::rightClickOnEmptySpaceOffersOnlyAdd()
{
    CTeskDoc* doc = openScene();
    doc->AddObject(SHAPE_SPHERE);
    CTeskView* view = active();
    view->setCurrentIndex(objectItem(view, 0));
    const QPoint pos(view->viewport()->width() / 2, view->viewport()->height() - 5);
    QVERIFY(!view->indexAt(pos).isValid());
    QList<bool> enabled;
    onPopup(view, [&](QMenu* menu) {
        for (QAction* action : menu->actions())
            enabled << action->isEnabled();
    });
    QTest::mouseClick(m_host->frame->windowHandle(), Qt::RightButton, {},
                      view->viewport()->mapTo(m_host->frame.get(), pos));
    QCOMPARE(enabled, QList<bool>({true, false, false}));
    QVERIFY(!view->GetSelectedItem().isValid());
}

void TestTeskView::popupAddAddsSphere()
{
    CTeskDoc* doc = openScene();
    CTeskView* view = active();
    onPopup(view, [](QMenu* menu) { actionFor(menu, ID_OBJECT_ADD)->trigger(); });
    const QPoint pos(10, 10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, view->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(view->viewport(), &event);
    QCOMPARE(doc->m_objects.size(), 1u);
    QCOMPARE(treeLabels(view), QStringList({"Kuleczka", "x: 0", "y: 0", "z: 0", "type: Sphere", "colour: Red"}));
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
    bool editEnabled = false;
    onPopup(view, [&](QMenu* menu) {
        shownAt = menu->pos();
        editEnabled = actionFor(menu, ID_OBJECT_EDIT)->isEnabled();
    });
    // Through the window, as the platform delivers the key.
    QTest::keyClick(m_host->frame->windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(shownAt, view->viewport()->mapToGlobal(view->visualRect(item).bottomLeft()));
    QVERIFY(editEnabled);
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
