// CTeskApp's side of the recovery journals: offering what they can give
// back at start-up and when a file is opened.
#include "app/tesk.h"

#include "app/mainfrm.h"
#include "dialogs/recoverydialog.h"
#include "document/orphanjournal.h"
#include "document/teskdoc.h"
#include "framework/gui/messagebox.h"
#include "framework/gui/multidoctemplate.h"

#include <QGuiApplication>
#include <cstdio>

void CTeskApp::OfferRecovery(const QString& file)
{
    std::vector<std::unique_ptr<COrphanJournal>> orphans = COrphanJournal::FindAll(RecoveryFolder());
    if (!file.isEmpty()) {
        std::erase_if(orphans, [&file](const std::unique_ptr<COrphanJournal>& orphan) {
            return !orphan->BuildsOn(file);
        });
    }
    if (orphans.empty())
        return;

    CRecoveryDialog::Choice choice = CRecoveryDialog::Recover;
    if (!m_recoverAll) {
        // At a start where nobody can answer, the journals wait for a start
        // that can ask; a File > Open was asked for by someone.
        const QString platform = QGuiApplication::platformName();
        if (file.isEmpty() && (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")))
            return;
        std::vector<CRecoveryDialog::Entry> entries;
        for (const auto& orphan : orphans)
            entries.push_back({orphan->sceneName(), orphan->lastChange(), orphan->changeCount()});
        CRecoveryDialog dialog(entries, m_pMainFrame.get());
        dialog.exec();
        choice = dialog.choice();
    }
    if (choice == CRecoveryDialog::Later)
        return;

    QStringList notes;
    for (const auto& orphan : orphans) {
        if (choice == CRecoveryDialog::Discard) {
            orphan->Discard();
            continue;
        }
        RecoveredScene scene = orphan->Recover();
        if (const QString note = DescribeRecovery(scene, orphan->sceneName()); !note.isEmpty())
            notes << note;
        if (!scene.recovered)
            continue;
        auto* doc = dynamic_cast<CTeskDoc*>(m_pDocTemplate->OpenDocumentFile(QString(), nullptr));
        if (doc)
            orphan->ContinueIn(*doc, scene);
    }
    if (notes.isEmpty())
        return;
    const QString text = notes.join(QStringLiteral("\n\n"));
    if (m_recoverAll)
        std::fprintf(stderr, "tesk: %s\n", qUtf8Printable(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    else
        fw::MessageBox::Warn(m_pMainFrame.get(), QStringLiteral("Recover Unsaved Changes"), text);
}
