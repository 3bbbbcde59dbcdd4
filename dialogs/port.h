#pragma once

#include <QDialog>

class settings_t;

namespace Ui {
class Port;
}

// Port and socket timeout. A port can only be accepted after a trial listen on it has worked.
class Port : public QDialog
{
    Q_OBJECT

public:
    Port(const settings_t* settings, QWidget* parent);
    ~Port() override;

    int getPort() const;
    int getTimeout() const;

private slots:
    void checkPort();
    void delButton();

private:
    Ui::Port* ui;
};
