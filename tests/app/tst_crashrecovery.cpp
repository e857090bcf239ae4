// Kills editors with SIGKILL amid random changes and restarts them with
// recovery accepted: each recovered scene, saved, must be what a clean save
// at the kill point gives. The editor is tst_crashdriver, tesk's start-up
// with a driver of changes on top. Seeds run five at a time, each in a
// state and settings folder of its own.

#include "document/teskdoc.h"
#include "tests/randomedits.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <memory>
#include <random>

namespace {

constexpr unsigned kSeeds = 20;
constexpr unsigned kAtOnce = 5;

// The scene that `changes` random changes from `seed` make of `start`.
QByteArray sceneAfter(const QString& start, unsigned seed, int changes)
{
    CTeskDoc doc;
    fw::FileError error;
    if (!start.isEmpty() && !doc.OnOpenDocument(start, &error))
        return {};
    std::mt19937 rng(seed);
    for (int i = 0; i < changes; ++i)
        testutil::RandomEdit(doc, rng);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("expected.qbx"));
    if (!doc.OnSaveDocument(out, &error))
        return {};
    QFile file(out);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One seed: an editor killed after change `killAt` was reported, then the
// recovering run.
struct Run {
    explicit Run(unsigned s)
        : seed(s)
        , killAt(1 + static_cast<int>(std::mt19937(s)() % 300))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        editor.setProcessEnvironment(env);
        recovery.setProcessEnvironment(env);
        // Every other seed edits a saved file, the others a new scene.
        if (seed % 2 == 0) {
            base = dir.filePath(QStringLiteral("base.qbx"));
            CTeskDoc doc;
            std::mt19937 rng(seed * 7919u);
            for (int i = 0; i < 30; ++i)
                testutil::RandomEdit(doc, rng);
            fw::FileError error;
            if (!doc.OnSaveDocument(base, &error))
                base.clear();
        }
    }

    // Reads what the editor reported; kills it once change `killAt` was.
    void readEditor()
    {
        output += editor.readAllStandardOutput();
        if (!killed && output.contains("\n" + QByteArray::number(killAt) + "\n")) {
            ::kill(static_cast<pid_t>(editor.processId()), SIGKILL);
            killed = true;
        }
    }

    // The last change reported complete: the one after it may have been
    // completed too, without being reported.
    int reported() const
    {
        const QList<QByteArray> lines = output.trimmed().split('\n');
        return (output.endsWith('\n') ? lines.last() : lines.at(lines.size() - 2)).toInt();
    }

    unsigned seed;
    int killAt;
    QTemporaryDir dir;
    QString base;
    QProcess editor;
    QProcess recovery;
    // One number a line; the leading newline makes every number's line whole.
    QByteArray output = "\n";
    bool killed = false;
};

// Runs the event loop until every one of `processes` has ended, at most a
// minute; false when one is still running.
bool waitForAll(const std::vector<QProcess*>& processes)
{
    const auto allEnded = [&processes] {
        return std::all_of(processes.begin(), processes.end(), [](QProcess* p) { return p->state() == QProcess::NotRunning; });
    };
    QEventLoop loop;
    for (QProcess* process : processes) {
        QObject::connect(process, &QProcess::finished, &loop, [&] {
            if (allEnded())
                loop.quit();
        });
    }
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (!allEnded())
        loop.exec();
    return allEnded();
}

} // namespace

class TestCrashRecovery : public QObject {
    Q_OBJECT

private slots:
    void recoversTheSceneAtTheKillPoint()
    {
        for (unsigned first = 1; first <= kSeeds; first += kAtOnce) {
            std::vector<std::unique_ptr<Run>> runs;
            for (unsigned seed = first; seed < first + kAtOnce; ++seed)
                runs.push_back(std::make_unique<Run>(seed));
            for (const auto& run : runs) {
                QVERIFY(run->seed % 2 != 0 || !run->base.isEmpty());
                Run* r = run.get();
                connect(&r->editor, &QProcess::readyReadStandardOutput, this, [r] { r->readEditor(); });
                const QStringList files = r->base.isEmpty() ? QStringList() : QStringList{r->base};
                r->editor.start(QStringLiteral(CRASH_DRIVER), QStringList{QStringLiteral("edit"), QString::number(r->seed)} + files);
            }
            std::vector<QProcess*> editors;
            for (const auto& run : runs)
                editors.push_back(&run->editor);
            QVERIFY2(waitForAll(editors), "an editor did not reach its kill point");

            for (const auto& run : runs) {
                run->readEditor();
                QVERIFY2(run->killed && run->reported() >= run->killAt, qPrintable(QStringLiteral("seed %1").arg(run->seed)));
                const QString out = run->dir.filePath(QStringLiteral("recovered.qbx"));
                run->recovery.start(QStringLiteral(CRASH_DRIVER), QStringList{QStringLiteral("save"), out, QStringLiteral("--recover")});
            }
            std::vector<QProcess*> recoveries;
            for (const auto& run : runs)
                recoveries.push_back(&run->recovery);
            QVERIFY2(waitForAll(recoveries), "a recovery did not end");

            for (const auto& run : runs) {
                const QString seed = QStringLiteral("seed %1").arg(run->seed);
                QVERIFY2(run->recovery.exitStatus() == QProcess::NormalExit && run->recovery.exitCode() == 0,
                         qPrintable(seed + QLatin1Char(' ') + QString::fromLocal8Bit(run->recovery.readAllStandardError())));
                QCOMPARE(run->recovery.readAllStandardOutput().trimmed(), (QStringLiteral("recovered ") + run->base).toUtf8().trimmed());
                QFile saved(run->dir.filePath(QStringLiteral("recovered.qbx")));
                QVERIFY2(saved.open(QIODevice::ReadOnly), qPrintable(seed));
                const QByteArray bytes = saved.readAll();
                const QByteArray atReport = sceneAfter(run->base, run->seed, run->reported());
                QVERIFY2(!atReport.isEmpty(), qPrintable(seed));
                if (bytes != atReport)
                    QVERIFY2(bytes == sceneAfter(run->base, run->seed, run->reported() + 1), qPrintable(seed));
                // Saved: the journal is gone.
                QVERIFY2(QDir(run->dir.filePath(QStringLiteral("state/tesk/recovery"))).entryList(QDir::Files | QDir::Hidden).isEmpty(),
                         qPrintable(seed));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestCrashRecovery)
#include "tst_crashrecovery.moc"
