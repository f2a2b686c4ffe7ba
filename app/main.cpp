// planilla: the desktop program. Starts on the program directory (the working directory,
// or --progdir DIR) and runs until the main window closes.
#include <QApplication>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/session.hpp"
#include "app/startup.hpp"
#include "data/workspace.hpp"
#include "gui/qt/qt_ui.hpp"
#include "gui/ui.hpp"
#include "ui/program.hpp"
#include "xbase/error.hpp"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName("planilla");
    gui::qt::use_spanish();

    std::string progdir = std::filesystem::current_path().string();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--progdir") == 0 && i + 1 < argc) progdir = argv[++i];
        else if (std::strcmp(argv[i], "--help") == 0) {
            std::cout << "planilla [--progdir DIR]\n";
            return 0;
        }
    }

    gui::SystemClock clock;
    gui::qt::QtUi ui(clock);
    gui::qt::QtShell shell(ui);
    app::Session session;
    session.RutaP = std::filesystem::absolute(progdir).lexically_normal().string();
    session.RutaW = session.RutaP;
    data::Workspace ws;
    app::Context c{session, ws, ui, clock, shell};
    try {
        app::StartResult r = app::MAIN(c, ui::standard_screens());
        return r == app::StartResult::Ran || r == app::StartResult::Maintenance ? 0 : 1;
    } catch (const std::exception& e) {
        // A failure at start-up ends the program with its message.
        ui.alert(e.what(), "Revisar");
        return 1;
    }
}
