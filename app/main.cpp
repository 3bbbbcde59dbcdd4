#include "app/formfont.h"
#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(stilwater);
    QApplication application(argc, argv);
    useFormFont();
    MainWindow window;
    window.show();
    return application.exec();
}
