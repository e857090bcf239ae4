#include "dialogs/choosecolor.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

// The encoding of m_nColour in user-defined mode: red bits 0-7, green 8-15, blue 16-23.
constexpr int Rgb(int red, int green, int blue)
{
    return red | (green << 8) | (blue << 16);
}

constexpr int kOrange = Rgb(255, 128, 0);

template <typename T>
T* Control(CChooseColor& dlg, const char* name)
{
    return dlg.findChild<T*>(QLatin1String(name));
}

// Runs the dialog with DoModal; `interact` runs inside the modal loop once
// the dialog is shown and is expected to close it. A dialog left open is
// closed here and reported, so that a failed step cannot stall the test.
int RunModal(CChooseColor& dlg, const std::function<void()>& interact)
{
    QTimer::singleShot(0, &dlg, [&dlg, interact] {
        // Keyboard navigation needs the dialog to be the active window.
        if (!QTest::qWaitForWindowActive(&dlg)) {
            dlg.reject();
            QFAIL("the dialog did not become the active window");
        }
        interact();
        if (dlg.isVisible()) {
            dlg.reject();
            QFAIL("the dialog was still open after the last step");
        }
    });
    return dlg.DoModal();
}

// Runs the colour picker through the "Choose colour" button. Inside the
// picker's modal loop, records the colour it starts with into `startColours`
// and closes it: "pick #rrggbb" accepts that colour, "pickcancel" cancels.
void UsePicker(CChooseColor& dlg, const QString& step, QStringList* startColours)
{
    auto seen = std::make_shared<bool>(false);
    QTimer::singleShot(0, &dlg, [seen, step, startColours] {
        auto* picker = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        QVERIFY2(picker, "no colour picker is open");
        *seen = true;
        if (startColours)
            startColours->append(picker->currentColor().name());
        if (step == QLatin1String("pickcancel")) {
            picker->reject();
        } else {
            picker->setCurrentColor(QColor(step.section(QLatin1Char(' '), 1)));
            picker->accept();
        }
    });
    QTest::mouseClick(Control<QPushButton>(dlg, "IDC_CHOOSE_COLOUR"), Qt::LeftButton);
    QVERIFY2(*seen, "\"Choose colour\" did not open the picker");
}

// Performs the user's steps: "list" and "user" click a radio button, "down"
// and "up" press that key in the combo box, "tab", "arrowdown" and "space" press
// that key in the focused control, "pick ..." and "pickcancel" run the
// colour picker (see UsePicker).
void Perform(CChooseColor& dlg, const QStringList& steps, QStringList* startColours = nullptr)
{
    for (const QString& step : steps) {
        if (step == QLatin1String("list"))
            QTest::mouseClick(Control<QRadioButton>(dlg, "IDC_RADIO_LIST"), Qt::LeftButton);
        else if (step == QLatin1String("user"))
            QTest::mouseClick(Control<QRadioButton>(dlg, "IDC_RADIO_USER"), Qt::LeftButton);
        else if (step == QLatin1String("down"))
            QTest::keyClick(Control<QComboBox>(dlg, "IDC_COLOUR_COMBO"), Qt::Key_Down);
        else if (step == QLatin1String("up"))
            QTest::keyClick(Control<QComboBox>(dlg, "IDC_COLOUR_COMBO"), Qt::Key_Up);
        else if (step == QLatin1String("tab"))
            QTest::keyClick(dlg.focusWidget(), Qt::Key_Tab);
        else if (step == QLatin1String("arrowdown"))
            QTest::keyClick(dlg.focusWidget(), Qt::Key_Down);
        else if (step == QLatin1String("space"))
            QTest::keyClick(dlg.focusWidget(), Qt::Key_Space);
        else if (step.startsWith(QLatin1String("pick")))
            UsePicker(dlg, step, startColours);
        else
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }
}

