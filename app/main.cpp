#include "app/mainwindow.h"
#include "server/openfiles.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(stilwater);
    raiseOpenFileLimit();
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    return application.exec();
}
