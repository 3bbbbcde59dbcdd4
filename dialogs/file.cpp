#include "dialogs/file.h"

#include "dialogs/folderchooser.h"
#include "ui_file.h"

#include <QDir>

namespace {

// An empty folder stands for the working directory; showing it spelled out means that an
// accepted dialog stores the folder the files really go to.
QString shownFolder(const QString& stored)
{
    if (!stored.isEmpty())
        return stored;
    return QDir::currentPath() + QLatin1Char('/');
}

filename_t namingFrom(const QLineEdit* prefix, const QLineEdit* ext, const QLabel* folder)
{
    QString extension = ext->text();
    if (!extension.startsWith(QLatin1Char('.')))
        extension.prepend(QLatin1Char('.'));
    return filename_t(prefix->text(), extension, folder->text());
}

} // namespace

File::File(const settings_t* settings, QWidget* parent) : QDialog(parent), ui(new Ui::File)
{
    ui->setupUi(this);
    connect(ui->f_setfolder, &QPushButton::clicked, this, &File::setFileFolder);
    connect(ui->b_setfolder, &QPushButton::clicked, this, &File::setBackupFolder);
    connect(ui->cb_backup, &QCheckBox::stateChanged, this, &File::setBackupState);

    ui->widget_backup->setEnabled(settings->make_backup);
    ui->cb_backup->setChecked(settings->make_backup);
    ui->f_prefix->setText(settings->file.prefix);
    ui->f_ext->setText(settings->file.ext);
    ui->f_path->setText(shownFolder(settings->file.path));
    ui->b_prefix->setText(settings->backup.prefix);
    ui->b_ext->setText(settings->backup.ext);
    ui->b_path->setText(shownFolder(settings->backup.path));
    // The tab bar comes first in reading order, but the operator opens the dialog to type.
    ui->f_prefix->setFocus();
}

File::~File()
{
    delete ui;
}

filename_t File::getFile() const
{
    return namingFrom(ui->f_prefix, ui->f_ext, ui->f_path);
}

filename_t File::getBackup() const
{
    return namingFrom(ui->b_prefix, ui->b_ext, ui->b_path);
}

bool File::isBackupChecked() const
{
    return ui->cb_backup->isChecked();
}

void File::setFileFolder()
{
    chooseFolderFor(ui->f_path);
}

void File::setBackupFolder()
{
    chooseFolderFor(ui->b_path);
}

void File::setBackupState(int state)
{
    ui->widget_backup->setEnabled(state == Qt::Checked);
}

void File::chooseFolderFor(QLabel* shownFolder)
{
    const QString folder = chooseFolder(this, tr("Select folder"));
    if (folder.isEmpty())
        return;
    // File names are built by appending to the folder, always with "/" separators.
    shownFolder->setText(QString(folder).replace(QLatin1Char('\\'), QLatin1Char('/')) + QLatin1Char('/'));
}
