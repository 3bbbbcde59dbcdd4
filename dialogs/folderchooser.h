#pragma once

#include <QString>

#include <functional>

class QWidget;

// Asks the operator for a folder; an empty text means the choice was cancelled.
using FolderChooser = std::function<QString(QWidget* parent, const QString& caption)>;

// The platform's folder chooser, or the one a test put in its place.
QString chooseFolder(QWidget* parent, const QString& caption);

// Lets tests answer in place of the platform's chooser, which they cannot drive; an empty
// function brings the platform's chooser back.
void setFolderChooser(FolderChooser chooser);