// Closes the dialog the way the user would: "ok" and "cancel" click the
// buttons, "enter" and "escape" press the key in the focused control,
// "closebox" closes the window.
void Close(CChooseColor& dlg, const QString& how)
{
    if (how == QLatin1String("ok"))
        QTest::mouseClick(Control<QPushButton>(dlg, "IDOK"), Qt::LeftButton);
    else if (how == QLatin1String("cancel"))
        QTest::mouseClick(Control<QPushButton>(dlg, "IDCANCEL"), Qt::LeftButton);
    else if (how == QLatin1String("enter"))
        QTest::keyClick(dlg.focusWidget(), Qt::Key_Return);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(dlg.focusWidget(), Qt::Key_Escape);
    else if (how == QLatin1String("closebox"))
        dlg.close();
}

} // namespace

class TestChooseColor : public QObject {
    Q_OBJECT

private slots:
    void outcome_data();
    void outcome();
    void controlState_data();
    void controlState();
    void secondRunLoadsNewValues();
    void pickerStartColour_data();
    void pickerStartColour();
    void texts();
    void focusAndTabOrder();
    void layoutFitsAndFollowsFont();
};

void TestChooseColor::outcome_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("colour");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("close");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("expectedMode");
    QTest::addColumn<int>("expectedColour");

    const int ok = QDialog::Accepted;
    const int cancel = QDialog::Rejected;
    const int picked = Rgb(0x10, 0x20, 0x30);

    // OK with a listed colour: the selection is the colour, -1 for none.
    QTest::newRow("list item, OK") << 0 << 1 << QStringList{} << "ok" << ok << 0 << 1;
    QTest::newRow("list item changed by keyboard, OK")
        << 0 << 0 << QStringList{"down", "down"} << "ok" << ok << 0 << 2;
    QTest::newRow("list item changed by keyboard, Enter")
        << 0 << 2 << QStringList{"up"} << "enter" << ok << 0 << 1;
    QTest::newRow("list index out of range, OK") << 0 << 7 << QStringList{} << "ok" << ok << 0 << -1;
    QTest::newRow("list index -1, OK") << 0 << -1 << QStringList{} << "ok" << ok << 0 << -1;
    QTest::newRow("user switched to list without choosing, OK")
        << 1 << kOrange << QStringList{"list"} << "ok" << ok << 0 << -1;
    QTest::newRow("user switched to list and chose, Enter")
        << 1 << kOrange << QStringList{"list", "down"} << "enter" << ok << 0 << 0;
    QTest::newRow("Tab to the combo box, Down arrow, Enter")
        << 0 << 0 << QStringList{"tab", "tab", "tab", "arrowdown"} << "enter" << ok << 0 << 1;
    QTest::newRow("user, Tab to the list radio, Space, Enter")
        << 1 << kOrange << QStringList{"tab", "tab", "space"} << "enter" << ok << 0 << -1;
    QTest::newRow("keys on the disabled list, then list, OK")
        << 1 << kOrange << QStringList{"down", "list"} << "ok" << ok << 0 << -1;

    // OK with a user-defined colour: the last accepted pick, else the value it came in with.
    QTest::newRow("user unchanged, OK") << 1 << kOrange << QStringList{} << "ok" << ok << 1 << kOrange;
    QTest::newRow("list switched to user, OK") << 0 << 2 << QStringList{"user"} << "ok" << ok << 1 << 2;
    QTest::newRow("list, Down arrow in the radio group, Enter")
        << 0 << 1 << QStringList{"tab", "tab", "arrowdown"} << "enter" << ok << 1 << 1;
    QTest::newRow("list changed, switched to user, OK")
        << 0 << 0 << QStringList{"down", "user"} << "ok" << ok << 1 << 0;
    QTest::newRow("user picked, OK")
        << 1 << kOrange << QStringList{"pick #102030"} << "ok" << ok << 1 << picked;
    QTest::newRow("user picked twice, OK")
        << 1 << kOrange << QStringList{"pick #a0b0c0", "pick #102030"} << "ok" << ok << 1 << picked;
    QTest::newRow("picker cancelled, OK")
        << 1 << kOrange << QStringList{"pickcancel"} << "ok" << ok << 1 << kOrange;
    QTest::newRow("picked, then picker cancelled, OK")
        << 1 << kOrange << QStringList{"pick #102030", "pickcancel"} << "ok" << ok << 1 << picked;
    QTest::newRow("list to user, picked, back to list, OK")
        << 0 << 2 << QStringList{"user", "pick #102030", "list"} << "ok" << ok << 0 << 2;

    // Any way of cancelling leaves both values as they came in.
    QTest::newRow("user picked, Cancel")
        << 1 << kOrange << QStringList{"pick #102030"} << "cancel" << cancel << 1 << kOrange;
    QTest::newRow("user picked, Escape")
        << 1 << kOrange << QStringList{"pick #102030"} << "escape" << cancel << 1 << kOrange;
    QTest::newRow("user picked, close box")
        << 1 << kOrange << QStringList{"pick #102030"} << "closebox" << cancel << 1 << kOrange;
    QTest::newRow("list to user, picked, back to list, Cancel")
        << 0 << 2 << QStringList{"user", "pick #102030", "list"} << "cancel" << cancel << 0 << 2;
    QTest::newRow("list changed by keyboard, Escape")
        << 0 << 1 << QStringList{"down"} << "escape" << cancel << 0 << 1;
    QTest::newRow("list switched to user, close box")
        << 0 << 1 << QStringList{"user"} << "closebox" << cancel << 0 << 1;

    // A mode that names neither radio button.
    QTest::newRow("mode 5, OK") << 5 << kOrange << QStringList{} << "ok" << ok << -1 << kOrange;
    QTest::newRow("mode 5, picked, OK")
        << 5 << kOrange << QStringList{"pick #102030"} << "ok" << ok << -1 << picked;
    QTest::newRow("mode 5, list clicked, OK") << 5 << 1 << QStringList{"list"} << "ok" << ok << 0 << -1;
    QTest::newRow("mode 5, user clicked, Cancel")
        << 5 << 1 << QStringList{"user"} << "cancel" << cancel << 5 << 1;
}

