#pragma once
// Users of a company: the password scrambling of the user table, the seeded first user, the
// login check and the record helpers the user screens write with. The screens themselves
// (login dialog, user maintenance) are in ui/; planilla-cli logs in through cli_login.
//
// USUARIOS (alias "user", tag USER1 on CODIGO): CODIGO C5, NOMBRE C60, CLAVE (scrambled
// password), PERMIS1 C254 ("S"/"N" per position), NIVEL, TAMFON, TIPBOL, TIPITA.
//
// Passwords are scrambled byte by byte on their single-byte (Windows-1252) text, so the
// stored values stay readable by existing installations. The table API speaks UTF-8; the
// helpers below convert, and read and write CLAVE so that the scrambled bytes reach the
// file unchanged.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/session.hpp"

namespace xbase {
class Table;
}
namespace data {
class Workspace;
}

namespace app {

inline constexpr std::string_view kUserAlias = "user";
inline constexpr std::string_view kUserTable = "USUARIOS";
inline constexpr int kCodeWidth = 5;
inline constexpr int kNameWidth = 60;
inline constexpr int kPermissionLength = 254;
// Positions 1..kEditablePermissions are the check boxes of the user dialog; the rest are
// carried over unchanged.
inline constexpr int kEditablePermissions = 72;

// The user added to an empty table; its password equals its code.
inline constexpr std::string_view kSeededUser = "KARU";
inline constexpr std::string_view kSeededUserName = "USUARIO ADMINISTRADOR DEL SISTEMA";
// A user saved with this (trimmed) code always gets every permission.
inline constexpr std::string_view kFullPermissionUser = "TOLMI";

// ---- Scrambling ------------------------------------------------------------------------------

// out(i) = rotate-left(b(i) XOR (n mod 256), i mod 8) over the n bytes of `bytes`.
std::string ENCRYPT(std::string_view bytes);
// The inverse: b(i) = rotate-right(out(i), i mod 8) XOR (n mod 256).
std::string DECRYPT(std::string_view bytes);

// A typed password (UTF-8) to the bytes stored in CLAVE: trimmed, in Windows-1252,
// scrambled.
std::string scramble_password(std::string_view utf8);
// The stored bytes of CLAVE to the password (UTF-8): blanks around them trimmed, then
// unscrambled.
std::string unscramble_password(std::string_view stored);

// Blanks (0x20) trimmed from both ends of a byte string.
std::string_view trim_blanks(std::string_view s);

// The login's prefix rule on the unscrambled password: the typed text is accepted when its
// first m characters are the m characters of the stored password (an empty stored password
// accepts anything).
bool password_matches(std::string_view typed_utf8, std::string_view stored_utf8);

// ---- The record ------------------------------------------------------------------------------

struct UserRecord {
    std::string code;         // padded to five characters, as stored
    std::string name;         // trimmed on the right
    std::string password;     // unscrambled, UTF-8
    std::string permissions;  // exactly kPermissionLength characters
    int level = 0;
    int font_size = 0;
    bool bold = false;
    bool italic = false;
};

// The current record of the user table.
UserRecord read_user(const xbase::Table& users);
// The stored bytes of CLAVE of the current record; writing puts the bytes unchanged into
// the field (the record must be locked in shared mode).
std::string stored_password(const xbase::Table& users);
void write_stored_password(xbase::Table& users, std::string_view scrambled);

// A code as the table keys it: upper case, cut or padded with blanks to five characters.
std::string user_code(std::string_view typed);

// Existence of a user by its full padded code (never a prefix: "AB" is not "ABC"). Leaves
// the table's position and order as they were.
bool user_exists(xbase::Table& users, std::string_view code);
// The record of a user by its full padded code; nullopt when there is none. Leaves the
// table's position and order as they were.
std::optional<UserRecord> find_user(xbase::Table& users, std::string_view code);

// ---- Writing with retry ----------------------------------------------------------------------

// Locks the current record. Without a wait, one attempt; with a wait of 0 seconds, retries
// every half second until it succeeds; with w > 0 seconds, retries every half second while
// the remaining wait is above zero.
bool lock_with_retry(xbase::Table& t, std::optional<double> wait_seconds = std::nullopt);
// Appends a blank record, left current and locked, with the same waiting rule.
bool append_with_retry(xbase::Table& t, std::optional<double> wait_seconds = std::nullopt);

// ---- Seeding and login -----------------------------------------------------------------------

// When the table has no record at all (deleted ones count), adds the seeded user with every
// permission: code KARU, level 9, password KARU. Returns true when it added it.
bool seed_users(xbase::Table& users);

// The user table for the length of a login or a screen: the open area "user" when there is
// one, otherwise USUARIOS of s.RutaS opened shared under that alias and closed again at the
// end.
class UsersArea {
public:
    UsersArea(const Session& s, data::Workspace& ws);
    ~UsersArea();
    UsersArea(const UsersArea&) = delete;
    UsersArea& operator=(const UsersArea&) = delete;
    xbase::Table& table() { return *table_; }

private:
    data::Workspace& ws_;
    xbase::Table* table_ = nullptr;
    bool opened_ = false;
};

enum class LoginCheck { Accepted, UnknownUser, WrongPassword };

// Seeks the typed code (tag 1, padded to five characters) and compares the typed password
// with the stored one under the prefix rule. `found` receives the record when the code
// exists. The table's order and position are left as they were.
LoginCheck check_login(xbase::Table& users, std::string_view code, std::string_view password,
                       UserRecord* found = nullptr);

// The accepted user into the session: CPERMIS1, TOPUSER and the font preferences (a size
// of 0 becomes 1).
void load_user(Session& s, const UserRecord& u);

// The alert a failed check shows: text and title.
struct LoginMessage {
    std::string_view text;
    std::string_view title;
};
LoginMessage login_message(LoginCheck result);

// ---- planilla-cli ----------------------------------------------------------------------------

struct CliCredentials {
    std::string user;
    std::string password;
};
// The options when given, else PLANILLA_USER / PLANILLA_PASSWORD, else empty texts.
CliCredentials cli_credentials(const std::optional<std::string>& user, const std::optional<std::string>& password);

struct CliLoginResult {
    bool ok = false;
    std::string message;  // the desktop's alert text when refused
    std::string title;
};
// Logs in as the desktop program does, without a dialog: seeds an empty user table, checks
// the code and password and, when accepted, loads the user into the session (LPASE true,
// CEMPRESA 1). Uses the open area "user" or opens USUARIOS of s.RutaS for the check.
CliLoginResult cli_login(Session& s, data::Workspace& ws, std::string_view user, std::string_view password);

// The permission position each data-changing subcommand needs (0 for one that needs none).
const std::vector<std::pair<std::string_view, int>>& cli_permissions();
int cli_permission(std::string_view subcommand);
// True when the logged-in user may run the subcommand.
bool cli_allowed(const Session& s, std::string_view subcommand);

}  // namespace app
