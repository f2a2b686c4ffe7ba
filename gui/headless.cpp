#include "gui/headless.hpp"

#include <ostream>

#include <fmt/format.h>

#include "gui/browse.hpp"
#include "gui/dialog.hpp"
#include "gui/mainwin.hpp"
#include "gui/print/page.hpp"

namespace gui {

std::string_view event_kind_name(EventKind k) {
    switch (k) {
    case EventKind::Alert: return "Alert";
    case EventKind::Question: return "Question";
    case EventKind::Notice: return "Notice";
    case EventKind::Beep: return "Beep";
    case EventKind::ProgressBegin: return "ProgressBegin";
    case EventKind::ProgressEnd: return "ProgressEnd";
    case EventKind::FilePrompt: return "FilePrompt";
    case EventKind::Prompt: return "Prompt";
    case EventKind::DialogOpen: return "DialogOpen";
    case EventKind::DialogClose: return "DialogClose";
    case EventKind::Preview: return "Preview";
    case EventKind::PrinterSetup: return "PrinterSetup";
    case EventKind::MainWindow: return "MainWindow";
    case EventKind::MenuChoice: return "MenuChoice";
    case EventKind::Shell: return "Shell";
    }
    return "?";
}

// --- dialog scripts ---

namespace {
DialogAction act(DialogAction::Kind k, int id = 0) {
    DialogAction a;
    a.kind = k;
    a.id = id;
    return a;
}
}  // namespace

DialogScript& DialogScript::set(int id, std::string text) {
    auto a = act(DialogAction::SetText, id);
    a.text = std::move(text);
    actions_.push_back(std::move(a));
    return *this;
}
DialogScript& DialogScript::set_number(int id, double value) {
    auto a = act(DialogAction::SetNumber, id);
    a.number = value;
    actions_.push_back(std::move(a));
    return *this;
}
DialogScript& DialogScript::set_date(int id, common::Date value) {
    auto a = act(DialogAction::SetDate, id);
    a.position = value;
    actions_.push_back(std::move(a));
    return *this;
}
DialogScript& DialogScript::check(int id, bool on) {
    auto a = act(DialogAction::Check, id);
    a.position = on ? 1 : 0;
    actions_.push_back(std::move(a));
    return *this;
}
DialogScript& DialogScript::select(int id, int position) {
    auto a = act(DialogAction::Select, id);
    a.position = position;
    actions_.push_back(std::move(a));
    return *this;
}
DialogScript& DialogScript::select_option(int option_id) {
    actions_.push_back(act(DialogAction::SelectOption, option_id));
    return *this;
}
DialogScript& DialogScript::focus(int id) {
    actions_.push_back(act(DialogAction::Focus, id));
    return *this;
}
DialogScript& DialogScript::press(int id) {
    actions_.push_back(act(DialogAction::Press, id));
    return *this;
}
DialogScript& DialogScript::escape() {
    actions_.push_back(act(DialogAction::Escape));
    return *this;
}
DialogScript& DialogScript::browse_row(int id, size_t row) {
    auto a = act(DialogAction::BrowseRow, id);
    a.position = static_cast<int>(row);
    actions_.push_back(std::move(a));
    return *this;
}
DialogScript& DialogScript::browse_enter(int id) {
    actions_.push_back(act(DialogAction::BrowseEnter, id));
    return *this;
}
DialogScript& DialogScript::browse_insert(int id) {
    actions_.push_back(act(DialogAction::BrowseInsert, id));
    return *this;
}
DialogScript& DialogScript::browse_delete(int id) {
    actions_.push_back(act(DialogAction::BrowseDelete, id));
    return *this;
}
DialogScript& DialogScript::call(std::function<void(Dialog&)> fn) {
    auto a = act(DialogAction::Call);
    a.call = std::move(fn);
    actions_.push_back(std::move(a));
    return *this;
}
DialogScript& DialogScript::expect_refused() {
    actions_.push_back(act(DialogAction::ExpectRefused));
    return *this;
}

// --- scripted backend ---

class RecordingShell : public Shell {
public:
    explicit RecordingShell(ScriptedUi& ui) : ui_(ui) {}
    bool open_with(std::string_view program, const std::string& file) override {
        ui_.log(EventKind::Shell, program, file);
        if (ui_.shell_fails_) {
            ui_.alert("No se pudo ejecutar " + std::string(program) + " " + file, "Revisar");
            return false;
        }
        return true;
    }
    bool start(const std::string& program, const std::vector<std::string>& args) override {
        std::string joined;
        for (const auto& a : args) joined += (joined.empty() ? "" : " ") + a;
        ui_.log(EventKind::Shell, program, joined);
        if (ui_.shell_fails_) {
            ui_.alert("No se pudo ejecutar " + program, "Revisar");
            return false;
        }
        return true;
    }

private:
    ScriptedUi& ui_;
};

ScriptedUi::ScriptedUi() : shell_(std::make_unique<RecordingShell>(*this)) {}
ScriptedUi::~ScriptedUi() = default;

void ScriptedUi::answer(bool yes) {
    Step s(Step::Answer);
    s.yes = yes;
    steps_.push_back(std::move(s));
}

DialogScript& ScriptedUi::dialog(std::string name) {
    Step s(Step::Dialog);
    s.dialog = std::make_unique<DialogScript>(std::move(name));
    steps_.push_back(std::move(s));
    return *steps_.back().dialog;
}

void ScriptedUi::file(std::string path) {
    Step s(Step::File);
    s.text = std::move(path);
    steps_.push_back(std::move(s));
}

void ScriptedUi::cancel_file() {
    Step s(Step::File);
    s.cancel = true;
    steps_.push_back(std::move(s));
}

void ScriptedUi::reply(std::string text) {
    Step s(Step::Prompt);
    s.text = std::move(text);
    steps_.push_back(std::move(s));
}

void ScriptedUi::cancel_prompt() {
    Step s(Step::Prompt);
    s.cancel = true;
    steps_.push_back(std::move(s));
}

void ScriptedUi::choose(std::vector<std::string> path) {
    Step s(Step::Menu);
    s.path = std::move(path);
    steps_.push_back(std::move(s));
}

void ScriptedUi::tool(std::string tooltip) {
    Step s(Step::Tool);
    s.text = std::move(tooltip);
    steps_.push_back(std::move(s));
}

void ScriptedUi::close_main() { steps_.push_back(Step(Step::CloseMain)); }

void ScriptedUi::in_main(std::function<void(MainWindow&)> fn) {
    Step s(Step::InMain);
    s.main_fn = std::move(fn);
    steps_.push_back(std::move(s));
}

std::string ScriptedUi::describe(const Step& s) const {
    switch (s.kind) {
    case Step::Answer: return std::string("answer ") + (s.yes ? "Sí" : "No");
    case Step::Dialog: return "dialog " + s.dialog->name();
    case Step::File: return s.cancel ? "cancel file prompt" : "file " + s.text;
    case Step::Prompt: return s.cancel ? "cancel prompt" : "reply " + s.text;
    case Step::Menu: {
        std::string p;
        for (const auto& x : s.path) p += (p.empty() ? "" : " > ") + x;
        return "menu " + p;
    }
    case Step::Tool: return "tool " + s.text;
    case Step::CloseMain: return "close main window";
    case Step::InMain: return "check in main window";
    }
    return "?";
}

void ScriptedUi::expect_done() const {
    if (steps_.empty()) return;
    std::string left;
    for (const auto& s : steps_) left += "\n  " + describe(s);
    throw ScriptError("script not used up; left:" + left + "\nevents:\n" + transcript());
}

ScriptedUi::Step ScriptedUi::take(Step::Kind expected, std::string_view what) {
    if (steps_.empty() || steps_.front().kind != expected) {
        std::string next = steps_.empty() ? "nothing" : describe(steps_.front());
        throw ScriptError("unexpected " + std::string(what) + " (the script has " + next + " next)\nevents:\n" +
                          transcript());
    }
    Step s = std::move(steps_.front());
    steps_.pop_front();
    return s;
}

std::vector<Event> ScriptedUi::events(EventKind kind) const {
    std::vector<Event> out;
    for (const auto& e : events_)
        if (e.kind == kind) out.push_back(e);
    return out;
}

std::string ScriptedUi::transcript() const {
    std::string out;
    for (const auto& e : events_) {
        out += fmt::format("{}[{}] {}", event_kind_name(e.kind), e.title, e.text);
        if (!e.detail.empty()) out += " -> " + e.detail;
        out += '\n';
    }
    return out;
}

void ScriptedUi::log(EventKind kind, std::string_view title, std::string_view text, std::string detail) {
    events_.push_back(Event{kind, std::string(title), std::string(text), std::move(detail)});
}

void ScriptedUi::alert(std::string_view text, std::string_view title) { log(EventKind::Alert, title, text); }

bool ScriptedUi::ask(std::string_view text, std::string_view title) {
    Step s = take(Step::Answer, fmt::format("question [{}] {}", title, text));
    log(EventKind::Question, title, text, s.yes ? "Sí" : "No");
    return s.yes;
}

void ScriptedUi::notice(std::string_view text, std::string_view title, int seconds) {
    log(EventKind::Notice, title, text, std::to_string(seconds));
}

void ScriptedUi::beep() { log(EventKind::Beep, {}, {}); }

void ScriptedUi::progress_begin(std::string_view title, std::string_view text, int64_t total) {
    progress_title_ = std::string(title);
    progress_done_ = 0;
    progress_total_ = total;
    log(EventKind::ProgressBegin, title, text, std::to_string(total));
}

void ScriptedUi::progress_update(int64_t done, int64_t total) {
    progress_done_ = done;
    progress_total_ = total;
}

void ScriptedUi::progress_end() {
    log(EventKind::ProgressEnd, progress_title_, {}, fmt::format("{}/{}", progress_done_, progress_total_));
}

std::optional<std::string> ScriptedUi::open_file(std::string_view title, std::string_view default_name,
                                                 std::string_view pattern) {
    Step s = take(Step::File, fmt::format("file prompt [{}] {} {}", title, default_name, pattern));
    log(EventKind::FilePrompt, title, default_name, s.cancel ? "cancel" : s.text);
    if (s.cancel) return std::nullopt;
    return s.text;
}

std::optional<std::string> ScriptedUi::prompt(const PromptSpec& request) {
    Step s = take(Step::Prompt, fmt::format("prompt [{}] {}", request.title, request.label));
    log(EventKind::Prompt, request.title, request.label, s.cancel ? "cancel" : s.text);
    if (s.cancel) return std::nullopt;
    return s.text;
}

namespace {

bool apply(Dialog& d, const DialogAction& a) {
    switch (a.kind) {
    case DialogAction::SetText: {
        const Control& c = d.control(a.id);
        (void)c;
        return d.user_set_text(a.id, a.text);
    }
    case DialogAction::SetNumber: return d.user_set_number(a.id, a.number);
    case DialogAction::SetDate: return d.user_set_date(a.id, a.position);
    case DialogAction::Check: return d.user_check(a.id, a.position != 0);
    case DialogAction::Select: return d.user_select(a.id, a.position);
    case DialogAction::SelectOption: return d.user_select_option(a.id);
    case DialogAction::Focus: return d.user_focus(a.id);
    case DialogAction::Press: return d.user_press(a.id);
    case DialogAction::Escape: d.user_escape(); return true;
    case DialogAction::BrowseRow:
        if (!d.user_focus(a.id)) return false;
        if (static_cast<size_t>(a.position) >= d.browse(a.id).rows()) return false;
        d.browse(a.id).select(static_cast<size_t>(a.position));
        return true;
    case DialogAction::BrowseEnter:
        if (!d.user_focus(a.id)) return false;
        d.browse(a.id).enter();
        return true;
    case DialogAction::BrowseInsert:
        if (!d.user_focus(a.id)) return false;
        d.browse(a.id).insert();
        return true;
    case DialogAction::BrowseDelete:
        if (!d.user_focus(a.id)) return false;
        d.browse(a.id).remove();
        return true;
    case DialogAction::Call: a.call(d); return true;
    case DialogAction::ExpectRefused: return true;
    }
    return false;
}

std::string action_text(const DialogAction& a) {
    switch (a.kind) {
    case DialogAction::SetText: return fmt::format("set {} to '{}'", a.id, a.text);
    case DialogAction::SetNumber: return fmt::format("set {} to {}", a.id, a.number);
    case DialogAction::SetDate: return fmt::format("set date {}", a.id);
    case DialogAction::Check: return fmt::format("check {}", a.id);
    case DialogAction::Select: return fmt::format("select {} entry {}", a.id, a.position);
    case DialogAction::SelectOption: return fmt::format("select option {}", a.id);
    case DialogAction::Focus: return fmt::format("focus {}", a.id);
    case DialogAction::Press: return fmt::format("press {}", a.id);
    case DialogAction::Escape: return "escape";
    case DialogAction::BrowseRow: return fmt::format("browse {} row {}", a.id, a.position);
    case DialogAction::BrowseEnter: return fmt::format("browse {} Enter", a.id);
    case DialogAction::BrowseInsert: return fmt::format("browse {} Insert", a.id);
    case DialogAction::BrowseDelete: return fmt::format("browse {} Delete", a.id);
    case DialogAction::Call: return "call";
    case DialogAction::ExpectRefused: return "expect refused";
    }
    return "?";
}

}  // namespace

int ScriptedUi::run(Dialog& d) {
    Step s = take(Step::Dialog, fmt::format("dialog {} \"{}\"", d.name(), d.title()));
    if (s.dialog->name() != d.name())
        throw ScriptError(fmt::format("the program opened dialog {} \"{}\" but the script expected {}\nevents:\n{}",
                                      d.name(), d.title(), s.dialog->name(), transcript()));
    log(EventKind::DialogOpen, d.title(), d.name());
    d.start();
    const auto& actions = s.dialog->actions();
    bool expect_refused = false;
    for (size_t i = 0; i < actions.size(); ++i) {
        const DialogAction& a = actions[i];
        if (a.kind == DialogAction::ExpectRefused) {
            expect_refused = true;
            continue;
        }
        if (d.closed())
            throw ScriptError(fmt::format("dialog {} closed before '{}'\nevents:\n{}", d.name(), action_text(a),
                                          transcript()));
        bool ok = apply(d, a);
        if (expect_refused) {
            if (ok)
                throw ScriptError(fmt::format("dialog {}: '{}' was accepted but should have been refused", d.name(),
                                              action_text(a)));
            expect_refused = false;
        } else if (!ok) {
            throw ScriptError(fmt::format("dialog {}: '{}' was refused (disabled, hidden or failed validation)"
                                          "\nevents:\n{}",
                                          d.name(), action_text(a), transcript()));
        }
    }
    if (!d.closed())
        throw ScriptError(fmt::format("dialog {} left open at the end of its script\nevents:\n{}", d.name(),
                                      transcript()));
    log(EventKind::DialogClose, d.title(), d.name(), std::to_string(d.result()));
    return d.result();
}

void ScriptedUi::run_main(MainWindow& w) {
    log(EventKind::MainWindow, w.title, {});
    while (!w.closed()) {
        if (steps_.empty()) {
            w.close();
            break;
        }
        Step& front = steps_.front();
        if (front.kind == Step::Menu) {
            Step s = take(Step::Menu, "menu");
            std::string p;
            for (const auto& x : s.path) p += (p.empty() ? "" : " > ") + x;
            log(EventKind::MenuChoice, w.title, p);
            if (!w.choose(s.path))
                throw ScriptError("menu entry " + p + " is missing or disabled\nevents:\n" + transcript());
        } else if (front.kind == Step::Tool) {
            Step s = take(Step::Tool, "tool");
            log(EventKind::MenuChoice, w.title, s.text);
            if (!w.press_tool(s.text))
                throw ScriptError("tool button " + s.text + " is missing or disabled\nevents:\n" + transcript());
        } else if (front.kind == Step::InMain) {
            Step s = take(Step::InMain, "check");
            s.main_fn(w);
        } else if (front.kind == Step::CloseMain) {
            take(Step::CloseMain, "close");
            if (!w.on_close_request || w.on_close_request()) w.close();
        } else {
            throw ScriptError("the main window is waiting for a menu choice but the script has " + describe(front) +
                              "\nevents:\n" + transcript());
        }
    }
}

void ScriptedUi::preview(const print::Job& job) {
    auto copy = std::make_shared<const print::Job>(job);
    log(EventKind::Preview, job.title(), {}, std::to_string(job.pages().size()));
    previews_.push_back(std::move(copy));
}

void ScriptedUi::printer_setup() { log(EventKind::PrinterSetup, {}, {}); }

// --- console backend ---

ConsoleUi::ConsoleUi(std::ostream& err, Answers answers) : err_(err), answers_(answers) {}

namespace {
std::string one_line(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\n' || c == '\r') c = ' ';
    return out;
}
}  // namespace

void ConsoleUi::alert(std::string_view text, std::string_view title) {
    ++alerts_;
    if (title.empty()) err_ << one_line(text) << '\n';
    else err_ << one_line(title) << ": " << one_line(text) << '\n';
}

bool ConsoleUi::ask(std::string_view text, std::string_view title) {
    err_ << one_line(title) << ": " << one_line(text);
    if (answers_ == Answers::Yes) {
        err_ << " -> Sí\n";
        return true;
    }
    if (answers_ == Answers::No) {
        err_ << " -> No\n";
        return false;
    }
    err_ << '\n';
    throw RefusedQuestion("la pregunta necesita --yes o --no: " + one_line(text));
}

void ConsoleUi::notice(std::string_view text, std::string_view title, int) {
    if (title.empty()) err_ << one_line(text) << '\n';
    else err_ << one_line(title) << ": " << one_line(text) << '\n';
}

void ConsoleUi::progress_begin(std::string_view title, std::string_view, int64_t) {
    progress_title_ = std::string(title);
    last_percent_ = -1;
}

void ConsoleUi::progress_update(int64_t done, int64_t total) {
    if (total <= 0) return;
    int pct = static_cast<int>(done * 100 / total);
    // Every tenth of the way, so a log stays short.
    if (pct / 10 != last_percent_ / 10) {
        last_percent_ = pct;
        err_ << one_line(progress_title_) << ": " << pct << "%\n";
    }
}

void ConsoleUi::progress_end() {}

std::optional<std::string> ConsoleUi::open_file(std::string_view title, std::string_view, std::string_view) {
    throw NoDialogs("se necesita el programa de escritorio para: " + one_line(title));
}

std::optional<std::string> ConsoleUi::prompt(const PromptSpec& request) {
    throw NoDialogs("se necesita el programa de escritorio para: " + one_line(request.title));
}

int ConsoleUi::run(Dialog& dialog) {
    throw NoDialogs("se necesita el programa de escritorio para el diálogo " + dialog.name() + " (" +
                    one_line(dialog.title()) + ")");
}

void ConsoleUi::run_main(MainWindow&) { throw NoDialogs("se necesita el programa de escritorio"); }

void ConsoleUi::preview(const print::Job& job) {
    err_ << one_line(job.title()) << ": " << job.pages().size() << " páginas (use --pdf para guardarlas)\n";
}

}  // namespace gui
