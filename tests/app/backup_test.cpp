// The backup archive: what it holds (read back by unzip and Python's zipfile), its name,
// replacing the day's earlier archive, and failures that must leave that archive intact.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "app/backup.hpp"
#include "cli/maint_tool.hpp"
#include "gui/headless.hpp"
#include "tests/app/maint_fixture.hpp"

using namespace maint_fixture;

namespace {

const common::Date kDay = common::date_from_ymd(2011, 3, 5);

void set_short_name(const Company& c, const std::string& name) {
    auto t = open_excl(c.file("EMPRESA.DBF"));
    t->set_order("Emp1");
    ASSERT_TRUE(t->seek("01"));
    t->put_text(t->field_index("EMDESBRE"), name);
    t->close();
}

// A company with a table that has a memo file, a table in lower case and a file that is no
// table, and an output directory.
struct Fixture {
    Company c;
    std::string out;
    Fixture() {
        set_short_name(c, "TIENDA");
        auto t = xbase::Table::create(c.file("NOTAS.DBF"), {{"CODIGO", 'C', 4}, {"TEXTO", 'M', 10}});
        t->append_blank();
        t->put_text(0, "0001");
        t->put_text(1, "una nota que va al archivo de memos");
        t->close();
        xbase::Table::create(c.file("extra.dbf"), {{"CODIGO", 'C', 4}})->close();
        write_file(c.file("LEEME.TXT"), "no es una tabla\n");
        out = (c.root / "out").string();
        fs::create_directory(out);
    }
};

struct Backup {
    gui::ScriptedUi ui;
    app::Session s;
    data::Workspace ws;
    gui::FixedClock clock{kDay};
    app::BackupResult r;

    explicit Backup(const Company& c) {
        s.RutaS = c.data;
        s.XLOGO = "OTRO";
    }
    app::BackupResult& go(const std::string& out) {
        r = app::ZIPFILES(s, ws, ui, clock, out);
        return r;
    }
    bool success_shown() const {
        for (const auto& e : ui.events(gui::EventKind::Alert))
            if (e.text == app::kBackupDoneText && e.title == app::kBackupDoneTitle) return true;
        return false;
    }
};

std::string run_command(const std::string& cmd, int* rc) {
    std::string text;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    *rc = ::pclose(p);
    return text;
}

// The entry names of an archive, after checking with Python's zipfile that every entry is
// deflated and byte-equal to the file of that name in `dir`.
std::vector<std::string> python_entries(const std::string& zip, const std::string& dir) {
    const std::string script =
        "import os, sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "for i in z.infolist():\n"
        "    assert i.compress_type == zipfile.ZIP_DEFLATED, i.filename\n"
        "    assert z.read(i) == open(os.path.join(sys.argv[2], i.filename), 'rb').read(), i.filename\n"
        "    print(i.filename)\n";
    write_file(dir + "/../check_zip.py", script);
    int rc = -1;
    std::string text = run_command("/usr/bin/python3 '" + dir + "/../check_zip.py' '" + zip + "' '" + dir + "' 2>&1", &rc);
    EXPECT_EQ(rc, 0) << text;
    std::vector<std::string> names;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) names.push_back(line);
    return names;
}

std::vector<std::string> files_in(const std::string& dir) {
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(dir)) r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
}

}  // namespace

TEST(Backup, ArchiveHoldsTheTablesAndMemoFiles) {
    Fixture f;
    Backup b(f.c);
    b.ws.open(data::table("EMPRESA"), f.c.data);
    app::BackupResult& r = b.go(f.out);
    ASSERT_TRUE(r.ok) << r.problem << "\n" << b.ui.transcript();
    EXPECT_TRUE(b.ws.aliases().empty());
    // The name comes from the company record, not from what the session holds.
    EXPECT_EQ(r.archive, (fs::path(f.out) / "TIENDA05032011.ZIP").string());
    EXPECT_EQ(files_in(f.out), std::vector<std::string>{"TIENDA05032011.ZIP"});

    std::vector<std::string> expected;
    for (const std::string& n : files_in(f.c.data)) {
        std::string ext = fs::path(n).extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::toupper);
        if (ext == ".DBF" || ext == ".FPT") expected.push_back(n);
    }
    EXPECT_TRUE(std::count(expected.begin(), expected.end(), "NOTAS.FPT"));
    EXPECT_TRUE(std::count(expected.begin(), expected.end(), "extra.dbf"));
    EXPECT_EQ(r.entries, expected);
    EXPECT_EQ(python_entries(r.archive, f.c.data), expected);
    int rc = -1;
    std::string text = run_command("unzip -t '" + r.archive + "' 2>&1", &rc);
    EXPECT_EQ(rc, 0) << text;

    auto alerts = b.ui.events(gui::EventKind::Alert);
    ASSERT_EQ(alerts.size(), 1u) << b.ui.transcript();
    EXPECT_TRUE(b.success_shown());
}

