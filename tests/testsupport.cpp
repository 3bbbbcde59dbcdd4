#include "tests/testsupport.h"

#include "app/formfont.h"
#include "net/publicaddress.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

ScopedWorkDir::ScopedWorkDir() : previous(QDir::currentPath())
{
    QVERIFY2(dir.isValid(), "no temporary directory");
    QDir::setCurrent(dir.path());
}

ScopedWorkDir::~ScopedWorkDir()
{
    QDir::setCurrent(previous);
}

void initStilwaterTests()
{
    Q_INIT_RESOURCE(stilwater);
    useFormFont();
    // A listener of our own that hangs up on every request: the public-address lookup fails at
    // once, and the port stays taken, so no other test's server can receive the request.
    static QTcpServer* refuser = nullptr;
    if (!refuser) {
        refuser = new QTcpServer(qApp);
        QObject::connect(refuser, &QTcpServer::newConnection, refuser, [] {
            while (QTcpSocket* socket = refuser->nextPendingConnection()) {
                socket->abort();
                socket->deleteLater();
            }
        });
        refuser->listen(QHostAddress::LocalHost, 0);
    }
    setPublicAddressServiceUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/ip").arg(refuser->serverPort())));
}

quint16 freeLoopbackPort()
{
    // Taken below the range from which connecting sockets get their local ports, so that the
    // devices of tests running in parallel cannot take it before the server under test listens.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const auto candidate = static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 32768));
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, candidate))
            return candidate;
    }
    return 0;
}

void whenModalOpens(std::function<void(QWidget*)> action)
{
    auto* poll = new QTimer(qApp);
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, clock, action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && clock->elapsed() < 5000)
            return;
        poll->stop();
        poll->deleteLater();
        delete clock;
        if (modal)
            action(modal);
    });
    poll->start(10);
}

void answerNextMessageBox(QMessageBox::StandardButton button, SeenMessageBox* seen)
{
    whenModalOpens([button, seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        if (seen) {
            seen->shown = true;
            seen->title = box->windowTitle();
            seen->text = box->text();
        }
        if (QAbstractButton* pressed = box->button(button))
            pressed->click();
    });
}

QByteArray readFileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void writeConfigFile(const QByteArray& bytes)
{
    QFile file(QStringLiteral("config.cfg"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray configFileLine(int number)
{
    return readFileBytes(QStringLiteral("config.cfg")).split('\n').value(number - 1).replace('\r', "");
}

QStringList widgetTexts(const QWidget* parent, std::initializer_list<const char*> names)
{
    QStringList found;
    for (const char* name : names) {
        if (auto* field = parent->findChild<QLineEdit*>(QLatin1String(name)))
            found << field->text();
        else if (auto* label = parent->findChild<QLabel*>(QLatin1String(name)))
            found << label->text();
        else
            found << QStringLiteral("<no %1>").arg(QLatin1String(name));
    }
    return found;
}
