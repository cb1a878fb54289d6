#include "app/FileChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

QString& LastFolder() {
    static QString folder = QDir::homePath();
    return folder;
}

QString Remembered(const QString& path) {
    if (!path.isEmpty())
        LastFolder() = QFileInfo(path).absolutePath();
    return path;
}

} // namespace

QString ChooseFileToSave(QWidget* parent, const QString& title, const QString& suggestedName,
                         const QString& filter) {
    return Remembered(QFileDialog::getSaveFileName(
        parent, title, QDir(LastFolder()).filePath(suggestedName), filter));
}

QString ChooseFileToOpen(QWidget* parent, const QString& title, const QString& filter) {
    return Remembered(QFileDialog::getOpenFileName(parent, title, LastFolder(), filter));
}
