#pragma once
// The main window of the desktop program, drawn from a gui::MainWindow: the menu bar from
// its MenuItem tree (each menu re-evaluates its entries' conditions when it is about to be
// shown, and the entry's message goes to the status bar while it is highlighted), the tool
// bar of picture buttons (their conditions re-evaluated after every action and whenever the
// window becomes active again), the status bar with the message, today's date and the
// insert/overwrite state, and the background colour with an optional stretched picture.
#include <QMainWindow>
#include <QPixmap>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;

namespace gui {
class Clock;
class MainWindow;
struct MenuItem;
struct ToolButton;
}  // namespace gui

namespace gui::qt {

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    MainFrame(MainWindow& window, const Clock& clock, QWidget* parent = nullptr);
    ~MainFrame() override;

    // Title, status, date, tool buttons and top menus from the model again.
    void refresh();

    // For tests and screenshots: the menu or entry at a path of prompts (with or without
    // "&"), the tool bar's action with a tooltip, the status bar's parts.
    QMenu* menu(const std::vector<std::string>& path) const;
    QAction* action(const std::vector<std::string>& path) const;
    QAction* tool(const std::string& tooltip) const;
    QLabel* status_label() const { return status_; }
    QLabel* date_label() const { return date_; }
    QLabel* keys_label() const { return keys_; }
    bool overwrite() const { return overwrite_; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        QAction* action;
        const MenuItem* item;
    };
    void add_entries(QMenu* menu, const std::vector<MenuItem>& items);
    void update_menu(QMenu* menu);
    void run(const std::function<void()>& action);
    void show_keys();

    MainWindow& window_;
    const Clock& clock_;
    std::vector<std::pair<QMenu*, std::vector<Entry>>> menus_;
    std::vector<Entry> top_;
    std::vector<std::pair<QAction*, const ToolButton*>> tools_;
    QLabel* status_ = nullptr;
    QLabel* date_ = nullptr;
    QLabel* keys_ = nullptr;
    std::function<void()> saved_changed_;
    bool overwrite_ = false;
    bool closing_ = false;
};

}  // namespace gui::qt
