#include "tests/testsupport.h"

#include "app/formfont.h"
#include "net/publicaddress.h"

#include <thread>

EchoService::EchoService(const QByteArray& response)
{
    connect(this, &QTcpServer::newConnection, this, [this, response] {
        QTcpSocket* socket = nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, response] {
            requests += socket->readAll();
            if (!requests.endsWith("\r\n\r\n"))
                return;
            socket->write(response);
            socket->disconnectFromHost();
        });
    });
    listen(QHostAddress::LocalHost, 0);
    setPublicAddressServiceUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/ip").arg(serverPort())));
}

void initStilwaterTests()
{
    Q_INIT_RESOURCE(stilwater);
    useFormFont();
    // The window's own settings go to a test location, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QStringLiteral("Stilwater"), QStringLiteral("Stilwater")).clear();
    // Its port stays taken, so no other test's server can receive the request.
    static EchoService* refuser = nullptr;
    delete refuser;
    refuser = new EchoService(QByteArray());
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
    QObject::connect(poll, &QTimer::timeout, poll, [poll, deadline = QDeadlineTimer(5000), action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && !deadline.hasExpired())
            return;
        poll->stop();
        poll->deleteLater();
        if (modal)
            action(modal);
    });
    poll->start(10);
}

QString answering(QMessageBox::StandardButton answer, const std::function<void()>& act)
{
    QString seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = box->windowTitle() + QStringLiteral(": ") + box->text();
            box->button(answer)->click();
        }
    });
    poll.start(10);
    act();
    return seen;
}

QByteArray readFileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QString messageWindowText(const QWidget* mainWindow)
{
    return mainWindow->findChild<QWidget*>(QStringLiteral("textflow"))->property("plainText").toString();
}

std::atomic<bool> syncsHeld {false};

namespace {

bool heldSync(bool (*sync)(FileHandle), FileHandle file)
{
    while (syncsHeld)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return sync(file);
}

} // namespace

FileOps slowSyncOps()
{
    FileOps ops = systemFileOps();
    ops.syncFile = [](FileHandle file) { return heldSync(systemFileOps().syncFile, file); };
    // Where the platform has no folder or file-system sync (Windows), there is none to hold.
    if (ops.syncFolder)
        ops.syncFolder = [](FileHandle folder) { return heldSync(systemFileOps().syncFolder, folder); };
    if (ops.syncFileSystem)
        ops.syncFileSystem = [](FileHandle any) { return heldSync(systemFileOps().syncFileSystem, any); };
    return ops;
}
