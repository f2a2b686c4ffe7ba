#include "cli/maint_tool.hpp"

#include <filesystem>
#include <optional>
#include <ostream>

#include "app/backup.hpp"
#include "app/maintenance.hpp"
#include "data/workspace.hpp"

namespace cli {

const char* const kMaintUsage =
    "usage: planilla-cli maint --company DATADIR [--yes|--no]\n"
    "  Rebuilds every index of the company directory DATADIR, compacts its tables, removes\n"
    "  records without a key and recreates the work tables. Every table must be free (no\n"
    "  other workstation may have it open). --yes answers the confirmation; without it\n"
    "  nothing is done.\n";

const char* const kBackupUsage =
    "usage: planilla-cli backup --company DATADIR [--out DIR]\n"
    "  Packs the table and memo files of DATADIR into SHORTNAMEddmmyyyy.ZIP in DIR (the\n"
    "  current directory by default), replacing an archive of the same day.\n";

namespace {

struct Args {
    std::string company;
    std::string out_dir;
    gui::ConsoleUi::Answers answers = gui::ConsoleUi::Answers::Refuse;
};

// Parses "--company DIR" (or --company=DIR) and the options the tool allows. Returns the exit
// code when the arguments end the run (help, errors).
std::optional<int> parse(const std::vector<std::string>& args, const char* tool, const char* usage,
                         bool answers, bool out_dir, Args& a, std::ostream& out, std::ostream& err) {
    auto value = [&](size_t& i, const std::string& opt, std::string& into) -> bool {
        const std::string& s = args[i];
        if (s == opt) {
            if (i + 1 >= args.size()) {
                err << "planilla-cli " << tool << ": " << opt << " needs a directory\n" << usage;
                return false;
            }
            into = args[++i];
        } else {
            into = s.substr(opt.size() + 1);
        }
        return true;
    };
    bool yes = false, no = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& s = args[i];
        if (s == "--help" || s == "-h") {
            out << usage;
            return 0;
        } else if (s == "--company" || s.rfind("--company=", 0) == 0) {
            if (!value(i, "--company", a.company)) return 2;
        } else if (out_dir && (s == "--out" || s.rfind("--out=", 0) == 0)) {
            if (!value(i, "--out", a.out_dir)) return 2;
        } else if (answers && s == "--yes") {
            yes = true;
        } else if (answers && s == "--no") {
            no = true;
        } else {
            err << "planilla-cli " << tool << ": unexpected argument " << s << "\n" << usage;
            return 2;
        }
    }
    if (yes && no) {
        err << "planilla-cli " << tool << ": --yes and --no exclude each other\n" << usage;
        return 2;
    }
    if (a.company.empty()) {
        err << "planilla-cli " << tool << ": --company DATADIR is required\n" << usage;
        return 2;
    }
    if (yes) a.answers = gui::ConsoleUi::Answers::Yes;
    if (no) a.answers = gui::ConsoleUi::Answers::No;
    return std::nullopt;
}

app::Session session_for(const std::string& company) {
    app::Session s;
    s.RutaS = company;
    return s;
}

}  // namespace

int maint_session(app::Session& s, gui::ConsoleUi& ui, std::ostream& out) {
    data::Workspace ws;
    app::MaintenanceResult r;
    try {
        r = app::U_MANT(s, ws, ui);
    } catch (const gui::RefusedQuestion& e) {
        ui.alert(e.what(), "planilla-cli maint");
        return 3;
    }
    switch (r.outcome) {
        case app::MaintenanceResult::Outcome::Declined:
            return 3;
        case app::MaintenanceResult::Outcome::Done:
            out << r.indexed.size() << " tables and " << r.periods.size() << " payroll tables re-indexed\n";
            return 0;
        default:
            return 1;
    }
}

int backup_session(app::Session& s, gui::ConsoleUi& ui, const std::string& out_dir, std::ostream& out) {
    data::Workspace ws;
    gui::SystemClock clock;
    app::BackupResult r = app::ZIPFILES(s, ws, ui, clock, out_dir);
    if (!r.ok) return 1;
    out << r.archive << ": " << r.entries.size() << " files\n";
    return 0;
}

int run_maint(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const SessionCheck& check) {
    Args a;
    if (auto rc = parse(args, "maint", kMaintUsage, true, false, a, out, err)) return *rc;
    gui::ConsoleUi ui(err, a.answers);
    app::Session s = session_for(a.company);
    if (check)
        if (int rc = check(s, ui); rc != 0) return rc;
    return maint_session(s, ui, out);
}

int run_backup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const SessionCheck& check) {
    Args a;
    if (auto rc = parse(args, "backup", kBackupUsage, false, true, a, out, err)) return *rc;
    gui::ConsoleUi ui(err);
    app::Session s = session_for(a.company);
    if (check)
        if (int rc = check(s, ui); rc != 0) return rc;
    std::error_code ec;
    const std::string out_dir = a.out_dir.empty() ? std::filesystem::current_path(ec).string() : a.out_dir;
    return backup_session(s, ui, out_dir, out);
}

}  // namespace cli
