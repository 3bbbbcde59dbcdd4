#pragma once

#include "settings/settings.h"

#include <QDialog>

class QLabel;
class QLineEdit;

namespace Ui {
class File;
}

// Naming and folders of the daily data files and of the backup files, and the backup switch.
class File : public QDialog
{
    Q_OBJECT

public:
    File(const settings_t* settings, QWidget* parent);
    ~File() override;

    filename_t getFile() const;
    filename_t getBackup() const;
    bool isBackupChecked() const;

private slots:
    void setFileFolder();
    void setBackupFolder();
    void setBackupState(int state);

private:
    void chooseFolderFor(QLabel* shownFolder);

    Ui::File* ui;
};
