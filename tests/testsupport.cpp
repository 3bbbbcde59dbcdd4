#include "tests/testsupport.h"

#include "net/publicaddress.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
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
    setPublicAddressServiceUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/ip").arg(freeLoopbackPort())));
}

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
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
