#pragma once

// Sets the application font to the size at which every caption, value and button text of the
// fixed-position forms fits its widget. Called once, right after the QApplication is made, by the
// program and by the tests, so that the tests measure with the font the operator sees.
void useFormFont();
