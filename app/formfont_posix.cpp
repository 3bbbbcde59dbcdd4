#include "app/formfont.h"

#include <QApplication>
#include <QFont>

void useFormFont()
{
    // The forms were laid out for Windows' 8-point dialog font. The sans fonts of Linux desktops
    // (DejaVu Sans on Debian) run about a fifth wider at the same size: at 7 points, 9 pixels on a
    // 96-dpi screen, the tightest captions ("Prefix:" in 31 pixels) fit.
    QFont font = QApplication::font();
    font.setPointSizeF(7);
    QApplication::setFont(font);
}
