#pragma once

#include "engine/engine.h"
#include "settings/settings.h"

#include <QMainWindow>
#include <QNetworkReply>

class MessageFeed;
class QLabel;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // `serverThreads` event loops serve the devices; 0, for the program, means one for each core.
    explicit MainWindow(unsigned serverThreads = 0, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Read-only view of the record, for tests that check what an accepted dialog stored.
    const settings_t& currentSettings() const { return settings; }

    // The message timeout has neither a dialog nor a line in config.cfg. Tests shorten it here, so
    // that a message cut short by its timer is handed over in one second instead of five.
    void setMessageTimeout(int seconds) { settings.msg_timeout = seconds; }

    // The server behind the window, for tests that watch its connections.
    Engine& server() { return engine; }

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
    void assignIP(QNetworkReply* reply);

private:
    void saveConfig();
    void showSettings();
    void showPortAndTimeout();
    void showFileNaming();
    void showReplies();
    void findLocalAddress();
    void requestPublicAddress();
    void showServerRunning(bool running);
    void showServerStopping();
    bool confirmed(const QString& question);
    void stopServer(Engine::StopLine line, void (MainWindow::*then)());
    void serverStopped();
    void exitAfterStop();

    settings_t settings;
    QLabel* linkLabel = nullptr;
    Ui::MainWindow* ui = nullptr;
    MessageFeed* messageFeed = nullptr; // a child of the message window
    bool exitConfirmed = false;
    bool stopInProgress = false;
    bool closeAfterStop = false; // the window was closed while a stop was under way
    // Last, so that it goes first: its threads stop before anything they report to is gone.
    Engine engine;
};
