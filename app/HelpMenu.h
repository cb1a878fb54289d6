// The menu "&Help" of the main window: "About" (the version, the settings file in use, the COM
// name and the device it reaches, the licence) and "Manual" (the installed manual page, else the
// user's guide of the source tree).
#pragma once

#include <QString>

#include <functional>

class QMainWindow;

struct HelpFacts {
    QString settingsFile;
    std::function<QString()> port; // "COM1 - usb-Bench_Adapter_0001", as it is now
};

// Adds the menu at the end of the window's menu bar.
void AddHelpMenu(QMainWindow* window, HelpFacts facts);

// The About box's text.
QString AboutText(const HelpFacts& facts);

// What --version and --help print.
QString VersionText();
QString UsageText();
