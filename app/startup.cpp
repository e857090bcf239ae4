#include "app/startup.h"

#include "app/commandline.h"
#include "app/display.h"
#include "app/instancechannel.h"
#include "app/scenefiles.h"
#include "app/tesk.h"
#include "framework/core/filewriter.h"

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <optional>

namespace {

void printError(const QString& line) { std::fprintf(stderr, "tesk: %s\n", qUtf8Printable(line)); }

QStringList absolutePaths(const QStringList& files)
{
    QStringList paths;
    for (const QString& file : files)
        paths.append(QDir::current().absoluteFilePath(file));
    return paths;
}

} // namespace

int runTesk(int argc, char* argv[], const std::function<void(CTeskApp&)>& started)
{
    // A file-size limit must fail a save as a write error, not end the editor.
    fw::IgnoreFileSizeSignal();
    CommandLine commandLine;
    QString channelName;
    {
        // No window system yet: a plain core application reads the command
        // line and, when an editor already runs, hands the files over.
        QCoreApplication core(argc, argv);
        commandLine = parseCommandLine(QCoreApplication::arguments());
        switch (commandLine.action) {
        case CommandLine::Action::Help:
        case CommandLine::Action::Version:
            std::fputs(qUtf8Printable(commandLine.text), stdout);
            return 0;
        case CommandLine::Action::UsageError:
            printError(commandLine.text);
            return 2;
        case CommandLine::Action::Run:
            break;
        }
        const QString noDisplay = missingDisplayReason(commandLine.platform);
        if (!noDisplay.isEmpty()) {
            printError(noDisplay);
            return 1;
        }
        if (!commandLine.newInstance && !commandLine.recoverAll)
            channelName = instanceChannelName(commandLine.platform);
        if (!channelName.isEmpty()) {
            if (const std::optional<QStringList> failures = handOverFiles(channelName, absolutePaths(commandLine.files))) {
                for (const QString& failure : *failures)
                    printError(failure);
                return failures->isEmpty() ? 0 : 1;
            }
        }
    }

    QApplication application(argc, argv);
    CTeskApp teskApp;
    if (!teskApp.InitInstance(commandLine))
        return 1;
    CInstanceServer server([&teskApp](const QStringList& files) { return teskApp.GetSceneFiles().OpenHandedOver(files); });
    QString error;
    if (!channelName.isEmpty() && !server.Listen(channelName, &error))
        printError(QStringLiteral("other tesk commands cannot hand files to this editor: %1").arg(error));
    if (started)
        started(teskApp);
    return application.exec();
}
