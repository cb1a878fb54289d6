// The file dialogs of the program's windows. Each starts in the folder the user chose a file
// in last (in any of them, during this run), else in the home folder.
#pragma once

#include <QString>

class QWidget;

// A file to write; `suggestedName` is put in the start folder.
QString ChooseFileToSave(QWidget* parent, const QString& title, const QString& suggestedName,
                         const QString& filter);
// A file to read.
QString ChooseFileToOpen(QWidget* parent, const QString& title, const QString& filter);
