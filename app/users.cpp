#include "app/users.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "common/text.hpp"
#include "common/picture.hpp"
#include "data/workspace.hpp"
#include "xbase/codepage.hpp"
#include "xbase/error.hpp"
#include "xbase/table.hpp"

namespace app {

namespace {

uint8_t rotl(uint8_t v, unsigned k) {
    k &= 7;
    return k == 0 ? v : static_cast<uint8_t>((v << k) | (v >> (8 - k)));
}

uint8_t rotr(uint8_t v, unsigned k) {
    k &= 7;
    return k == 0 ? v : static_cast<uint8_t>((v >> k) | (v << (8 - k)));
}

int field(const xbase::Table& t, std::string_view name) {
    int i = t.field_index(name);
    if (i < 0) t.field(name);  // throws, naming the field and the table
    return i;
}

using common::rtrim;

// Puts the table back on its order and record when a look-up is done.
class KeepPosition {
public:
    explicit KeepPosition(xbase::Table& t) : t_(t), order_(t.order()), recno_(t.recno()), eof_(t.eof()) {}
    ~KeepPosition() {
        try {
            t_.set_order(order_);
            t_.go_to(eof_ ? t_.reccount() + 1 : recno_);
        } catch (...) {
            // A table that cannot be repositioned stays where the look-up left it.
        }
    }
    KeepPosition(const KeepPosition&) = delete;
    KeepPosition& operator=(const KeepPosition&) = delete;

private:
    xbase::Table& t_;
    int order_;
    uint32_t recno_;
    bool eof_;
};

// Seeks a full five-character code in tag 1 and checks that the record found has exactly
// that code (a seek key shorter than the tag would match a prefix).
bool seek_code(xbase::Table& users, const std::string& code) {
    users.set_order(0);
    if (!users.seek(code)) return false;
    return users.get_text(field(users, "CODIGO")) == code;
}

template <class Try>
bool with_retry(Try attempt, std::optional<double> wait_seconds) {
    if (attempt()) return true;
    if (!wait_seconds) return false;
    double w = *wait_seconds;
    auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); };
    if (w == 0) {
        for (;;) {
            pause();
            if (attempt()) return true;
        }
    }
    while (w > 0) {
        pause();
        w -= 0.5;
        if (attempt()) return true;
    }
    return false;
}

}  // namespace

// ---- Scrambling ------------------------------------------------------------------------------

