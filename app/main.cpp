#include "app/tesk.h"
#include "framework/core/filewriter.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    fw::IgnoreFileSizeSignal();
    QApplication application(argc, argv);
    CTeskApp teskApp;
    if (!teskApp.InitInstance())
        return 1;
    return application.exec();
}
