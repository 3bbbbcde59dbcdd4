#include "dialogs/port.h"

#include "engine/listening.h"
#include "settings/settings.h"
#include "ui_port.h"

#include <QMessageBox>
#include <QPushButton>

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
    // Tried with the server's own kind of listener, which also refuses 0 and numbers above 65535.
    if (canListen(port)) {
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
