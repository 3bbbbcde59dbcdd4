#pragma once

#include <QMessageBox>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>

// Every test runs in a working directory of its own, since the program reads and writes
// config.cfg and its data files relative to it. Restores the previous directory when it goes.
class ScopedWorkDir
{
public:
    ScopedWorkDir();
    ~ScopedWorkDir();

    QString path() const { return dir.path(); }
    QString filePath(const QString& name) const { return dir.filePath(name); }

private:
    QTemporaryDir dir;
    QString previous;
};

// Registers the compiled-in resources, sets the program's font and points the public-address request at a loopback port
// where nothing listens, so that no test ever talks to the real service. Call from initTestCase.
void initStilwaterTests();

// A TCP port on 127.0.0.1 that was free a moment ago.
quint16 freeLoopbackPort();

// Runs `action` on the next modal widget that opens (a message box or a dialog), as a person
// would act on it once it is on screen. Gives up after a few seconds so a test cannot hang.
void whenModalOpens(std::function<void(QWidget*)> action);

// Presses `button` on the next modal message box; its title and text are kept for checking.
struct SeenMessageBox
{
    bool shown = false;
    QString title;
    QString text;
};
void answerNextMessageBox(QMessageBox::StandardButton button, SeenMessageBox* seen = nullptr);

// Reads a whole file's bytes; an empty array when it cannot be read.
QByteArray readFileBytes(const QString& path);

// Writes config.cfg into the working directory.
void writeConfigFile(const QByteArray& bytes);

// Line `number` (counted from 1) of config.cfg in the working directory, without its line end.
QByteArray configFileLine(int number);

// The texts of the labels and line edits with these object names, in order.
QStringList widgetTexts(const QWidget* parent, std::initializer_list<const char*> names);
