#pragma once
// The desktop backend of the Ui port: message boxes, questions, timed notices, progress
// windows, file and text prompts, modal dialogs built from their templates, the main window
// and the print preview, all with Qt Widgets and Spanish texts. Needs a QApplication.
#include <memory>
#include <optional>
#include <string>

#include "common/dates.hpp"
#include "gui/ui.hpp"

class QProgressDialog;
class QWidget;

namespace gui::qt {

class QtUi : public Ui {
public:
    explicit QtUi(const Clock& clock);
    ~QtUi() override;

    // Where the calendar of an empty date field opens (the company's report date).
    void set_report_date(common::Date d) { report_date_ = d; }
    common::Date report_date() const { return report_date_; }
    const Clock& clock() const { return clock_; }

    // The window new message boxes and dialogs belong to: the modal one on top, else the
    // active window, else the main window.
    QWidget* parent_widget() const;

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

    // The shell of the desktop program (programs started through Qt, failures as alerts).
    Shell& shell() { return *shell_; }

private:
    const Clock& clock_;
    common::Date report_date_ = common::kEmptyDate;
    QProgressDialog* progress_ = nullptr;
    int64_t progress_scale_ = 1;
    QWidget* main_ = nullptr;
    std::unique_ptr<Shell> shell_;
};

// Starts programs detached with QProcess, arguments as a vector (never through a shell);
// a program that is missing or does not start is reported with an alert.
class QtShell : public Shell {
public:
    explicit QtShell(Ui& ui) : ui_(ui) {}
    bool open_with(std::string_view program, const std::string& file) override;
    bool start(const std::string& program, const std::vector<std::string>& args) override;

private:
    Ui& ui_;
};

// Installs the Spanish translations of Qt's own texts (file dialogs, context menus) and the
// Peruvian locale; the desktop program's main calls it once after creating the application.
void use_spanish();

}  // namespace gui::qt
