#include "app/formfont.h"

#include <QApplication>
#include <QFont>

void useFormFont()
{
    // The forms were laid out for Windows' 8-point dialog font. Windows' own message font (Segoe
    // UI, Tahoma before it and under wine) fits them at that size, not at the 9 points it has now.
    QFont font = QApplication::font();
    font.setPointSizeF(8);
    QApplication::setFont(font);
}
