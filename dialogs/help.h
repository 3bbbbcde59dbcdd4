#pragma once

#include <QDialog>

namespace Ui {
class Help;
}

class Help : public QDialog
{
    Q_OBJECT

public:
    explicit Help(QWidget* parent);
    ~Help() override;

private:
    Ui::Help* ui;
};
