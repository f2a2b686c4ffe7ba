#pragma once
// The backup of a company directory: every table file (.DBF) and memo file (.FPT) of RutaS
// packed into one ZIP archive named after the company's short name and the day,
// TIENDA05032011.ZIP, in the program's working directory. Index files are not archived: a
// restored directory gets them back from a maintenance run.
//
// The archive is written under a temporary name and renamed over an earlier archive of the
// same day only once it is complete, so a backup that fails leaves that one intact.
#include <string>
#include <string_view>
#include <vector>

#include "app/session.hpp"
#include "common/dates.hpp"
#include "data/workspace.hpp"
#include "gui/ui.hpp"

namespace app {

inline constexpr const char* kBackupTitle = "Respaldo de Seguridad";
inline constexpr const char* kBackupDoneText = "El Sistema Retornara a Windows";
inline constexpr const char* kBackupDoneTitle = "Proceso Terminado";
// Name used when the company's short name leaves nothing usable.
inline constexpr const char* kBackupFallbackName = "RESPALDO";

struct BackupResult {
    bool ok = false;
    std::string archive;               // full path of the archive (also when it failed)
    std::vector<std::string> entries;  // names stored in the archive, in order
    std::string problem;               // when it failed: what went wrong
};

// The archive's file name: the short name trimmed, with every character that cannot be in
// a file name (/ \ : * ? " < > |, control characters, leading dots) replaced by "_", then
// day, month and four-digit year and ".ZIP". An empty name becomes kBackupFallbackName.
std::string backup_archive_name(std::string_view short_name, common::Date day);

// The short name EMDESBRE of company record "01" in the EMPRESA table of `dir`; `fallback`
// when the table cannot be read or has no record "01".
std::string company_short_name(const std::string& dir, const std::string& fallback);

// The backup of `s.RutaS` into `out_dir` (the program's working directory). Closes every work
// area of `ws` first. Shows "El Sistema Retornara a Windows" only when the archive is in
// place; any failure is alerted instead.
BackupResult ZIPFILES(Session& s, data::Workspace& ws, gui::Ui& ui, const gui::Clock& clock,
                      const std::string& out_dir);

}  // namespace app
