#include "gui/ui.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include <fmt/format.h>

namespace gui {

Progress::Progress(Ui& ui, std::string_view title, std::string_view text, int64_t total)
    : ui_(ui), total_(total < 0 ? 0 : total) {
    // About 200 updates over the whole pass, whatever its length.
    stride_ = total_ / 200;
    if (stride_ < 1) stride_ = 1;
    next_ = stride_;
    ui_.progress_begin(title, text, total_);
}

Progress::~Progress() { end(); }

void Progress::report() {
    next_ = done_ + stride_;
    if (open_) ui_.progress_update(done_, total_);
}

void Progress::end() {
    if (!open_) return;
    ui_.progress_update(done_, total_);
    open_ = false;
    ui_.progress_end();
}

common::Date SystemClock::today() const {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return common::date_from_ymd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string SystemClock::time() const {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return fmt::format("{:02}:{:02}:{:02}", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

namespace {

bool on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string_view rest(path);
    while (!rest.empty()) {
        size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        if (dir.empty()) continue;
        std::error_code ec;
        auto p = std::filesystem::path(dir) / name;
        if (std::filesystem::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0) return true;
    }
    return false;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

std::vector<std::string> resolve_program(std::string_view program, const std::string& file) {
    std::string p = lower(program);
    if (p == "calc" || p == "calc.exe") {
        for (const char* c : {"gnome-calculator", "kcalc", "mate-calc", "galculator", "qalculate-gtk", "xcalc"})
            if (on_path(c)) return {c};
        return {};
    }
    // Spreadsheets, text files and anything else named by a Windows program open with the
    // desktop's default application for the file.
    if (!file.empty()) {
        if (on_path("xdg-open")) return {"xdg-open", file};
        return {};
    }
    return {};
}

bool spawn_detached(const std::vector<std::string>& argv, std::string* error) {
    if (argv.empty()) {
        if (error) *error = "sin programa";
        return false;
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    // The grandchild runs the program; a close-on-exec pipe carries back an exec failure.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    pid_t child = ::fork();
    if (child < 0) {
        if (error) *error = std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (child == 0) {
        ::close(fds[0]);
        ::setsid();
        pid_t grand = ::fork();
        if (grand == 0) {
            ::execvp(args[0], args.data());
            int e = errno;
            ssize_t w = ::write(fds[1], &e, sizeof e);
            (void)w;
            ::_exit(127);
        }
        if (grand < 0) {
            int e = errno;
            ssize_t w = ::write(fds[1], &e, sizeof e);
            (void)w;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    int e = 0;
    ssize_t n = ::read(fds[0], &e, sizeof e);
    ::close(fds[0]);
    if (n == static_cast<ssize_t>(sizeof e)) {
        if (error) *error = std::strerror(e);
        return false;
    }
    return true;
}

bool SystemShell::open_with(std::string_view program, const std::string& file) {
    auto argv = resolve_program(program, file);
    std::string error = "programa no disponible";
    if (!argv.empty() && spawn_detached(argv, &error)) return true;
    std::string what(program);
    if (!file.empty()) what += " " + file;
    ui_.alert("No se pudo ejecutar " + what + " (" + error + ")", "Revisar");
    return false;
}

bool SystemShell::start(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string error;
    if (spawn_detached(argv, &error)) return true;
    ui_.alert("No se pudo ejecutar " + program + " (" + error + ")", "Revisar");
    return false;
}

}  // namespace gui
