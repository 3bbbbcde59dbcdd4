#pragma once

#include "settings/settings.h"

#include <QMainWindow>
#include <QNetworkReply>

class QLabel;

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
    void onReadyRead();
    void handleMsg(client_t* client);
    void onMsgTimeout();
    void onSocketTimeout();
    void onDisconnected();
    void saveData(QString data);
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

    settings_t settings;
    QLabel* linkLabel = nullptr;
    Ui::MainWindow* ui = nullptr;
};
