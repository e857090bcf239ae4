#include "app/tesk.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    CTeskApp teskApp;
    if (!teskApp.InitInstance())
        return 1;
    return application.exec();
}
