#include "dialogs/recoverydialog.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

class TestRecoveryDialog : public QObject {
    Q_OBJECT

private slots:
    void eachButtonGivesItsChoice_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("result");
        QTest::newRow("Recover") << "&Recover" << int(CRecoveryDialog::Recover) << int(QDialog::Accepted);
        QTest::newRow("Discard") << "&Discard" << int(CRecoveryDialog::Discard) << int(QDialog::Accepted);
        QTest::newRow("Later") << "&Later" << int(CRecoveryDialog::Later) << int(QDialog::Rejected);
        QTest::newRow("Escape is Later") << QString() << int(CRecoveryDialog::Later) << int(QDialog::Rejected);
    }

    void eachButtonGivesItsChoice()
    {
        QFETCH(QString, button);
        QFETCH(int, choice);
        QFETCH(int, result);
        const QDateTime when(QDate(2026, 12, 8), QTime(3, 4));
        CRecoveryDialog dialog({{QStringLiteral("scene.qbx"), when, 12}, {QStringLiteral("Untitled"), when, 1}});
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("recoveryList"));
        QVERIFY(list);
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("scene.qbx"));
        QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("12"));
        QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("Untitled"));

        QTimer::singleShot(0, &dialog, [&] {
            if (!QTest::qWaitForWindowActive(&dialog)) {
                dialog.reject();
                QFAIL("the dialog did not become the active window");
            }
            if (button.isEmpty()) {
                QTest::keyClick(&dialog, Qt::Key_Escape);
                return;
            }
            for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
                if (b->text() == button)
                    QTest::mouseClick(b, Qt::LeftButton);
            }
        });
        QCOMPARE(dialog.exec(), result);
        QCOMPARE(int(dialog.choice()), choice);
    }
};

QTEST_MAIN(TestRecoveryDialog)
#include "tst_recoverydialog.moc"
