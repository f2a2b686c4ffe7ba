// The program's start on the demo company, on the scripted backend: from the path table to
// the main window (login included), and the part after the login alone (opening every
// company table, the pick lists, the period generation and the menu).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "app/startup.hpp"
#include "data/workspace.hpp"
#include "gui/headless.hpp"
#include "gui/mainwin.hpp"
#include "masters/company_init.hpp"
#include "ui/program.hpp"

namespace {

namespace fs = std::filesystem;

struct DemoInstall {
    fs::path root;
    std::string prog;
    DemoInstall() {
        char tmpl[] = "/tmp/startup_bench.XXXXXX";
        root = mkdtemp(tmpl);
        masters::InitOptions o;
        o.program_dir = (root / "prog").string();
        o.data_dir = (root / "prog" / "EMP01").string();
        o.demo = true;
        prog = masters::init_company(o).program_dir;
    }
    ~DemoInstall() { fs::remove_all(root); }
};

DemoInstall& demo() {
    static DemoInstall d;
    return d;
}

void BM_StartToMainWindow(benchmark::State& state) {
    app::Screens screens = ui::standard_screens();
    // Time from the accepted login to the main window, measured inside the run.
    double after_login = 0;
    auto login = screens.login;
    std::chrono::steady_clock::time_point logged_in;
    screens.login = [&](app::Context& c, int mode, const std::string& title) {
        login(c, mode, title);
        logged_in = std::chrono::steady_clock::now();
    };
    for (auto _ : state) {
        app::Session s;
        s.RutaP = demo().prog;
        s.RutaW = s.RutaP;
        data::Workspace ws;
        gui::ScriptedUi ui;
        gui::FixedClock clock(common::date_from_ymd(2011, 5, 20));
        app::Context c{s, ws, ui, clock, ui.shell()};
        ui.dialog("D_LOGIN").press(175);
        ui.in_main([&](gui::MainWindow&) {
            after_login += std::chrono::duration<double>(std::chrono::steady_clock::now() - logged_in).count();
        });
        ui.close_main();
        if (app::MAIN(c, screens) != app::StartResult::Ran) state.SkipWithError("the start did not reach the main window");
    }
    state.counters["after_login_ms"] = after_login * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_StartToMainWindow)->Unit(benchmark::kMillisecond);

}  // namespace
