#pragma once

#include <QDialog>

namespace Ui {
class about;
}

class about : public QDialog
{
    Q_OBJECT

public:
    explicit about(QWidget* parent);
    ~about() override;

private:
    Ui::about* ui;
};
