#pragma once

#include <QByteArray>
#include <QDialogButtonBox>
#include <QList>
#include <QString>

#include <functional>

class MainWindow;
class QDialog;
class QLineEdit;

// Opens a dialog through the main window's menu action `actionName` and runs `act` on it once it
// is on screen. `act` must end the dialog (pressButton does, whatever it finds).
void openThroughMenu(MainWindow& window, const char* actionName, std::function<void(QDialog*)> act);

// The standard buttons of the dialog's button box as Qt names them, e.g. "Ok|Cancel".
QString shownButtons(QDialog* dialog);

// Presses a standard button of the dialog's button box. A dialog without that button is rejected
// instead, so that a faulty dialog fails the test's later checks rather than hanging it.
void pressButton(QDialog* dialog, QDialogButtonBox::StandardButton which);

// Replaces the text of a line edit the way a person does: select everything, then type.
void retype(QLineEdit* field, const QString& text);

// The text of a label of the main window's status panel.
QString labelText(const MainWindow& window, const char* name);

// Writes ./config.cfg from its lines, each ended by CR LF.
void writeConfig(const QList<QByteArray>& lines);

// Line `number` (counted from 1) of ./config.cfg, without its CR LF.
QByteArray configLine(int number);
