#include "app/formfont.h"
#include "app/mainwindow.h"
#include "app/productinfo.h"
#include "app/windowoptions.h"
#include "engine/openfiles.h"
#include "settings/parsertexts.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(stilwater);
    raiseOpenFileLimit();
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(productVersion());
    HungarianParserTexts hungarian;
    QApplication::installTranslator(&hungarian);
    const WindowOptions options = parseWindowOptions(QApplication::arguments());
    useFormFont();
    // Desktops find the menu entry, and with it the name and icon, by the entry's file name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.stilwater.Stilwater"));
    QApplication::setWindowIcon(productIcon());
    MainWindow window;
    window.server().setDurableAcknowledgements(options.durableAcknowledgements);
    window.show();
    return application.exec();
}