void TestChooseColor::outcome()
{
    QFETCH(int, mode);
    QFETCH(int, colour);
    QFETCH(QStringList, steps);
    QFETCH(QString, close);
    QFETCH(int, result);
    QFETCH(int, expectedMode);
    QFETCH(int, expectedColour);

    CChooseColor dlg;
    dlg.m_nColourMode = mode;
    dlg.m_nColour = colour;
    const int actual = RunModal(dlg, [&] {
        Perform(dlg, steps);
        Close(dlg, close);
    });

    QCOMPARE(actual, result);
    QCOMPARE(dlg.m_nColourMode, expectedMode);
    QCOMPARE(dlg.m_nColour, expectedColour);
}

void TestChooseColor::controlState_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("colour");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("listChecked");
    QTest::addColumn<bool>("userChecked");
    QTest::addColumn<int>("selection");
    QTest::addColumn<bool>("comboEnabled");
    QTest::addColumn<bool>("chooseEnabled");

    QTest::newRow("list, green") << 0 << 1 << QStringList{} << true << false << 1 << true << false;
    QTest::newRow("list, index 7") << 0 << 7 << QStringList{} << true << false << -1 << true << false;
    QTest::newRow("list, index -1") << 0 << -1 << QStringList{} << true << false << -1 << true << false;
    QTest::newRow("user, orange") << 1 << kOrange << QStringList{} << false << true << -1 << false << true;
    QTest::newRow("user, value 1 selects nothing")
        << 1 << 1 << QStringList{} << false << true << -1 << false << true;
    QTest::newRow("mode 5") << 5 << 1 << QStringList{} << false << false << -1 << false << true;
    QTest::newRow("mode -1") << -1 << 0 << QStringList{} << false << false << -1 << false << true;
    QTest::newRow("list, user clicked")
        << 0 << 1 << QStringList{"user"} << false << true << 1 << false << true;
    QTest::newRow("user, list clicked")
        << 1 << kOrange << QStringList{"list"} << true << false << -1 << true << false;
    QTest::newRow("list, user and list clicked")
        << 0 << 2 << QStringList{"user", "list"} << true << false << 2 << true << false;
    QTest::newRow("mode 5, list clicked") << 5 << 1 << QStringList{"list"} << true << false << -1 << true << false;
    QTest::newRow("user, picked") << 1 << kOrange << QStringList{"pick #102030"} << false << true << -1
                                  << false << true;
}

