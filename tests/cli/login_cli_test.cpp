// planilla-cli logs in before the subcommands that change data: options or environment,
// wrong password, and a user without the subcommand's permission position.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "masters/company_init.hpp"
#include "xbase/table.hpp"

namespace fs = std::filesystem;

namespace {

int run(const std::string& cmd, std::string* out = nullptr) {
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int st = pclose(p);
    if (out) *out = text;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace

TEST(CliLogin, SubcommandsThatChangeDataLogInFirst) {
    char tmpl[] = "/tmp/planilla-cli-login-XXXXXX";
    fs::path root = mkdtemp(tmpl);
    masters::InitOptions o;
    o.program_dir = (root / "prog").string();
    o.data_dir = (root / "prog" / "EMP01").string();
    masters::init_company(o);
    const std::string cli = std::string(PLANILLA_CLI) + " backup --company '" + o.data_dir + "' --out '" + root.string() + "'";

    std::string out;
    EXPECT_EQ(run("env -u PLANILLA_USER -u PLANILLA_PASSWORD " + cli, &out), 5) << out;
    EXPECT_NE(out.find("Usuario no inscrito"), std::string::npos) << out;
    EXPECT_EQ(run(cli + " --user KARU --password nope", &out), 5);
    EXPECT_NE(out.find("Clave mal dada"), std::string::npos) << out;
    EXPECT_EQ(run("PLANILLA_USER=karu PLANILLA_PASSWORD=karu " + cli, &out), 0) << out;

    // The same user without position 67 (backup) is refused.
    {
        auto users = xbase::Table::open(o.data_dir + "/USUARIOS.DBF");
        users->go_top();
        ASSERT_FALSE(users->eof());
        std::string p(254, 'S');
        p[66] = 'N';
        ASSERT_TRUE(users->lock_record());
        users->put_text(users->field_index("PERMIS1"), p);
        users->commit();
        users->unlock_record();
    }
    EXPECT_EQ(run(cli + " --user KARU --password KARU", &out), 5);
    EXPECT_NE(out.find("67"), std::string::npos) << out;
    fs::remove_all(root);
}
