// The program that the crash test kills: tesk's own start-up (a
// QApplication and CTeskApp::InitInstance with the command line, as in
// app/main.cpp), then one of two jobs on the scene it opened.
//
//   tst_crashdriver edit SEED [tesk arguments]
//       makes random changes (testutil::RandomEdit, engine seeded with
//       SEED) through the scene, one per event-loop turn, and writes the
//       number of each completed change (its record handed to the journal's
//       file, which the first changes wait for) to stdout, one per line,
//       until killed; it stops changing after 1000.
//   tst_crashdriver save OUT [tesk arguments]
//       saves the one modified scene to OUT through File > Save As's code
//       path, writes "recovered PATH" (the scene's file) and ends; exit
//       status 1 when there is not exactly one modified scene.
#include "app/commandline.h"
#include "app/scenefiles.h"
#include "app/tesk.h"
#include "document/teskdoc.h"
#include "framework/gui/multidoctemplate.h"
#include "journal/docjournal.h"
#include "journal/scenejournal.h"
#include "tests/randomedits.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

void report(const std::string& line)
{
    const std::string text = line + "\n";
    // Unbuffered: what the test reads is exactly what was completed.
    if (::write(STDOUT_FILENO, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        std::_Exit(3);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3)
        return 2;
    const std::string job = argv[1];
    const std::string value = argv[2];
    QApplication application(argc, argv);
    QStringList arguments{QCoreApplication::arguments().constFirst()};
    arguments += QCoreApplication::arguments().mid(3);
    CTeskApp teskApp;
    if (!teskApp.InitInstance(parseCommandLine(arguments)))
        return 1;

    std::vector<CTeskDoc*> modified;
    for (fw::Document* doc : teskApp.m_pDocTemplate->documents()) {
        if (doc->IsModified())
            modified.push_back(static_cast<CTeskDoc*>(doc));
    }
    if (job == "save") {
        if (modified.size() != 1)
            return 1;
        report("recovered " + modified.front()->GetPathName().toStdString());
        return teskApp.GetSceneFiles().SaveAs(modified.front(), QString::fromStdString(value)) ? 0 : 1;
    }

    auto* doc = static_cast<CTeskDoc*>(teskApp.m_pDocTemplate->documents().front());
    std::mt19937 rng(static_cast<unsigned>(std::stoul(value)));
    int done = 0;
    int reported = 0;
    QTimer editor;
    QObject::connect(&editor, &QTimer::timeout, [&] {
        if (done == 1000)
            return editor.stop();
        testutil::RandomEdit(*doc, rng);
        ++done;
        const CSceneJournal* journal = CDocJournal::Of(*doc)->journal();
        if (journal && journal->creating())
            return;
        while (reported < done)
            report(std::to_string(++reported));
    });
    editor.start(0);
    return application.exec();
}
