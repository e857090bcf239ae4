#include "model/c3dobject.h"
#include "view/scenetreemodel.h"

#include <QAbstractItemModelTester>
#include <QTest>
#include <algorithm>
#include <memory>
#include <vector>

// The row lookup of CSceneTreeModel, which reads the rows' positions in the
// scene's list: with every object shown and with a filter that leaves some
// out, across removals in the middle mixed with appends; and the model's
// answers to a view (children, parents, flags) agreeing with each other.
class TestSceneTreeModel : public QObject {
    Q_OBJECT

private slots:
    void rowsStayFoundThroughRemovalsAndAppends_data();
    void rowsStayFoundThroughRemovalsAndAppends();
    void answersAgree_data();
    void answersAgree();
};

void TestSceneTreeModel::answersAgree_data()
{
    QTest::addColumn<int>("objects");
    QTest::newRow("empty") << 0;
    QTest::newRow("one object") << 1;
    QTest::newRow("three objects") << 3;
}

void TestSceneTreeModel::answersAgree()
{
    QFETCH(int, objects);
    std::vector<std::unique_ptr<C3dObject>> owned;
    std::vector<C3dObject*> scene;
    for (int i = 0; i < objects; ++i) {
        owned.push_back(std::make_unique<C3dObject>(std::make_unique<C3dShape>(i, 0, 0, SHAPE_CUBE)));
        scene.push_back(owned.back().get());
    }
    CSceneTreeModel model([&scene](const C3dObject* object) {
        return std::find(scene.begin(), scene.end(), object) - scene.begin();
    });
    model.reset(scene);
    // Walks every item and fails the test where hasChildren, rowCount,
    // index, parent and flags disagree.
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.hasChildren(), objects > 0);
    if (objects > 0) {
        const QModelIndex object = model.index(objects - 1, 0);
        QVERIFY(model.hasChildren(object));
        QVERIFY(!model.hasChildren(model.index(0, 0, object)));
    }
}

void TestSceneTreeModel::rowsStayFoundThroughRemovalsAndAppends_data()
{
    QTest::addColumn<int>("shownEvery");
    QTest::newRow("every object") << 1;
    QTest::newRow("every other object") << 2;
    QTest::newRow("every third object") << 3;
}

void TestSceneTreeModel::rowsStayFoundThroughRemovalsAndAppends()
{
    QFETCH(int, shownEvery);
    std::vector<std::unique_ptr<C3dObject>> owned;
    std::vector<C3dObject*> scene;
    std::vector<C3dObject*> shown;
    const auto add = [&] {
        owned.push_back(std::make_unique<C3dObject>(std::make_unique<C3dShape>(0, 0, 0, SHAPE_SPHERE)));
        scene.push_back(owned.back().get());
        return owned.size() % static_cast<std::size_t>(shownEvery) == 0;
    };
    for (int i = 0; i < 3000; ++i) {
        if (add())
            shown.push_back(scene.back());
    }
    CSceneTreeModel model([&scene](const C3dObject* object) {
        const auto it = std::find(scene.begin(), scene.end(), object);
        return it == scene.end() ? std::ptrdiff_t(-1) : it - scene.begin();
    });
    model.reset(shown);
    QCOMPARE(model.rowOf(shownEvery > 1 ? scene.front() : nullptr), -1);

    // A property item of the last shown object: its parent must follow every shift.
    const C3dObject* last = shown.back();
    const QPersistentModelIndex lastProperty = model.index(2, 0, model.index(int(shown.size()) - 1, 0));
    unsigned seed = 12345;
    for (int step = 0; step < 500; ++step) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t at = (seed >> 8) % (shown.size() - 1);
        C3dObject* removed = shown[at];
        QVERIFY(model.remove(removed));
        QVERIFY(!model.remove(removed));
        shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(at));
        scene.erase(std::find(scene.begin(), scene.end(), removed));
        if (step % 7 == 0 && add()) {
            shown.push_back(scene.back());
            model.append(shown.back());
        }
        QCOMPARE(lastProperty.parent().row(), model.rowOf(last));
        const std::size_t probe = std::min(at, shown.size() - 1);
        QCOMPARE(model.rowOf(shown[probe]), int(probe));
    }
    QCOMPARE(model.objectCount(), shown.size());
    for (std::size_t row = 0; row < shown.size(); ++row) {
        QCOMPARE(model.rowOf(shown[row]), int(row));
        QCOMPARE(model.objectOf(model.index(int(row), 0)), shown[row]);
        QCOMPARE(model.objectOf(model.index(4, 0, model.index(int(row), 0))), shown[row]);
    }
}

QTEST_GUILESS_MAIN(TestSceneTreeModel)
#include "tst_scenetreemodel.moc"
