#include "dialogs/folderchooser.h"

#include <QFileDialog>

namespace {

FolderChooser& replacement()
{
    static FolderChooser chooser;
    return chooser;
}

} // namespace

QString chooseFolder(QWidget* parent, const QString& caption)
{
    if (replacement())
        return replacement()(parent, caption);
    return QFileDialog::getExistingDirectory(parent, caption, QString(), QFileDialog::ShowDirsOnly);
}

void setFolderChooser(FolderChooser chooser)
{
    replacement() = std::move(chooser);
}
