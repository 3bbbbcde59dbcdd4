#pragma once

#include "recording/dailyfile.h"
#include "server/clientlookup.h"
#include "settings/settings.h"

#include <QMainWindow>
#include <QNetworkReply>

class AcceptGuard;
class MessageFeed;
class ReadPacer;
class QLabel;
class QTcpSocket;
class QTimer;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    void appendText(const QString& text);

    // Read-only view of the record, for tests that check what an accepted dialog stored.
    const settings_t& currentSettings() const { return settings; }

    // The message timeout has neither a dialog nor a line in config.cfg. Tests shorten it here, so
    // that a message cut short by its timer is handed over in one second instead of five.
    void setMessageTimeout(int seconds) { settings.msg_timeout = seconds; }

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void setPort();
    void setFile();
    void setErrorMsg();
    void setPattern();
    void tartalom();
    void nevjegy();
    void clearBox();
    void serverStart();
    void serverStop();
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void handleMsg(client_t* client);
    void onMsgTimeout(QTimer* timer);
    void onSocketTimeout(QTimer* timer);
    void onDisconnected(QTcpSocket* socket);
    QList<saved_line_t> saveData(QString data); // the data file first, then the backup file
    void assignIP(QNetworkReply* reply);

private:
    void loadConfig();
    void saveConfig();
    void showSettings();
    void showPortAndTimeout();
    void showFileNaming();
    void showReplies();
    void findLocalAddress();
    void requestPublicAddress();
    void closeEveryConnection();
    void releaseServer();
    void showServerRunning(bool running);
    bool confirmed(const QString& question);
    void takeConnection();
    void readFrom(QTcpSocket* socket);
    void endConnection(int index);
    QString peerLine(const QTcpSocket* socket, const QString& body) const;

    settings_t settings;
    QLabel* linkLabel = nullptr;
    Ui::MainWindow* ui = nullptr;
    MessageFeed* messageFeed = nullptr; // a child of the message window
    AcceptGuard* acceptGuard = nullptr; // a child of the window
    ReadPacer* readPacer = nullptr; // a child of the window
    ClientLookup clientLookup;
    bool acceptDeferred = false;
};