void TestChooseColor::controlState()
{
    QFETCH(int, mode);
    QFETCH(int, colour);
    QFETCH(QStringList, steps);
    QFETCH(bool, listChecked);
    QFETCH(bool, userChecked);
    QFETCH(int, selection);
    QFETCH(bool, comboEnabled);
    QFETCH(bool, chooseEnabled);

    CChooseColor dlg;
    dlg.m_nColourMode = mode;
    dlg.m_nColour = colour;
    RunModal(dlg, [&] {
        Perform(dlg, steps);
        QCOMPARE(Control<QRadioButton>(dlg, "IDC_RADIO_LIST")->isChecked(), listChecked);
        QCOMPARE(Control<QRadioButton>(dlg, "IDC_RADIO_USER")->isChecked(), userChecked);
        auto* combo = Control<QComboBox>(dlg, "IDC_COLOUR_COMBO");
        QCOMPARE(combo->currentIndex(), selection);
        QCOMPARE(combo->isEnabled(), comboEnabled);
        QCOMPARE(Control<QPushButton>(dlg, "IDC_CHOOSE_COLOUR")->isEnabled(), chooseEnabled);
        QTest::keyClick(dlg.focusWidget(), Qt::Key_Escape);
    });
}

void TestChooseColor::secondRunLoadsNewValues()
{
    CChooseColor dlg;
    dlg.m_nColourMode = 0;
    dlg.m_nColour = 1;
    RunModal(dlg, [&] { Close(dlg, QStringLiteral("ok")); });

    // The second run shows the new values, not what the first one left checked and selected.
    dlg.m_nColourMode = 5;
    dlg.m_nColour = kOrange;
    RunModal(dlg, [&] {
        QVERIFY(!Control<QRadioButton>(dlg, "IDC_RADIO_LIST")->isChecked());
        QVERIFY(!Control<QRadioButton>(dlg, "IDC_RADIO_USER")->isChecked());
        QCOMPARE(Control<QComboBox>(dlg, "IDC_COLOUR_COMBO")->currentIndex(), -1);
        QVERIFY(Control<QPushButton>(dlg, "IDC_CHOOSE_COLOUR")->isEnabled());
        Close(dlg, QStringLiteral("ok"));
    });
    QCOMPARE(dlg.m_nColourMode, -1);
    QCOMPARE(dlg.m_nColour, kOrange);
}

void TestChooseColor::pickerStartColour_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("colour");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("startColours");

    QTest::newRow("user colour") << 1 << kOrange << QStringList{"pickcancel"} << QStringList{"#ff8000"};
    QTest::newRow("after a pick, the picked colour")
        << 1 << kOrange << QStringList{"pick #102030", "pickcancel"} << QStringList{"#ff8000", "#102030"};
    QTest::newRow("after a cancelled pick, the held colour")
        << 1 << kOrange << QStringList{"pickcancel", "pickcancel"} << QStringList{"#ff8000", "#ff8000"};
    QTest::newRow("stale list index starts black")
        << 0 << 2 << QStringList{"user", "pick #102030", "pickcancel"} << QStringList{"#000000", "#102030"};
    QTest::newRow("unknown mode starts black") << 5 << kOrange << QStringList{"pickcancel"} << QStringList{"#000000"};
    QTest::newRow("negative value starts black") << 1 << -1 << QStringList{"pickcancel"} << QStringList{"#000000"};
    QTest::newRow("value above 24 bits starts black")
        << 1 << 0x1000000 << QStringList{"pickcancel"} << QStringList{"#000000"};
}

