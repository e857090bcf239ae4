// The lock-key panes of the status bar against a real X server (run under
// xvfb-run): the keyboard extension's lock state is set directly, then a
// lock key event makes the main frame look again.

#include "app/mainfrm.h"

#include <QApplication>
#include <QGuiApplication>
#include <QtTest>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

class TestLockKeys : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void panesFollowTheLockKeys_data();
    void panesFollowTheLockKeys();

private:
    Display* m_display = nullptr;
};

void TestLockKeys::initTestCase()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    QVERIFY2(x11 && x11->display(), "this test needs an X server (ctest runs it under xvfb-run)");
    m_display = x11->display();
}

void TestLockKeys::panesFollowTheLockKeys_data()
{
    QTest::addColumn<bool>("caps");
    QTest::addColumn<bool>("num");
    QTest::addColumn<int>("key");

    QTest::newRow("caps on") << true << false << int(Qt::Key_CapsLock);
    QTest::newRow("num on as well") << true << true << int(Qt::Key_NumLock);
    QTest::newRow("caps off") << false << true << int(Qt::Key_CapsLock);
    QTest::newRow("both off") << false << false << int(Qt::Key_NumLock);
}

void TestLockKeys::panesFollowTheLockKeys()
{
    QFETCH(bool, caps);
    QFETCH(bool, num);
    QFETCH(int, key);

    CMainFrame frame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));

    const unsigned capsMask = LockMask;
    const unsigned numMask = XkbKeysymToModifiers(m_display, XK_Num_Lock);
    QVERIFY(numMask != 0);
    XkbLockModifiers(m_display, XkbUseCoreKbd, capsMask | numMask, (caps ? capsMask : 0) | (num ? numMask : 0));
    XSync(m_display, False);

    QTest::keyClick(frame.windowHandle(), Qt::Key(key));
    QCOMPARE(frame.GetPaneText(2), caps ? QStringLiteral("CAP") : QString());
    QCOMPARE(frame.GetPaneText(3), num ? QStringLiteral("NUM") : QString());
    QCOMPARE(frame.GetPaneText(4), QString());
}

QTEST_MAIN(TestLockKeys)
#include "tst_lockkeys.moc"
