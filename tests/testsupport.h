#pragma once

#include "recording/fileops.h"
#include "settings/clock.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include <atomic>
#include <optional>

// Every test runs in a working directory of its own, since the program reads and writes
// config.cfg and its data files relative to it. Restores the previous directory when it goes.
class ScopedWorkDir
{
public:
    ScopedWorkDir() : previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~ScopedWorkDir() { QDir::setCurrent(previous); }

private:
    QTemporaryDir dir;
    QString previous;
};

// A stand-in for the IP-echo service on loopback, asked from now on (once it has gone, the request
// finds nothing there): answers every request with one fixed response, and keeps what it was asked.
class EchoService : public QTcpServer
{
public:
    explicit EchoService(const QByteArray& response);

    QByteArray requests;
};

// Registers the compiled-in resources, sets the program's font and points the public-address request
// at a loopback service that hangs up, so that no test ever talks to the real service. For initTestCase.
void initStilwaterTests();

// The base of every test object: the program set up for tests once, and each test function, each
// row of it, in a working directory of its own; the clock and the disk calls it set are the system's
// again after it, even when it fails half-way.
class StilwaterTest : public QObject
{
    Q_OBJECT

protected slots:
    void initTestCase() { initStilwaterTests(); }
    void init() { workDir.emplace(); }
    void cleanup()
    {
        setClock({});
        setFileOps({});
        workDir.reset();
    }

private:
    std::optional<ScopedWorkDir> workDir;
};

// A TCP port on 127.0.0.1 that was free a moment ago.
quint16 freeLoopbackPort();

// Runs `action` on the next modal widget that opens (a message box or a dialog), as a person
// would act on it once it is on screen. Gives up after a few seconds so a test cannot hang.
void whenModalOpens(std::function<void(QWidget*)> action);

// Runs `act`; a message box that comes up meanwhile is answered with `answer`, as a person would.
// Returns the box's title and text as "title: text", or nothing when no box came up.
QString answering(QMessageBox::StandardButton answer, const std::function<void()>& act);

QByteArray readFileBytes(const QString& path);

// Creates the file, or replaces what it holds.
void writeFile(const QString& path, const QByteArray& bytes);

// The text of the main window's message window, read through a property every text editor has.
// Lines reach it in batches a few times a second: read it inside QTRY_COMPARE / QTRY_VERIFY.
QString messageWindowText(const QWidget* mainWindow);

// A disk that takes writes at once but holds every sync while `syncsHeld` is true: the calls to set
// with setFileOps().
extern std::atomic<bool> syncsHeld;
FileOps slowSyncOps();
