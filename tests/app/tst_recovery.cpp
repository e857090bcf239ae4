// The recovery offer at File > Open of a file that has an orphaned journal,
// answered in the real dialog.

#include "app/tesk.h"
#include "dialogs/recoverydialog.h"
#include "document/teskdoc.h"
#include "framework/core/archive.h"
#include "framework/core/stdids.h"
#include "framework/gui/multidoctemplate.h"
#include "journal/docjournal.h"
#include "journal/orphanjournal.h"
#include "tests/randomedits.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// The application with the Open dialog answering `next`.
class OpenApp : public CTeskApp {
public:
    QString next;

protected:
    QString DoPromptFileName(const QString&, bool) override { return next; }
};

QByteArray saved(CTeskDoc& doc)
{
    fw::Archive ar = fw::Archive::forStoring();
    doc.Serialize(ar);
    return QByteArray::fromStdString(ar.bytes());
}

// Clicks `caption` in the recovery dialog once it is up.
void answerRecovery(const QString& caption, int turns = 50)
{
    QTimer::singleShot(0, qApp, [caption, turns] {
        auto* dialog = qobject_cast<CRecoveryDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (turns > 0)
                answerRecovery(caption, turns - 1);
            return;
        }
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            if (button->text() == caption)
                button->click();
        }
    });
}

} // namespace

class TestRecovery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
    }

    void openOffersTheFilesJournal_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("recovered");
        QTest::addColumn<bool>("journalKept");
        QTest::newRow("Recover") << "&Recover" << true << false;
        QTest::newRow("Discard") << "&Discard" << false << false;
        QTest::newRow("Later") << "&Later" << false << true;
    }

    void openOffersTheFilesJournal()
    {
        QFETCH(QString, answer);
        QFETCH(bool, recovered);
        QFETCH(bool, journalKept);
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
        const QString path = m_dir.filePath(QStringLiteral("scene.qbx"));

        QByteArray onDisk;
        QByteArray edited;
        {
            CTeskDoc doc;
            std::mt19937 rng(5);
            for (int i = 0; i < 3; ++i)
                doc.AddObject(SHAPE_CUBE);
            QString error;
            QVERIFY(doc.OnSaveDocument(path, &error));
            onDisk = saved(doc);
            CDocJournal::Attach(doc, CTeskApp::RecoveryFolder());
            for (int i = 0; i < 12; ++i)
                testutil::RandomEdit(doc, rng);
            edited = saved(doc);
            CDocJournal::Of(doc)->Keep();
        }
        QCOMPARE(COrphanJournal::FindAll(CTeskApp::RecoveryFolder()).size(), std::size_t(1));

        OpenApp app;
        QVERIFY(app.InitInstance({QStringLiteral("tesk")}));
        app.next = path;
        answerRecovery(answer);
        app.OnFileOpen(fw::ID_FILE_OPEN);

        std::vector<CTeskDoc*> ofFile;
        for (fw::Document* doc : app.m_pDocTemplate->documents()) {
            if (doc->GetPathName() == path)
                ofFile.push_back(static_cast<CTeskDoc*>(doc));
        }
        QCOMPARE(ofFile.size(), std::size_t(1));
        QCOMPARE(ofFile[0]->IsModified(), recovered);
        QCOMPARE(saved(*ofFile[0]), recovered ? edited : onDisk);
        // A recovered scene's journal lives on, held by this editor.
        const bool journalOnDisk = !QDir(CTeskApp::RecoveryFolder()).entryList(QDir::Files).isEmpty();
        QCOMPARE(journalOnDisk, journalKept || recovered);
        QCOMPARE(COrphanJournal::FindAll(CTeskApp::RecoveryFolder()).size(), std::size_t(journalKept ? 1 : 0));
        app.CloseAllDocuments();
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
