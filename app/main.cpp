// The Tarnwell Orvik interface.
#include "app/EditPanelStyle.h"
#include "app/HelpMenu.h"
#include "app/Unit1.h"
#include "dialogs/Unit15.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit4.h"
#include "dialogs/Unit5.h"
#include "link/settings/Settings.h"
#include "resources/ProgramIcon.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

#include <cstdio>
#include <string_view>

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version" || arg == "--help") {
            std::fputs(qPrintable((arg == "--version" ? VersionText() : UsageText()) + "\n"),
                       stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    // The style chosen (the platform's, -style or QT_STYLE_OVERRIDE), copying the display
    // edits' panels. The application owns it.
    QApplication::setStyle(
        new EditPanelStyle(QStyleFactory::create(QApplication::style()->name())));
    app.setWindowIcon(orvik::ProgramIcon()); // every window and message box

    TForm1 form1(orvik::SettingsFilePath());
    TForm15 form15(form1.Link(), form1.Line());
    TForm2 form2(form1.Link());
    TForm3 form3(form1.Link());
    TForm4 form4(form1.Link());
    TForm5 form5(form1.Link());
    QObject::connect(&form5, &TForm5::Cancelled, &form1, [&form1] { form1.CancelWait(); });
    form1.SetDialogs({&form15, &form2, &form3, &form4, &form5});

    form1.show();
    // Benchmarks and tests may ask for the bus monitor from the start.
    if (qEnvironmentVariableIsSet("ORVIK_OPEN_BUS_MONITOR"))
        form1.BusMonitorClick();
    if (qEnvironmentVariableIsSet("ORVIK_OPEN_HISTORY"))
        form1.HistoryClick();
    return app.exec();
}
