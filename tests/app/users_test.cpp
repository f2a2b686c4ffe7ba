// Users without screens: the password scrambling (known answers, round trips of every byte
// value, scrambled bytes read back from the file), the seeded user, the login check with
// its prefix rule, the command-line login and the lock/append waits.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "app/users.hpp"
#include "common/picture.hpp"
#include "data/catalogue.hpp"
#include "data/workspace.hpp"
#include "xbase/table.hpp"

namespace fs = std::filesystem;

namespace {

std::string bytes(std::initializer_list<int> v) {
    std::string s;
    for (int b : v) s.push_back(static_cast<char>(b));
    return s;
}

struct Company {
    fs::path dir;
    Company() {
        char tmpl[] = "/tmp/planilla-users-XXXXXX";
        dir = mkdtemp(tmpl);
        const data::TableDef& def = data::table("USUARIOS");
        xbase::Table::create((dir / "USUARIOS.dbf").string(), def.fields, def.tags)->close();
    }
    ~Company() { fs::remove_all(dir); }
    std::unique_ptr<xbase::Table> open() const { return xbase::Table::open((dir / "USUARIOS.dbf").string()); }
};

// Adds a user the way the user dialog stores it.
void add_user(xbase::Table& t, std::string_view code, std::string_view password, std::string permissions) {
    ASSERT_TRUE(app::append_with_retry(t));
    t.put_text(t.field_index("CODIGO"), code);
    t.put_text(t.field_index("NOMBRE"), "USUARIO DE PRUEBA");
    app::write_stored_password(t, app::scramble_password(password));
    t.put_text(t.field_index("PERMIS1"), permissions);
    t.commit();
    t.unlock_record();
}

}  // namespace

TEST(Scrambling, KnownAnswersAndRoundTrips) {
    struct Case {
        std::string plain, scrambled;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"abc", bytes({0x62, 0xC2, 0x81})},
        {"KARU", bytes({0x4F, 0x8A, 0x59, 0x8A})},
        // Nine bytes: the rotation starts again at the ninth.
        {"AAAAAAAAA", bytes({0x48, 0x90, 0x21, 0x42, 0x84, 0x09, 0x12, 0x24, 0x48})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::ENCRYPT(c.plain), c.scrambled) << c.plain;
        EXPECT_EQ(app::DECRYPT(c.scrambled), c.plain) << c.plain;
    }
    // Any bytes, also above 0x7F, and lengths where n mod 256 wraps to 0 and 1.
    std::mt19937 rng(7);
    for (size_t n : {1u, 5u, 8u, 17u, 255u, 256u, 257u}) {
        std::string s(n, '\0');
        for (char& ch : s) ch = static_cast<char>(rng() & 0xFF);
        std::string e = app::ENCRYPT(s);
        EXPECT_EQ(e.size(), n);
        EXPECT_EQ(app::DECRYPT(e), s) << n;
    }
    // Typed text travels as Windows-1252: "Ñ" is the byte 0xD1 before scrambling.
    EXPECT_EQ(app::scramble_password("  Ñ  "), app::ENCRYPT("\xD1"));
    EXPECT_EQ(app::unscramble_password(" " + app::ENCRYPT("\xD1") + "    "), "Ñ");
}

TEST(Scrambling, StoredBytesSurviveTheTable) {
    Company co;
    // Scrambled values full of bytes that are not plain text in the code page.
    const std::vector<std::string> passwords = {"KARU", "ÑANDÚ", "A1B2C", "ZZ"};
    {
        auto t = co.open();
        t->set_order(0);
        for (size_t i = 0; i < passwords.size(); ++i)
            add_user(*t, "U" + std::to_string(i), passwords[i], std::string(254, 'N'));
    }
    auto t = co.open();
    t->set_order(0);
    for (size_t i = 0; i < passwords.size(); ++i) {
        ASSERT_TRUE(t->seek("U" + std::to_string(i)));
        std::string stored = app::stored_password(*t);
        std::string want = app::scramble_password(passwords[i]);
        EXPECT_EQ(stored.substr(0, want.size()), want) << passwords[i];
        EXPECT_EQ(stored.find_first_not_of(' ', want.size()), std::string::npos);
        EXPECT_EQ(app::read_user(*t).password, passwords[i]);
    }
}

TEST(Users, EmptyTableSeededOnceAndItsLoginAccepted) {
    Company co;
    auto t = co.open();
    t->set_order(0);
    EXPECT_TRUE(app::seed_users(*t));
    EXPECT_FALSE(app::seed_users(*t));
    EXPECT_EQ(t->reccount(), 1u);

    auto r = co.open();
    r->go_top();
    app::UserRecord u = app::read_user(*r);
    EXPECT_EQ(u.code, "KARU ");
    EXPECT_EQ(u.level, 9);
    EXPECT_EQ(u.permissions, std::string(254, 'S'));
    EXPECT_EQ(u.password, "KARU");
    EXPECT_EQ(app::stored_password(*r).substr(0, 4), bytes({0x4F, 0x8A, 0x59, 0x8A}));
    EXPECT_FALSE(u.name.empty());
    EXPECT_EQ(u.name, common::upper_utf8(u.name));

    // The dialog's pre-filled "KARU " / "KARU ".
    EXPECT_EQ(app::check_login(*r, "KARU ", "KARU "), app::LoginCheck::Accepted);
}

