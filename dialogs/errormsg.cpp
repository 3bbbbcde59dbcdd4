#include "dialogs/errormsg.h"

#include "settings/settings.h"
#include "ui_errormsg.h"

ErrorMsg::ErrorMsg(const settings_t* settings, QWidget* parent) : QDialog(parent), ui(new Ui::ErrorMsg)
{
    ui->setupUi(this);
    ui->ack->setText(settings->ack);
    ui->error_chks->setText(settings->error_chks);
    ui->error_syntax->setText(settings->error_syntax);
}

ErrorMsg::~ErrorMsg()
{
    delete ui;
}

// Taken as typed, spaces included: the device receives exactly these characters.
QString ErrorMsg::getAck() const
{
    return ui->ack->text();
}

QString ErrorMsg::getErrorChks() const
{
    return ui->error_chks->text();
}

QString ErrorMsg::getErrorSyntax() const
{
    return ui->error_syntax->text();
}
