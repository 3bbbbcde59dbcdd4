#include "dialogs/about.h"

#include "app/productinfo.h"
#include "ui_about.h"

about::about(QWidget* parent) : QDialog(parent), ui(new Ui::about)
{
    ui->setupUi(this);
    ui->label_3->setText(makerLink());
    ui->l_version->setText(QStringLiteral(" Version %1 ").arg(productVersion()));
}

about::~about()
{
    delete ui;
}
