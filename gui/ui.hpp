#pragma once
// The ports every screen and process talks to the person through: messages, questions,
// timed notices, progress, prompts, modal dialogs, the main window and print previews. The
// desktop program implements them with Qt (gui/qt/), tests with the scripted backend and
// planilla-cli with the console backend (gui/headless.hpp), so a process runs unchanged in
// all three.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/dates.hpp"

namespace gui {

class Dialog;
class MainWindow;
namespace print {
class Job;
}

// A prompt for one value: the "Buscar por" search boxes and the like.
struct PromptSpec {
    std::string title;
    std::string label;
    std::string initial;
    std::string picture;  // "@!" upper case, "9999" digits only; empty = free text
    int width = 0;        // characters; 0 = from the picture or 20
    std::string image;    // optional picture shown before the label (a magnifier)
};

class Ui {
public:
    virtual ~Ui() = default;

    // A modal message with an information icon and one button "Aceptar".
    virtual void alert(std::string_view text, std::string_view title) = 0;
    // A yes/no question ("Sí"/"No"); destructive ones start "Atención:" and a line break.
    virtual bool ask(std::string_view text, std::string_view title) = 0;
    // A short notice that closes by itself after `seconds`; it never blocks a batch run.
    virtual void notice(std::string_view text, std::string_view title, int seconds) = 0;
    virtual void beep() = 0;

    // Progress windows; use gui::Progress, which throttles the updates.
    virtual void progress_begin(std::string_view title, std::string_view text, int64_t total) = 0;
    virtual void progress_update(int64_t done, int64_t total) = 0;
    virtual void progress_end() = 0;

    // A file to open: title, default name and pattern ("*.DBF"); nullopt when cancelled.
    virtual std::optional<std::string> open_file(std::string_view title, std::string_view default_name,
                                                 std::string_view pattern) = 0;
    // One text value; nullopt when cancelled.
    virtual std::optional<std::string> prompt(const PromptSpec& request) = 0;

    // Runs a dialog modally until it is closed; returns its result (Dialog::close).
    virtual int run(Dialog& dialog) = 0;
    // Shows the main window until it is closed.
    virtual void run_main(MainWindow& window) = 0;
    // Shows a finished print job in the preview, from where it can be printed.
    virtual void preview(const print::Job& job) = 0;
    // The system printer set-up dialog.
    virtual void printer_setup() = 0;
};

// A progress window for a batch pass. step() is cheap: the window is told at most about
// 200 times however many steps there are. Ends the window when destroyed.
class Progress {
public:
    Progress(Ui& ui, std::string_view title, std::string_view text, int64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void step(int64_t n = 1) {
        done_ += n;
        if (done_ >= next_) report();
    }
    int64_t done() const { return done_; }
    void end();

private:
    void report();
    Ui& ui_;
    int64_t total_;
    int64_t done_ = 0;
    int64_t next_ = 0;
    int64_t stride_ = 1;
    bool open_ = true;
};

// Today and the time of day; tests inject a fixed clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual common::Date today() const = 0;
    virtual std::string time() const = 0;  // "hh:mm:ss"
};

class SystemClock : public Clock {
public:
    common::Date today() const override;
    std::string time() const override;
};

class FixedClock : public Clock {
public:
    explicit FixedClock(common::Date today, std::string time = "10:00:00")
        : today_(today), time_(std::move(time)) {}
    common::Date today() const override { return today_; }
    std::string time() const override { return time_; }
    void set(common::Date today) { today_ = today; }

private:
    common::Date today_;
    std::string time_;
};

// Opening files with other programs and starting programs. Arguments always travel as an
// argument vector, never through a command interpreter. A program that cannot be started
// is reported with an alert; the result says whether it started.
class Shell {
public:
    virtual ~Shell() = default;
    // `program` is the name the screens use: "EXCEL.EXE" (spreadsheets), "NOTEPAD.EXE"
    // (text files), "calc" (the calculator); spreadsheets and text files open with the
    // desktop's default application.
    virtual bool open_with(std::string_view program, const std::string& file) = 0;
    virtual bool start(const std::string& program, const std::vector<std::string>& args) = 0;
};

// The programs a named one stands for on this system: {"xdg-open", file} for documents,
// the first calculator found on PATH for "calc"; empty when none is available.
std::vector<std::string> resolve_program(std::string_view program, const std::string& file);

// Starts programs detached with fork/exec (no shell); used by planilla-cli and as the
// fallback of the desktop program.
class SystemShell : public Shell {
public:
    explicit SystemShell(Ui& ui) : ui_(ui) {}
    bool open_with(std::string_view program, const std::string& file) override;
    bool start(const std::string& program, const std::vector<std::string>& args) override;

private:
    Ui& ui_;
};

// Runs argv detached; false (and `error` set) when the program could not be executed.
bool spawn_detached(const std::vector<std::string>& argv, std::string* error);

}  // namespace gui
