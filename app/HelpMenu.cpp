#include "app/HelpMenu.h"

#include "app/Messages.h"
#include "app/ProgramTitle.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The manual page as `man` renders it, or "" with what was tried added to `tried`.
QString InstalledManual(QStringList& tried) {
#ifdef ORVIK_MANUAL_PAGE
    if (!QFile::exists(ORVIK_MANUAL_PAGE)) {
        tried << QString("the manual page %1: not installed").arg(ORVIK_MANUAL_PAGE);
        return {};
    }
    QProcess man;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MANWIDTH", "90");
    env.insert("MAN_KEEP_FORMATTING", "");
    man.setProcessEnvironment(env);
    man.start("man", {"-P", "cat", "-l", ORVIK_MANUAL_PAGE});
    if (!man.waitForStarted(5000)) {
        tried << "\"man\" to show " + QString(ORVIK_MANUAL_PAGE) + ": " + man.errorString();
        return {};
    }
    if (!man.waitForFinished(5000) || man.exitCode() != 0) {
        tried << "\"man\" to show " + QString(ORVIK_MANUAL_PAGE) + ": it failed";
        return {};
    }
    return QString::fromLocal8Bit(man.readAllStandardOutput()).remove(QRegularExpression(".\b"));
#else
    tried << "the manual page: this build has none";
    return {};
#endif
}

void ShowManual(QMainWindow* window) {
    QStringList tried;
    const QString text = InstalledManual(tried);
    if (!text.isEmpty()) {
        auto* dialog = new QDialog(window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowTitle("Manual");
        auto* view = new QPlainTextEdit(text, dialog);
        view->setReadOnly(true);
        view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        auto* layout = new QVBoxLayout(dialog);
        layout->addWidget(view);
        dialog->resize(720, 560);
        dialog->show();
        return;
    }
#ifdef ORVIK_USER_GUIDE
    if (!QFile::exists(ORVIK_USER_GUIDE))
        tried << QString("the user's guide %1: not there").arg(ORVIK_USER_GUIDE);
    else if (QDesktopServices::openUrl(QUrl::fromLocalFile(ORVIK_USER_GUIDE)))
        return;
    else
        tried << QString("the user's guide %1: no program of the desktop opened it")
                     .arg(ORVIK_USER_GUIDE);
#endif
    messages::ShowMessage(window, "The manual could not be shown.",
                          "Tried " + tried.join("; ") +
                              ".\nRun \"man orvik\" where the package is installed, or read "
                              "docs/user-guide.md of the source tree.");
}

} // namespace

QString VersionText() {
    return QStringLiteral("orvik " ORVIK_VERSION);
}

QString UsageText() {
    return QStringLiteral(
        "Usage: orvik [--version] [--help]\n"
        "The Tarnwell Orvik interface: watches and configures a bus of Orvik circuit-breaker\n"
        "modules over a serial port.\n"
        "\n"
        "  --version   print the version and exit\n"
        "  --help      print this text and exit\n"
        "\n"
        "The COM port is chosen in the program and kept in Orvik.INI: beside the program where\n"
        "that folder may be written, else in $XDG_CONFIG_HOME/orvik (~/.config/orvik).\n"
        "ORVIK_TRACE=serial,line[:FILE] traces the port calls and the line's state.\n");
}

QString AboutText(const HelpFacts& facts) {
    return QString::fromLatin1(PROGRAM_TITLE) + "\n\n" + "Settings file: " + facts.settingsFile +
           "\n" + "Port: " + (facts.port ? facts.port() : QString()) + "\n\n" +
           "Free software under the MIT licence: use, copy, change and pass it on, keeping its "
           "copyright and licence notice; it comes without warranty.";
}

void AddHelpMenu(QMainWindow* window, HelpFacts facts) {
    QMenu* help = window->menuBar()->addMenu("&Help");
    help->setObjectName("HelpMenu");
    QAction* manual = help->addAction("&Manual");
    manual->setObjectName("Manual1");
    manual->setShortcut(QKeySequence::HelpContents);
    QObject::connect(manual, &QAction::triggered, window, [window] { ShowManual(window); });
    QAction* about = help->addAction("&About");
    about->setObjectName("About1");
    QObject::connect(about, &QAction::triggered, window,
                     [window, facts] { messages::ShowMessage(window, AboutText(facts)); });
}
