#include "dialogs/about.h"

#include "ui_about.h"

about::about(QWidget* parent) : QDialog(parent), ui(new Ui::about)
{
    ui->setupUi(this);
    ui->l_version->setText(QStringLiteral(" Version 2.33 "));
}

about::~about()
{
    delete ui;
}