TEST(Users, LoginCheckPrefixRuleAndFullCodes) {
    Company co;
    auto t = co.open();
    t->set_order(0);
    add_user(*t, "ANA", "AB", std::string(254, 'S'));
    add_user(*t, "LIBRE", "", std::string(254, 'N'));
    add_user(*t, "ABCDE", "X", std::string(254, 'N'));

    struct Case {
        const char* code;
        const char* password;
        app::LoginCheck want;
    };
    const std::vector<Case> cases = {
        {"ANA", "AB", app::LoginCheck::Accepted},
        {"ana  ", "AB   ", app::LoginCheck::Accepted},  // the dialog's padded, upper-cased entries
        {"ANA", "ABXYZ", app::LoginCheck::Accepted},    // longer, beginning with the password
        {"ANA", "A", app::LoginCheck::WrongPassword},
        {"ANA", "XB", app::LoginCheck::WrongPassword},
        {"LIBRE", "CUALQ", app::LoginCheck::Accepted},  // an empty password accepts anything
        {"LIBRE", "", app::LoginCheck::Accepted},
        {"AN", "AB", app::LoginCheck::UnknownUser},     // a prefix of a code is not the code
        {"ABC", "X", app::LoginCheck::UnknownUser},
        {"NADIE", "AB", app::LoginCheck::UnknownUser},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::check_login(*t, c.code, c.password), c.want) << c.code << " / " << c.password;

    // The check leaves the table where it was.
    t->go_top();
    uint32_t before = t->recno();
    app::check_login(*t, "NADIE", "");
    EXPECT_EQ(t->recno(), before);
    EXPECT_EQ(t->order(), 0);
}

TEST(Users, CommandLineLoginAndPermissions) {
    Company co;
    app::Session s;
    s.RutaS = co.dir.string();
    data::Workspace ws;

    // An empty table is seeded as at start-up, so the first login works.
    app::CliLoginResult r = app::cli_login(s, ws, "karu", "karu");
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_TRUE(s.LPASE);
    EXPECT_EQ(s.TOPUSER, "KARU ");
    EXPECT_FALSE(ws.is_open("user"));  // opened for the check only

    {
        auto t = co.open();
        t->set_order(0);
        std::string perms(254, 'N');
        perms[65] = 'S';  // 66: maintenance, but not 67: backup
        add_user(*t, "OPER", "CLAVE", perms);
    }
    r = app::cli_login(s, ws, "OPER", "MALA");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Clave mal dada");
    EXPECT_FALSE(s.LPASE);
    EXPECT_EQ(s.TOPUSER, "KARU ");  // a refused login changes nobody

    r = app::cli_login(s, ws, "NADIE", "X");
    EXPECT_EQ(r.message, "Usuario no inscrito");
    EXPECT_EQ(r.title, "Revisar");

    ASSERT_TRUE(app::cli_login(s, ws, "OPER", "CLAVE").ok);
    EXPECT_TRUE(app::cli_allowed(s, "maint"));
    EXPECT_FALSE(app::cli_allowed(s, "backup"));
    EXPECT_TRUE(app::cli_allowed(s, "dbf"));  // needs no permission
    EXPECT_EQ(app::cli_permission("backup"), 67);

    setenv("PLANILLA_USER", "ENV", 1);
    setenv("PLANILLA_PASSWORD", "PWD", 1);
    app::CliCredentials c = app::cli_credentials(std::string("OPT"), std::nullopt);
    EXPECT_EQ(c.user, "OPT");
    EXPECT_EQ(c.password, "PWD");
    unsetenv("PLANILLA_USER");
    unsetenv("PLANILLA_PASSWORD");
    EXPECT_EQ(app::cli_credentials(std::nullopt, std::nullopt).user, "");
}

TEST(Users, LockAndAppendWaitOnlyWhenAsked) {
    Company co;
    auto t = co.open();
    t->set_order(0);
    add_user(*t, "ANA", "X", std::string(254, 'N'));
    auto other = co.open();
    other->go_top();
    ASSERT_TRUE(other->lock_record());

    t->go_top();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(app::lock_with_retry(*t));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(app::lock_with_retry(*t, 1.0));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));

    other->unlock_record();
    EXPECT_TRUE(app::lock_with_retry(*t, 1.0));
    t->unlock_record();
    EXPECT_TRUE(app::append_with_retry(*t));
    EXPECT_EQ(t->reccount(), 2u);
}
