#pragma once
// Backends without a screen.
//
// ScriptedUi: a test queues, in the order the program will ask for them, the answers to
// questions and the actions to take in each dialog ("in dialog D_USER set 104 to 'ANA',
// press 175"; "answer the next question No"; "choose Archivos > Bancos"), and reads back
// every alert, question, notice, progress window, dialog and preview in order. A dialog or
// question with no scripted answer throws ScriptError naming the template and text, so the
// test fails where the program went somewhere unexpected.
//
// ConsoleUi: planilla-cli's backend. Alerts and notices go to stderr; questions are
// answered by --yes / --no, or refused (RefusedQuestion) when neither was given; dialogs
// cannot be shown.
#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "gui/ui.hpp"

namespace gui {

class ScriptError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

enum class EventKind {
    Alert, Question, Notice, Beep, ProgressBegin, ProgressEnd, FilePrompt, Prompt,
    DialogOpen, DialogClose, Preview, PrinterSetup, MainWindow, MenuChoice, Shell
};

struct Event {
    EventKind kind;
    std::string title;
    std::string text;
    // Question: "Sí"/"No". DialogClose: the result. ProgressEnd: steps done of total.
    // Prompts: the answer given. Preview: the page count.
    std::string detail;
};

std::string_view event_kind_name(EventKind k);

// One action inside a scripted dialog.
struct DialogAction {
    enum Kind { SetText, SetNumber, SetDate, Check, Select, SelectOption, Press, Escape,
                Focus, BrowseRow, BrowseEnter, BrowseInsert, BrowseDelete, Call, ExpectRefused };
    Kind kind;
    int id = 0;
    std::string text;
    double number = 0;
    int position = 0;
    std::function<void(Dialog&)> call;
};

// The actions for one dialog, built fluently:
//   ui.dialog("D_USER").set(104, "ANA").press(175);
class DialogScript {
public:
    explicit DialogScript(std::string name) : name_(std::move(name)) {}
    DialogScript& set(int id, std::string text);  // text edit, or a number/date typed as text
    DialogScript& set_number(int id, double value);
    DialogScript& set_date(int id, common::Date value);
    DialogScript& check(int id, bool on = true);
    DialogScript& select(int id, int position);  // combo entry, radio option, tab page
    DialogScript& select_option(int option_id);
    DialogScript& focus(int id);
    DialogScript& press(int id);
    DialogScript& escape();
    DialogScript& browse_row(int id, size_t row);  // highlight a row
    DialogScript& browse_enter(int id);
    DialogScript& browse_insert(int id);
    DialogScript& browse_delete(int id);
    // Runs a check or an arbitrary step with the live dialog (assertions in tests).
    DialogScript& call(std::function<void(Dialog&)> fn);
    // The next action must be refused (a failing validation, a disabled control).
    DialogScript& expect_refused();

    const std::string& name() const { return name_; }
    const std::vector<DialogAction>& actions() const { return actions_; }

private:
    std::string name_;
    std::vector<DialogAction> actions_;
};

class ScriptedUi : public Ui {
public:
    ScriptedUi();
    ~ScriptedUi() override;

    // --- what the test queues, in the order the program asks ---
    void answer(bool yes);                 // the next question
    DialogScript& dialog(std::string name);  // the next dialog, which must have this name
    void file(std::string path);           // the next file prompt
    void cancel_file();
    void reply(std::string text);          // the next text prompt
    void cancel_prompt();
    // Main window: choose a menu entry by its prompts, press a tool button, close it.
    void choose(std::vector<std::string> path);
    void tool(std::string tooltip);
    void close_main();
    // Runs a function while the main window is shown (checks of menu enabling and state).
    void in_main(std::function<void(MainWindow&)> fn);

    bool script_done() const { return steps_.empty(); }
    // Throws ScriptError listing what is left when the script was not used up.
    void expect_done() const;

    // --- what the program did ---
    const std::vector<Event>& events() const { return events_; }
    std::vector<Event> events(EventKind kind) const;
    // "Alert[Revisar] Archivos Via no existen" lines, one per event; for failure messages.
    std::string transcript() const;
    void clear_events() { events_.clear(); }
    // Print jobs handed to the preview, in order.
    const std::vector<std::shared_ptr<const print::Job>>& previews() const { return previews_; }

    // --- the Ui port ---
    void alert(std::string_view text, std::string_view title) override;
    bool ask(std::string_view text, std::string_view title) override;
    void notice(std::string_view text, std::string_view title, int seconds) override;
    void beep() override;
    void progress_begin(std::string_view title, std::string_view text, int64_t total) override;
    void progress_update(int64_t done, int64_t total) override;
    void progress_end() override;
    std::optional<std::string> open_file(std::string_view title, std::string_view default_name,
                                         std::string_view pattern) override;
    std::optional<std::string> prompt(const PromptSpec& request) override;
    int run(Dialog& dialog) override;
    void run_main(MainWindow& window) override;
    void preview(const print::Job& job) override;
    void printer_setup() override;

    // A shell that records what would have been started instead of starting it.
    Shell& shell() { return *shell_; }
    // Makes the recorded shell fail, as when the program is missing.
    void set_shell_fails(bool fails) { shell_fails_ = fails; }

    void log(EventKind kind, std::string_view title, std::string_view text, std::string detail = {});

private:
    struct Step {
        enum Kind { Answer, Dialog, File, Prompt, Menu, Tool, CloseMain, InMain };
        explicit Step(Kind k) : kind(k) {}
        Kind kind;
        bool yes = false;
        bool cancel = false;
        std::string text;
        std::vector<std::string> path;
        std::unique_ptr<DialogScript> dialog;
        std::function<void(MainWindow&)> main_fn;
    };
    Step take(Step::Kind expected, std::string_view what);
    std::string describe(const Step& s) const;

    std::deque<Step> steps_;
    std::vector<Event> events_;
    std::vector<std::shared_ptr<const print::Job>> previews_;
    std::string progress_title_;
    int64_t progress_done_ = 0, progress_total_ = 0;
    std::unique_ptr<Shell> shell_;
    bool shell_fails_ = false;
    friend class RecordingShell;
};

class ConsoleUi : public Ui {
public:
    enum class Answers { Refuse, Yes, No };
    explicit ConsoleUi(std::ostream& err, Answers answers = Answers::Refuse);

    void alert(std::string_view text, std::string_view title) override;
    bool ask(std::string_view text, std::string_view title) override;
    void notice(std::string_view text, std::string_view title, int seconds) override;
    void beep() override {}
    void progress_begin(std::string_view title, std::string_view text, int64_t total) override;
    void progress_update(int64_t done, int64_t total) override;
    void progress_end() override;
    std::optional<std::string> open_file(std::string_view title, std::string_view default_name,
                                         std::string_view pattern) override;
    std::optional<std::string> prompt(const PromptSpec& request) override;
    int run(Dialog& dialog) override;
    void run_main(MainWindow& window) override;
    void preview(const print::Job& job) override;
    void printer_setup() override {}

    // How many alerts were shown: a batch subcommand uses it to choose its exit code.
    int alerts() const { return alerts_; }

private:
    std::ostream& err_;
    Answers answers_;
    int alerts_ = 0;
    std::string progress_title_;
    int last_percent_ = -1;
};

// Thrown by ConsoleUi when a question needs --yes or --no.
class RefusedQuestion : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown when a console run reaches a dialog, which needs the desktop program.
class NoDialogs : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace gui
