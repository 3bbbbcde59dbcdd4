#include "app/mainwindow.h"

#include "app/deviceswindow.h"
#include "app/messagefeed.h"
#include "app/productinfo.h"
#include "dialogs/about.h"
#include "dialogs/help.h"
#include "net/localaddress.h"
#include "net/publicaddress.h"
#include "settings/configfile.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QSaveFile>
#include <QTimer>

namespace {

// A look at the list's time and size, cheap enough to take often.
constexpr int knownDevicesLookMs = 2000;

QString orNone(const QString& text)
{
    return text.isEmpty() ? MainWindow::tr("<nincs>") : text;
}

} // namespace

MainWindow::MainWindow(unsigned serverThreads, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), engine(serverThreads)
{
    ui->setupUi(this);
    messageFeed = new MessageFeed(ui->textflow, engine.lines());
    loadConfigFile(settings);

    ui->actionPattern->setVisible(false);
    ui->actionContent->setVisible(false);
    ui->gb_pattern->setVisible(false);
    showSettings();

    linkLabel = new QLabel(this);
    linkLabel->setOpenExternalLinks(true);
    linkLabel->setTextFormat(Qt::RichText);
    linkLabel->setText(makerLink());
    linkLabel->setAlignment(Qt::AlignRight);
    ui->statusBar->insertWidget(0, linkLabel, 1);

    connect(ui->actionKilepes, &QAction::triggered, this, &MainWindow::close);
    connect(ui->actionServerStart, &QAction::triggered, this, &MainWindow::serverStart);
    connect(ui->actionServerStop, &QAction::triggered, this, &MainWindow::serverStop);
    connect(ui->actionClear, &QAction::triggered, this, &MainWindow::clearBox);
    connect(ui->actionPort, &QAction::triggered, this, &MainWindow::setPort);
    connect(ui->actionFile, &QAction::triggered, this, &MainWindow::setFile);
    connect(ui->actionErrorMsg, &QAction::triggered, this, &MainWindow::setErrorMsg);
    connect(ui->actionPattern, &QAction::triggered, this, &MainWindow::setPattern);
    connect(ui->actionContent, &QAction::triggered, this, &MainWindow::tartalom);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::nevjegy);
    connect(ui->actionDevices, &QAction::triggered, this, &MainWindow::showDevices);
    connect(ui->start, &QPushButton::clicked, this, &MainWindow::serverStart);
    connect(ui->stop, &QPushButton::clicked, this, &MainWindow::serverStop);

    // The list of known devices counts as soon as the operator saves it, without a restart.
    auto* knownDevicesWatch = new QTimer(this);
    connect(knownDevicesWatch, &QTimer::timeout, this, [this] { engine.reloadKnownDevices(false); });
    knownDevicesWatch->start(knownDevicesLookMs);

    findLocalAddress();
    requestPublicAddress();
}

MainWindow::~MainWindow()
{
    saveConfig();
    delete ui;
}

void MainWindow::showSettings()
{
    ui->l_ip->setText(settings.ip);
    showPortAndTimeout();
    showFileNaming();
    showReplies();
    ui->l_pattern->setText(settings.pattern);
}

void MainWindow::showPortAndTimeout()
{
    ui->l_port->setText(QString::number(settings.port));
    ui->l_timeout->setText(QString::number(settings.socket_timeout) + QStringLiteral(" s"));
}

void MainWindow::showFileNaming()
{
    ui->gb_backup->setVisible(settings.make_backup);
    ui->l_file_prefix->setText(orNone(settings.file.prefix));
    ui->l_file_ext->setText(settings.file.ext);
    ui->l_backup_prefix->setText(orNone(settings.backup.prefix));
    ui->l_backup_ext->setText(settings.backup.ext);
}

void MainWindow::showReplies()
{
    ui->l_ack->setText(orNone(settings.ack));
    ui->l_error_chks->setText(orNone(settings.error_chks));
    ui->l_error_syntax->setText(orNone(settings.error_syntax));
}

void MainWindow::saveConfig()
{
    // Written aside and renamed into place, so that a crash or a full disk leaves the previous
    // file whole instead of a cut one that would reset every setting at the next start.
    QSaveFile file(configFileName());
    // In a folder where nothing new may be created, the file itself may still be writable.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(configText(settings));
    file.commit();
}

void MainWindow::clearBox()
{
    messageFeed->clear();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (exitConfirmed)
        return;
    if (stopInProgress) {
        // The window goes when the stop is through, not before while the process lives on unseen.
        event->ignore();
        closeAfterStop = true;
        return;
    }
    if (!ui->stop->isEnabled())
        return;
    event->ignore();
    if (confirmed(tr("A szerver fut. Biztosan kilép a programból?\n\nFigyelem! Ez adatvesztéshez vezethet!")))
        stopServer(Engine::StopLine::Omit, &MainWindow::exitAfterStop);
}

void MainWindow::exitAfterStop()
{
    exitConfirmed = true;
    close();
}

void MainWindow::tartalom()
{
    Help help(this);
    help.exec();
}

void MainWindow::nevjegy()
{
    about box(this);
    box.exec();
}

void MainWindow::showDevices()
{
    if (!devicesWindow)
        devicesWindow = new DevicesWindow(engine.devices(), this);
    devicesWindow->show();
    devicesWindow->raise();
    devicesWindow->activateWindow();
}

void MainWindow::findLocalAddress()
{
    const QString address = chooseLocalAddress(QNetworkInterface::allAddresses());
    if (address.isEmpty())
        return;
    settings.ip = address;
    ui->l_ip->setText(address);
}

void MainWindow::requestPublicAddress()
{
    auto* manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::finished, this, &MainWindow::assignIP);
    manager->get(QNetworkRequest(publicAddressServiceUrl()));
}

void MainWindow::assignIP(QNetworkReply* reply)
{
    if (reply->error() != QNetworkReply::NoError)
        ui->l_ip_public->setText(QStringLiteral("-"));
    else
        ui->l_ip_public->setText(publicAddressText(reply->readAll()));
    reply->deleteLater();
}

void MainWindow::setPattern()
{
    const QString text
        = settings.pattern + QStringLiteral("\n\n(") + QString::number(settings.pattern.size() - 1) + tr(" karakter)");
    QMessageBox::information(this, tr("Pattern"), text, QMessageBox::Ok, QMessageBox::NoButton);
}
