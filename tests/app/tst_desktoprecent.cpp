// The desktop's recent files: CDesktopRecent::Record on files as GTK writes
// them, damaged ones, and several writers at once.

#include "app/desktoprecent.h"
#include "tests/app/xbelsummary.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <memory>
#include <vector>

namespace {

const QDateTime kWhen(QDate(2026, 3, 4), QTime(5, 6, 7, 890), Qt::UTC);
constexpr char kNow[] = "2026-03-04T05:06:07.890Z";

// A file as GTK writes it: another application's file, in a group.
constexpr char kGtk[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0"
      xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"
>
  <bookmark href="file:///home/u/notes%20one.txt" added="2025-01-02T03:04:05.000006Z" modified="2025-01-02T03:04:05.000006Z" visited="2025-01-02T03:04:05.000006Z">
    <title>Notes &amp; more</title>
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="text/plain"/>
        <bookmark:groups>
          <bookmark:group>gedit</bookmark:group>
        </bookmark:groups>
        <bookmark:applications>
          <bookmark:application name="gedit" exec="&apos;gedit %u&apos;" modified="2025-01-02T03:04:05.000006Z" count="2"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
%1</xbel>
)";

// The scene's own bookmark from before, used by tesk and by a viewer.
constexpr char kSceneBefore[] = R"(  <bookmark href="SCENE" added="2025-06-07T08:09:10Z" modified="2025-06-07T08:09:10Z" visited="2025-06-07T08:09:10Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="application/octet-stream"/>
        <bookmark:applications>
          <bookmark:application name="viewer" exec="&apos;viewer %f&apos;" modified="2025-06-07T08:09:10Z" count="1"/>
          <bookmark:application name="tesk" exec="&apos;tesk %u&apos;" modified="2025-06-07T08:09:10Z" count="3"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
)";

const QString kNotes =
    QStringLiteral("file:///home/u/notes%20one.txt added=2025-01-02T03:04:05.000006Z modified=2025-01-02T03:04:05.000006Z "
                   "text/plain gedit gedit=2");

} // namespace

class TestDesktopRecent : public QObject {
    Q_OBJECT
private slots:
    void recordKeepsWhatOthersWrote_data();
    void recordKeepsWhatOthersWrote();
    void concurrentWritersLoseNothing();

private:
    QTemporaryDir m_dir;
};

void TestDesktopRecent::recordKeepsWhatOthersWrote_data()
{
    QTest::addColumn<QByteArray>("before"); // null: no file
    QTest::addColumn<bool>("recorded");
    QTest::addColumn<QStringList>("after"); // when recorded; SCENE is the scene's URI

    const QString fresh = QStringLiteral("SCENE added=%1 modified=%1 application/x-tesk-scene tesk=1").arg(kNow);
    const QByteArray gtk = QString::fromUtf8(kGtk).arg(QString()).toUtf8();
    QTest::newRow("no file") << QByteArray() << true << QStringList{fresh};
    QTest::newRow("empty file") << QByteArray("") << true << QStringList{fresh};
    QTest::newRow("another application's file") << gtk << true << QStringList{kNotes, fresh};
    QTest::newRow("the scene used before, by tesk and another")
        << QString::fromUtf8(kGtk).arg(QString::fromUtf8(kSceneBefore)).toUtf8() << true
        << QStringList{kNotes, QStringLiteral("SCENE added=2025-06-07T08:09:10Z modified=%1 application/x-tesk-scene "
                                              "viewer=1 tesk=4")
                                   .arg(kNow)};
    QTest::newRow("cut short") << gtk.left(gtk.size() / 2) << false << QStringList();
    QTest::newRow("not XBEL") << QByteArray("<html><body/></html>") << false << QStringList();
    QTest::newRow("junk after the end") << gtk + "<x/>" << false << QStringList();
}

void TestDesktopRecent::recordKeepsWhatOthersWrote()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, recorded);
    QFETCH(QStringList, after);
    const QString xbel = m_dir.filePath(QStringLiteral("data/recently-used.xbel"));
    const QString scene = m_dir.filePath(QStringLiteral("a scene #1.qbx"));
    const QString uri = QString::fromUtf8(QUrl::fromLocalFile(scene).toEncoded());
    QFile::remove(xbel);
    before.replace("SCENE", uri.toUtf8());
    if (!before.isNull()) {
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("data"))));
        QFile file(xbel);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(before), before.size());
    }

    QString error;
    QCOMPARE(CDesktopRecent::Record(xbel, scene, kWhen, &error), recorded);
    if (!recorded) {
        QVERIFY(!error.isEmpty());
        QFile file(xbel);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        return;
    }
    after.replaceInStrings(QStringLiteral("SCENE"), uri);
    QCOMPARE(xbelSummary(xbel), after);
    // Whatever tesk did not touch reads back as it was written.
    QFile file(xbel);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QCOMPARE(written.contains("<title>Notes &amp; more</title>"), before.contains("<title>"));
    QCOMPARE(written.contains(R"(exec="'viewer %f'")"), before.contains("viewer"));
}

// Writers in threads of their own, each recording scenes of its own into the
// same file at once: every scene and the other application's file are there
// at the end.
void TestDesktopRecent::concurrentWritersLoseNothing()
{
    const QString xbel = m_dir.filePath(QStringLiteral("shared/recently-used.xbel"));
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("shared"))));
    {
        QFile file(xbel);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QString::fromUtf8(kGtk).arg(QString()).toUtf8());
    }
    constexpr int kWriters = 4;
    constexpr int kScenes = 8;
    std::vector<std::unique_ptr<QThread>> writers;
    QStringList failures;
    QMutex failuresMutex;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back(QThread::create([&, w] {
            for (int s = 0; s < kScenes; ++s) {
                QString error;
                const QString scene = m_dir.filePath(QStringLiteral("w%1-s%2.qbx").arg(w).arg(s));
                if (!CDesktopRecent::Record(xbel, scene, kWhen, &error)) {
                    const QMutexLocker locker(&failuresMutex);
                    failures << error;
                }
            }
        }));
        writers.back()->start();
    }
    for (const std::unique_ptr<QThread>& writer : writers)
        QVERIFY(writer->wait());
    QCOMPARE(failures, QStringList());
    const QStringList lines = xbelSummary(xbel);
    QCOMPARE(lines.size(), 1 + kWriters * kScenes);
    QCOMPARE(lines.first(), kNotes);
    for (int w = 0; w < kWriters; ++w) {
        for (int s = 0; s < kScenes; ++s) {
            const QString uri = QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("w%1-s%2.qbx").arg(w).arg(s))).toString();
            QCOMPARE(lines.filter(uri + u' ').size(), 1);
        }
    }
}

QTEST_GUILESS_MAIN(TestDesktopRecent)
#include "tst_desktoprecent.moc"
