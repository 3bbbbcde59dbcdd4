#pragma once

#include <QDialog>

class settings_t;

namespace Ui {
class ErrorMsg;
}

// The three reply texts: acknowledgement, checksum error and syntax error. Empty texts are valid.
class ErrorMsg : public QDialog
{
    Q_OBJECT

public:
    ErrorMsg(const settings_t* settings, QWidget* parent);
    ~ErrorMsg() override;

    QString getAck() const;
    QString getErrorChks() const;
    QString getErrorSyntax() const;

private:
    Ui::ErrorMsg* ui;
};
