#include "app/display.h"

#include <QGuiApplication>

namespace {

// The environment variable that names the display `platform` draws on, or
// empty when it needs none (offscreen, vnc).
QString platformNeedingDisplay(const QString& platform)
{
    if (platform.startsWith(QLatin1String("xcb")))
        return QStringLiteral("DISPLAY");
    if (platform.startsWith(QLatin1String("wayland")))
        return QStringLiteral("WAYLAND_DISPLAY");
    return {};
}

} // namespace

QString displayPlatform(const QString& platformOption)
{
    const QString platform = platformOption.isEmpty() ? qEnvironmentVariable("QT_QPA_PLATFORM") : platformOption;
    return platform.section(QLatin1Char(':'), 0, 0);
}

bool isInteractive(const QString& platform)
{
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")
        && platform != QLatin1String("minimalegl");
}

bool isInteractive() { return isInteractive(QGuiApplication::platformName()); }

QString missingDisplayReason(const QString& platformOption)
{
    const QString platform = displayPlatform(platformOption);
    if (!platform.isEmpty()) {
        const QString variable = platformNeedingDisplay(platform);
        if (variable.isEmpty() || !qEnvironmentVariableIsEmpty(qPrintable(variable)))
            return {};
        return QStringLiteral("no graphical display (%1 is not set)").arg(variable);
    }
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    return QStringLiteral("no graphical display (DISPLAY or WAYLAND_DISPLAY is not set)");
}
