#include "app/commandline.h"

#include <QCommandLineParser>
#include <array>

namespace {

// The options QGuiApplication and QApplication read themselves, with and
// without a value; tesk accepts them so that they reach Qt untouched.
constexpr std::array kQtValueOptions = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                        "qwindowgeometry", "qwindowicon", "qwindowtitle", "display",
                                        "geometry", "style", "stylesheet", "session", "name", "title"};
constexpr std::array kQtFlagOptions = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Editor of scenes of simple 3D objects."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Not addHelpOption: its --help-all would list Qt's own options as well.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption newInstance(
        QStringLiteral("new-instance"),
        QStringLiteral("Start an editor of its own instead of opening the files in the one already running."));
    parser.addOption(newInstance);
    const QCommandLineOption recover(QStringLiteral("recover"),
                                     QStringLiteral("Recover every scene left with unsaved changes, without asking."));
    parser.addOption(recover);
    for (const char* name : kQtValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlagOptions) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A scene file (*.qbx) to open instead of a new scene."),
                                 QStringLiteral("[--] [file...]"));

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.action = CommandLine::Action::UsageError;
        result.text = parser.errorText() + QStringLiteral(" Try \"tesk --help\".");
        return result;
    }
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::Help;
        result.text = parser.helpText();
    } else if (parser.isSet(version)) {
        result.action = CommandLine::Action::Version;
        result.text = QStringLiteral("tesk " TESK_VERSION "\n");
    }
    result.files = parser.positionalArguments();
    result.newInstance = parser.isSet(newInstance);
    result.recoverAll = parser.isSet(recover);
    result.platform = parser.value(QStringLiteral("platform"));
    return result;
}
