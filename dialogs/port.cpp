#include "dialogs/port.h"

#include "settings/settings.h"
#include "ui_port.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTcpServer>

namespace {

// The trial server lives only for the call, so repeated checks leave no servers behind.
bool canListenOn(quint16 port)
{
    QTcpServer trial;
    const bool listened = trial.listen(QHostAddress::AnyIPv4, port);
    trial.close();
    return listened;
}

} // namespace

Port::Port(const settings_t* settings, QWidget* parent) : QDialog(parent), ui(new Ui::Port)
{
    ui->setupUi(this);
    ui->port->setText(QString::number(settings->port));
    ui->timeout->setValue(settings->socket_timeout);

    // Connected only now, so that filling the form does not count as an edit.
    connect(ui->ckeckport, &QPushButton::clicked, this, &Port::checkPort);
    connect(ui->port, &QLineEdit::textChanged, this, &Port::delButton);
}

Port::~Port()
{
    delete ui;
}

int Port::getPort() const
{
    return ui->port->text().toInt();
}

int Port::getTimeout() const
{
    return ui->timeout->value();
}

void Port::checkPort()
{
    const int port = getPort();
    // The range test also rejects 0 (where the system picks any port) and numbers whose low
    // 16 bits happened to name a free port.
    if (canListenOn(static_cast<quint16>(port & 0xFFFF)) && port >= 1 && port <= 65535) {
        ui->buttonBox->addButton(QDialogButtonBox::Ok);
        ui->ckeckport->setEnabled(false);
        return;
    }
    QMessageBox::critical(
        this, tr("Port hiba"), tr("A megadott port hibás, vagy már foglalt."), QMessageBox::Ok, QMessageBox::NoButton);
}

void Port::delButton()
{
    ui->buttonBox->clear();
    ui->buttonBox->addButton(QDialogButtonBox::Cancel);
    ui->ckeckport->setEnabled(true);
}
