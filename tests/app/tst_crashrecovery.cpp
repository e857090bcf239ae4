// Kills an editor with SIGKILL amid random changes and restarts it with
// recovery accepted: the recovered scene, saved, must be what a clean save
// at the kill point gives. The editor is tst_crashdriver, tesk's start-up
// with a driver of changes on top.

#include "document/teskdoc.h"
#include "tests/randomedits.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <random>

namespace {

// The scene that `changes` random changes from `seed` make of `start`.
QByteArray sceneAfter(const QString& start, unsigned seed, int changes)
{
    CTeskDoc doc;
    QString error;
    if (!start.isEmpty() && !doc.OnOpenDocument(start, &error))
        return {};
    std::mt19937 rng(seed);
    for (int i = 0; i < changes; ++i)
        testutil::RandomEdit(doc, rng);
    const QString out = QDir::temp().filePath(QStringLiteral("tesk-crash-expected-%1.qbx").arg(::getpid()));
    if (!doc.OnSaveDocument(out, &error))
        return {};
    QFile file(out);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.remove();
    return bytes;
}

} // namespace

class TestCrashRecovery : public QObject {
    Q_OBJECT

private slots:
    void recoversTheSceneAtTheKillPoint_data()
    {
        QTest::addColumn<unsigned>("seed");
        for (unsigned seed = 1; seed <= 20; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }

    void recoversTheSceneAtTheKillPoint()
    {
        QFETCH(unsigned, seed);
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));

        // Every other seed edits a saved file, the others a new scene.
        QString base;
        if (seed % 2 == 0) {
            base = dir.filePath(QStringLiteral("base.qbx"));
            CTeskDoc doc;
            std::mt19937 rng(seed * 7919u);
            for (int i = 0; i < 30; ++i)
                testutil::RandomEdit(doc, rng);
            QString error;
            QVERIFY(doc.OnSaveDocument(base, &error));
        }
        const QStringList files = base.isEmpty() ? QStringList() : QStringList{base};

        QProcess editor;
        editor.setProcessEnvironment(env);
        editor.start(QStringLiteral(CRASH_DRIVER), QStringList{QStringLiteral("edit"), QString::number(seed)} + files);
        QVERIFY(editor.waitForStarted());
        const int killAt = 1 + static_cast<int>(std::mt19937(seed)() % 300);
        // One number a line; the leading newline makes every number's line whole.
        QByteArray output = "\n";
        while (!output.contains("\n" + QByteArray::number(killAt) + "\n")) {
            QVERIFY2(editor.waitForReadyRead(30000), "the editor stopped reporting changes");
            output += editor.readAllStandardOutput();
        }
        ::kill(static_cast<pid_t>(editor.processId()), SIGKILL);
        QVERIFY(editor.waitForFinished());
        output += editor.readAllStandardOutput();
        // The last change reported was completed; the one after it may have
        // been, too, without being reported.
        const QList<QByteArray> lines = output.trimmed().split('\n');
        const int reported = (output.endsWith('\n') ? lines.last() : lines.at(lines.size() - 2)).toInt();
        QVERIFY(reported >= killAt);

        QProcess recovery;
        recovery.setProcessEnvironment(env);
        const QString out = dir.filePath(QStringLiteral("recovered.qbx"));
        recovery.start(QStringLiteral(CRASH_DRIVER), QStringList{QStringLiteral("save"), out, QStringLiteral("--recover")});
        QVERIFY(recovery.waitForFinished(60000));
        QCOMPARE(recovery.exitCode(), 0);
        QCOMPARE(recovery.readAllStandardOutput().trimmed(), (QStringLiteral("recovered ") + base).toUtf8().trimmed());

        QFile saved(out);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray bytes = saved.readAll();
        const QByteArray atReport = sceneAfter(base, seed, reported);
        QVERIFY(!atReport.isEmpty());
        if (bytes != atReport)
            QCOMPARE(bytes, sceneAfter(base, seed, reported + 1));
        // Saved: the journal is gone.
        QVERIFY(QDir(dir.filePath(QStringLiteral("state/tesk/recovery"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCrashRecovery)
#include "tst_crashrecovery.moc"
