#include "app/formfont.h"

#include <QApplication>
#include <QFont>

void useFormFont()
{
    // The forms were laid out for the 8-point dialog font, Tahoma on every Windows since 2000 (wine
    // has its own). Windows' present message font, Segoe UI at 9 points, runs wider and would clip
    // more captions.
    QApplication::setFont(QFont(QStringLiteral("Tahoma"), 8));
}
