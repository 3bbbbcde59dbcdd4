#include "app/mainwindow.h"
#include "recording/devicename.h"

QList<saved_line_t> MainWindow::saveData(QString data)
{
    const QString name = deviceName(data);
    QList<saved_line_t> saved {appendToDailyFile(settings.file, name, data)};
    if (settings.make_backup)
        saved << appendToDailyFile(settings.backup, name, data);
    return saved;
}
