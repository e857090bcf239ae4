#pragma once

#include <QApplication>

// The widgets and the journal's flush timer need an application; the
// benchmark binary's main is shared, so it is created on first use and kept
// for the life of the process.
inline void ensureApp()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tesk_bench";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}