std::string ENCRYPT(std::string_view bytes) {
    std::string out(bytes.size(), '\0');
    const auto key = static_cast<uint8_t>(bytes.size() % 256);
    for (size_t i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<char>(rotl(static_cast<uint8_t>(bytes[i]) ^ key, static_cast<unsigned>(i % 8)));
    return out;
}

std::string DECRYPT(std::string_view bytes) {
    std::string out(bytes.size(), '\0');
    const auto key = static_cast<uint8_t>(bytes.size() % 256);
    for (size_t i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<char>(rotr(static_cast<uint8_t>(bytes[i]), static_cast<unsigned>(i % 8)) ^ key);
    return out;
}

std::string_view trim_blanks(std::string_view s) {
    size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(' ');
    return s.substr(a, e - a + 1);
}

std::string scramble_password(std::string_view utf8) {
    return ENCRYPT(trim_blanks(xbase::from_utf8(utf8, xbase::CodePage::Win1252)));
}

std::string unscramble_password(std::string_view stored) {
    return xbase::to_utf8(DECRYPT(trim_blanks(stored)), xbase::CodePage::Win1252);
}

bool password_matches(std::string_view typed_utf8, std::string_view stored_utf8) {
    std::string typed = xbase::from_utf8(typed_utf8, xbase::CodePage::Win1252);
    std::string stored = xbase::from_utf8(stored_utf8, xbase::CodePage::Win1252);
    return typed.size() >= stored.size() && typed.compare(0, stored.size(), stored) == 0;
}

// ---- The record ------------------------------------------------------------------------------

std::string user_code(std::string_view typed) {
    std::string code = common::upper_utf8(typed);
    // Five characters, counted as characters, not bytes.
    std::string out;
    size_t chars = 0;
    for (size_t i = 0; i < code.size(); ++i) {
        if ((static_cast<unsigned char>(code[i]) & 0xC0) != 0x80) {
            if (chars == static_cast<size_t>(kCodeWidth)) break;
            ++chars;
        }
        out += code[i];
    }
    out.append(static_cast<size_t>(kCodeWidth) - chars, ' ');
    return out;
}

std::string stored_password(const xbase::Table& users) { return users.get_raw(field(users, "CLAVE")); }

void write_stored_password(xbase::Table& users, std::string_view scrambled) {
    // Every byte value has a UTF-8 form in the table's code page that converts back to the
    // same byte, so the scrambled bytes reach the file as they are.
    users.put_text(field(users, "CLAVE"), xbase::to_utf8(scrambled, users.codepage()));
}

UserRecord read_user(const xbase::Table& users) {
    UserRecord u;
    u.code = users.get_text(field(users, "CODIGO"));
    u.name = rtrim(users.get_text(field(users, "NOMBRE")));
    u.password = unscramble_password(stored_password(users));
    u.permissions = users.get_text(field(users, "PERMIS1"));
    u.permissions.resize(static_cast<size_t>(kPermissionLength), ' ');
    u.level = static_cast<int>(users.get_number(field(users, "NIVEL")));
    u.font_size = static_cast<int>(users.get_number(field(users, "TAMFON")));
    u.bold = users.get_logical(field(users, "TIPBOL"));
    u.italic = users.get_logical(field(users, "TIPITA"));
    return u;
}

bool user_exists(xbase::Table& users, std::string_view code) {
    KeepPosition keep(users);
    return seek_code(users, user_code(code));
}

std::optional<UserRecord> find_user(xbase::Table& users, std::string_view code) {
    KeepPosition keep(users);
    if (!seek_code(users, user_code(code))) return std::nullopt;
    return read_user(users);
}

// ---- Writing with retry ----------------------------------------------------------------------

bool lock_with_retry(xbase::Table& t, std::optional<double> wait_seconds) {
    return with_retry([&] { return t.lock_record(); }, wait_seconds);
}

bool append_with_retry(xbase::Table& t, std::optional<double> wait_seconds) {
    return with_retry(
        [&] {
            try {
                t.append_blank();
                return true;
            } catch (const xbase::LockError&) {
                return false;
            }
        },
        wait_seconds);
}

// ---- Seeding and login -----------------------------------------------------------------------

bool seed_users(xbase::Table& users) {
    if (users.reccount() != 0) return false;
    if (!append_with_retry(users) || !lock_with_retry(users)) return false;
    std::string name(kSeededUserName);
    name.resize(50, ' ');
    users.put_text(field(users, "CODIGO"), kSeededUser);
    users.put_number(field(users, "NIVEL"), 9);
    users.put_text(field(users, "NOMBRE"), name);
    write_stored_password(users, ENCRYPT(kSeededUser));
    users.put_text(field(users, "PERMIS1"), std::string(static_cast<size_t>(kPermissionLength), 'S'));
    users.commit();
    users.unlock_record();
    return true;
}

UsersArea::UsersArea(const Session& s, data::Workspace& ws) : ws_(ws) {
    table_ = ws.find(kUserAlias);
    if (!table_) {
        std::string current = ws.current_alias();
        table_ = &ws.open(kUserAlias, s.RutaS, kUserTable, data::OpenMode::Shared);
        opened_ = true;
        if (!current.empty()) ws.select(current);
    }
}

UsersArea::~UsersArea() {
    if (opened_) ws_.close(kUserAlias);
}

LoginCheck check_login(xbase::Table& users, std::string_view code, std::string_view password, UserRecord* found) {
    KeepPosition keep(users);
    if (!seek_code(users, user_code(code))) return LoginCheck::UnknownUser;
    UserRecord u = read_user(users);
    if (found) *found = u;
    return password_matches(password, u.password) ? LoginCheck::Accepted : LoginCheck::WrongPassword;
}

void load_user(Session& s, const UserRecord& u) {
    s.CPERMIS1 = u.permissions;
    s.TOPUSER = u.code;
    s.TAMFON = u.font_size == 0 ? 1 : u.font_size;
    s.TIPBOL = u.bold;
    s.TIPITA = u.italic;
}

LoginMessage login_message(LoginCheck result) {
    switch (result) {
        case LoginCheck::UnknownUser: return {"Usuario no inscrito", "Revisar"};
        case LoginCheck::WrongPassword: return {"Clave mal dada", ""};
        case LoginCheck::Accepted: break;
    }
    return {"", ""};
}

// ---- planilla-cli ----------------------------------------------------------------------------

CliCredentials cli_credentials(const std::optional<std::string>& user, const std::optional<std::string>& password) {
    auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return v ? std::string(v) : std::string();
    };
    return {user ? *user : env("PLANILLA_USER"), password ? *password : env("PLANILLA_PASSWORD")};
}

CliLoginResult cli_login(Session& s, data::Workspace& ws, std::string_view user, std::string_view password) {
    UsersArea area(s, ws);
    xbase::Table& users = area.table();
    seed_users(users);
    s.CEMPRESA = 1;
    UserRecord u;
    // The dialog's edits hold five upper-case characters; the command line gets the same.
    std::string typed = user_code(password);
    LoginCheck r = check_login(users, user, typed, &u);
    CliLoginResult out;
    if (r != LoginCheck::Accepted) {
        s.LPASE = false;
        LoginMessage m = login_message(r);
        out.message = std::string(m.text);
        out.title = std::string(m.title);
        return out;
    }
    load_user(s, u);
    s.LPASE = true;
    out.ok = true;
    return out;
}

const std::vector<std::pair<std::string_view, int>>& cli_permissions() {
    static const std::vector<std::pair<std::string_view, int>> table = {
        {"maint", 66},   // maintenance of every table
        {"backup", 67},  // backup archive of the data directory
    };
    return table;
}

int cli_permission(std::string_view subcommand) {
    for (const auto& [name, position] : cli_permissions())
        if (name == subcommand) return position;
    return 0;
}

bool cli_allowed(const Session& s, std::string_view subcommand) {
    int position = cli_permission(subcommand);
    return position == 0 || s.allowed(position);
}

}  // namespace app
