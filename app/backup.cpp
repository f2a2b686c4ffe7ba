#include "app/backup.hpp"

#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include <fmt/format.h>

#include "common/text.hpp"
#include "xbase/table.hpp"

namespace app {

namespace {

namespace fs = std::filesystem;

std::string upper(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = char(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

using common::trim;

// The table and memo files of the company directory, by name.
std::vector<fs::path> files_to_archive(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        const std::string ext = upper(e.path().extension().string());
        if (ext == ".DBF" || ext == ".FPT") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });
    return files;
}

std::string zip_error_text(int code) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, code);
    std::string s = zip_error_strerror(&ze);
    zip_error_fini(&ze);
    return s;
}

struct Failure {
    std::string problem;
};

// Writes the archive at `path` (which must not exist) with `files` under their bare names.
void write_archive(const fs::path& path, const std::vector<fs::path>& files, std::vector<std::string>& entries) {
    // A file that cannot be read is named here; libzip would only say that one could not.
    for (const auto& f : files) {
        std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(f.c_str(), "rb"), &std::fclose);
        if (!fp) throw Failure{fmt::format("no se puede leer {}: {}", f.filename().string(), std::strerror(errno))};
    }
    int code = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_EXCL, &code);
    if (!za) throw Failure{fmt::format("no se puede crear {}: {}", path.string(), zip_error_text(code))};
    auto fail = [&](const std::string& what) {
        std::string msg = what + ": " + zip_strerror(za);
        zip_discard(za);
        throw Failure{msg};
    };
    for (const auto& f : files) {
        const std::string name = f.filename().string();
        zip_source_t* src = zip_source_file(za, f.c_str(), 0, -1);
        if (!src) fail("no se puede leer " + name);
        const zip_int64_t idx = zip_file_add(za, name.c_str(), src, ZIP_FL_ENC_GUESS);
        if (idx < 0) {
            zip_source_free(src);
            fail("no se puede agregar " + name);
        }
        if (zip_set_file_compression(za, zip_uint64_t(idx), ZIP_CM_DEFLATE, 0) != 0) fail("no se puede comprimir " + name);
        entries.push_back(name);
    }
    if (zip_close(za) != 0) fail("no se puede escribir " + path.filename().string());
}

}  // namespace

std::string backup_archive_name(std::string_view short_name, common::Date day) {
    std::string name = trim(short_name);
    for (char& c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) c = '_';
    }
    // A leading dot would make a hidden file (and ".." a directory).
    for (size_t i = 0; i < name.size() && name[i] == '.'; ++i) name[i] = '_';
    if (name.empty()) name = kBackupFallbackName;
    int y = 0, m = 0, d = 0;
    common::ymd_from_date(day, y, m, d);
    return name + fmt::format("{:02d}{:02d}{:04d}.ZIP", d, m, y);
}

std::string company_short_name(const std::string& dir, const std::string& fallback) {
    try {
        xbase::OpenOptions o;
        o.read_only = true;
        auto t = xbase::Table::open((fs::path(dir) / "EMPRESA.DBF").string(), o);
        const int code = t->field_index("EMCODIGO"), name = t->field_index("EMDESBRE");
        if (code < 0 || name < 0) return fallback;
        t->set_order(-1);
        for (t->go_top(); !t->eof(); t->skip())
            if (trim(t->get_text(code)) == "01") return trim(t->get_text(name));
    } catch (const std::exception&) {
        // Unreadable company table: the name the session holds.
    }
    return fallback;
}

BackupResult ZIPFILES(Session& s, data::Workspace& ws, gui::Ui& ui, const gui::Clock& clock,
                      const std::string& out_dir) {
    ws.close_all();
    BackupResult r;
    const std::string name = backup_archive_name(company_short_name(s.RutaS, s.XLOGO), clock.today());
    const fs::path out = fs::path(out_dir.empty() ? "." : out_dir);
    const fs::path final_path = out / name;
    const fs::path tmp = out / fmt::format(".{}.{}.tmp", name, ::getpid());
    r.archive = final_path.string();
    std::error_code ec;
    bool failed = true;
    try {
        std::vector<fs::path> files;
        try {
            files = files_to_archive(fs::path(s.RutaS));
        } catch (const fs::filesystem_error& e) {
            throw Failure{"no se puede leer el directorio " + s.RutaS + ": " + e.code().message()};
        }
        if (files.empty()) throw Failure{"no hay tablas en " + s.RutaS};
        fs::remove(tmp, ec);
        write_archive(tmp, files, r.entries);
        fs::rename(tmp, final_path, ec);
        if (ec) throw Failure{"no se puede reemplazar " + name + ": " + ec.message()};
        failed = false;
    } catch (const Failure& f) {
        r.problem = f.problem;
    } catch (const std::exception& e) {
        r.problem = e.what();
    }
    if (failed) {
        fs::remove(tmp, ec);
        r.entries.clear();
        ui.alert("No se pudo crear el respaldo " + name + "\n" + r.problem, kBackupTitle);
        return r;
    }
    r.ok = true;
    ui.alert(kBackupDoneText, kBackupDoneTitle);
    return r;
}

}  // namespace app
