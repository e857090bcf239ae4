#include "model/c3dobject.h"
#include "view/scenetreemodel.h"

#include <QTest>
#include <memory>
#include <vector>

// The row lookup of CSceneTreeModel across many removals in the middle,
// beyond the point where its row map re-syncs, mixed with appends.
class TestSceneTreeModel : public QObject {
    Q_OBJECT

private slots:
    void rowsStayFoundThroughRemovalsAndAppends();
};

void TestSceneTreeModel::rowsStayFoundThroughRemovalsAndAppends()
{
    std::vector<std::unique_ptr<C3dObject>> owned;
    const auto make = [&owned] {
        owned.push_back(std::make_unique<C3dObject>(std::make_unique<C3dShape>(0, 0, 0, SHAPE_SPHERE)));
        return owned.back().get();
    };
    std::vector<C3dObject*> shown;
    for (int i = 0; i < 3000; ++i)
        shown.push_back(make());
    CSceneTreeModel model;
    model.reset(shown);

    // A property item of the last object: its parent must follow every shift.
    const QPersistentModelIndex lastProperty = model.index(2, 0, model.index(2999, 0));
    unsigned seed = 12345;
    for (int step = 0; step < 2600; ++step) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t at = (seed >> 8) % (shown.size() - 1);
        QVERIFY(model.remove(shown[at]));
        QVERIFY(!model.remove(shown[at]));
        shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(at));
        if (step % 7 == 0) {
            shown.push_back(make());
            model.append(shown.back());
        }
        QCOMPARE(lastProperty.parent().row(), model.rowOf(owned[2999].get()));
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