void TestChooseColor::pickerStartColour()
{
    QFETCH(int, mode);
    QFETCH(int, colour);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, startColours);

    CChooseColor dlg;
    dlg.m_nColourMode = mode;
    dlg.m_nColour = colour;
    QStringList seen;
    RunModal(dlg, [&] {
        Perform(dlg, steps, &seen);
        Close(dlg, QStringLiteral("cancel"));
    });
    QCOMPARE(seen, startColours);
}

void TestChooseColor::texts()
{
    CChooseColor dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(Control<QPushButton>(dlg, "IDOK")->text(), QStringLiteral("OK"));
    QCOMPARE(Control<QPushButton>(dlg, "IDCANCEL")->text(), QStringLiteral("Cancel"));
    QCOMPARE(Control<QRadioButton>(dlg, "IDC_RADIO_LIST")->text(), QStringLiteral("Colour from the list"));
    QCOMPARE(Control<QRadioButton>(dlg, "IDC_RADIO_USER")->text(), QStringLiteral("User-defined colour"));
    QCOMPARE(Control<QPushButton>(dlg, "IDC_CHOOSE_COLOUR")->text(), QStringLiteral("Choose colour"));

    // The entries keep their insertion order, which gives the listed colour indices.
    auto* combo = Control<QComboBox>(dlg, "IDC_COLOUR_COMBO");
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    QCOMPARE(entries, (QStringList{"Czerwony", "Zielony", "Niebieski"}));
}

void TestChooseColor::focusAndTabOrder()
{
    CChooseColor dlg;
    dlg.m_nColourMode = 0;
    dlg.m_nColour = 0;
    const QList<QWidget*> expected{
        Control<QPushButton>(dlg, "IDOK"),          Control<QPushButton>(dlg, "IDCANCEL"),
        Control<QRadioButton>(dlg, "IDC_RADIO_LIST"), Control<QRadioButton>(dlg, "IDC_RADIO_USER"),
        Control<QComboBox>(dlg, "IDC_COLOUR_COMBO"),  Control<QPushButton>(dlg, "IDC_CHOOSE_COLOUR"),
    };
    RunModal(dlg, [&] {
        QCOMPARE(dlg.focusWidget(), expected.first());
        // The focus chain is a ring through the dialog and all its children.
        QList<QWidget*> chain;
        QWidget* w = &dlg;
        do {
            if (expected.contains(w))
                chain << w;
            w = w->nextInFocusChain();
        } while (w != &dlg);
        QCOMPARE(chain, expected);
        // Enter on the focused OK button accepts the dialog.
        QTest::keyClick(dlg.focusWidget(), Qt::Key_Return);
    });
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void TestChooseColor::layoutFitsAndFollowsFont()
{
    CChooseColor dlg;
    const auto check = [&dlg] {
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        const QRect area = dlg.rect();
        const QList<QWidget*> controls = dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        QCOMPARE(controls.size(), 6);
        for (QWidget* control : controls) {
            const QRect r = control->geometry();
            QVERIFY2(area.contains(r), qPrintable(control->objectName()));
            QVERIFY2(r.width() >= control->sizeHint().width(), qPrintable(control->objectName()));
            QVERIFY2(r.height() >= control->sizeHint().height(), qPrintable(control->objectName()));
            for (QWidget* other : controls)
                QVERIFY2(other == control || !r.intersects(other->geometry()), qPrintable(control->objectName()));
        }
    };
    check();
    const QSize before = dlg.size();

    QFont large = dlg.font();
    large.setPointSizeF(large.pointSizeF() * 2);
    dlg.setFont(large);
    check();
    QVERIFY(dlg.width() > before.width() * 3 / 2);
    QVERIFY(dlg.height() > before.height() * 3 / 2);
}

QTEST_MAIN(TestChooseColor)
#include "tst_choosecolor.moc"