TEST(Backup, SecondBackupOfTheDayReplacesTheFirst) {
    Fixture f;
    Backup first(f.c);
    ASSERT_TRUE(first.go(f.out).ok) << first.ui.transcript();
    add(f.c, "BANCOS", {{"BCCODIGO", "002"}, {"BCDESCRI", "BANCO NUEVO"}});
    Backup second(f.c);
    ASSERT_TRUE(second.go(f.out).ok) << second.ui.transcript();
    EXPECT_EQ(files_in(f.out), std::vector<std::string>{"TIENDA05032011.ZIP"});
    // Entries are compared with the files as they are now.
    EXPECT_EQ(python_entries(second.r.archive, f.c.data).size(), second.r.entries.size());
}

TEST(Backup, FailureKeepsTheEarlierArchiveAndShowsNoSuccess) {
    Fixture f;
    {
        Backup b(f.c);
        ASSERT_TRUE(b.go(f.out).ok) << b.ui.transcript();
    }
    const Snapshot before = snapshot(f.out);
    add(f.c, "BANCOS", {{"BCCODIGO", "002"}});

    // No room for the new archive: every write past a few bytes fails, as on a full disk.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{2048, 2048};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        Backup b(f.c);
        app::BackupResult& r = b.go(f.out);
        auto alerts = b.ui.events(gui::EventKind::Alert);
        bool ok = !r.ok && !b.success_shown() && alerts.size() == 1 && alerts[0].title == app::kBackupTitle &&
                  alerts[0].text.rfind("No se pudo crear el respaldo TIENDA05032011.ZIP\n", 0) == 0;
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed backup did not report as expected";
    EXPECT_EQ(changed(before, snapshot(f.out)), std::vector<std::string>{});

    // An output directory that does not exist.
    Backup b(f.c);
    EXPECT_FALSE(b.go((fs::path(f.out) / "no-existe").string()).ok);
    EXPECT_FALSE(b.success_shown());
    ASSERT_EQ(b.ui.events(gui::EventKind::Alert).size(), 1u);
    EXPECT_EQ(b.ui.events(gui::EventKind::Alert)[0].title, app::kBackupTitle);
}

TEST(Backup, ArchiveNamesAreSafeFileNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"TIENDA", "TIENDA05032011.ZIP"},
        {"  MI TIENDA  ", "MI TIENDA05032011.ZIP"},
        {"A/B:C", "A_B_C05032011.ZIP"},
        {"x*?\"<>|\\y", "x_______y05032011.ZIP"},
        {"a\tb\x7f", "a_b_05032011.ZIP"},
        {"..", "__05032011.ZIP"},
        {".oculto", "_oculto05032011.ZIP"},
        {"A.B", "A.B05032011.ZIP"},
        {"", "RESPALDO05032011.ZIP"},
        {"   ", "RESPALDO05032011.ZIP"},
        {"PANADERÍA", "PANADERÍA05032011.ZIP"},
    };
    for (const auto& [name, want] : cases) EXPECT_EQ(app::backup_archive_name(name, kDay), want) << name;

    // Through the whole backup: the archive lands in the output directory itself.
    Fixture f;
    set_short_name(f.c, "A/B:C");
    Backup b(f.c);
    ASSERT_TRUE(b.go(f.out).ok) << b.ui.transcript();
    EXPECT_EQ(files_in(f.out), std::vector<std::string>{"A_B_C05032011.ZIP"});
    // Without a company record the session's short name is used.
    fs::remove(f.c.file("EMPRESA.DBF"));
    EXPECT_EQ(app::company_short_name(f.c.data, "OTRO"), "OTRO");
}

TEST(Backup, CommandLine) {
    Fixture f;
    std::ostringstream out, err;
    EXPECT_EQ(cli::run_backup({"--out", f.out}, out, err), 2);
    EXPECT_EQ(cli::run_backup({"--company", f.c.data, "--out", f.out}, out, err), 0) << err.str();
    auto files = files_in(f.out);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rfind("TIENDA", 0), 0u) << files[0];
    EXPECT_NE(err.str().find("El Sistema Retornara a Windows"), std::string::npos) << err.str();
    EXPECT_EQ(cli::run_backup({"--company", f.c.data, "--out", f.out + "/no-existe"}, out, err), 1);
}
