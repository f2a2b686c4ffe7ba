#pragma once
// The main window as data: title, menu tree, tool bar, status bar and background. Each
// menu entry and tool button has an enabling condition evaluated every time the menu is
// shown, so a new login changes what is enabled without rebuilding anything.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace gui {

struct MenuItem {
    std::string prompt;   // "&" marks the access key
    std::string message;  // shown in the status bar while the entry is highlighted
    std::function<void()> action;
    std::function<bool()> condition;  // empty = always enabled
    std::vector<MenuItem> children;   // a sub-menu when not empty
    bool separator = false;

    static MenuItem separator_line() {
        MenuItem m;
        m.separator = true;
        return m;
    }
    bool enabled() const { return !condition || condition(); }
};

struct ToolButton {
    std::string image;    // resource name ("salir", "calc")
    std::string tooltip;
    std::function<void()> action;
    std::function<bool()> condition;
    bool enabled() const { return !condition || condition(); }
};

// The prompt without its "&" markers ("&Archivos" -> "Archivos"; "&&" stays one "&").
std::string strip_access_key(std::string_view prompt);

class MainWindow {
public:
    std::string title;
    std::vector<MenuItem> menus;  // the menu bar: each top entry holds its children
    std::vector<ToolButton> tools;
    std::string status;            // the status bar's message when no entry is highlighted
    std::string background_colour = "#3A6EA5";
    std::string background_image;  // stretched over the client area when the file exists

    // Finds an entry by its path of prompts, compared with or without "&"; nullptr if absent.
    const MenuItem* find(const std::vector<std::string>& path) const;

    // Runs the entry at `path`, as choosing it from the menu does; false when it does not
    // exist, is a sub-menu or separator, or is disabled.
    bool choose(const std::vector<std::string>& path);
    // Runs the tool button with this tooltip; false when absent or disabled.
    bool press_tool(std::string_view tooltip);

    void close() { closed_ = true; }
    bool closed() const { return closed_; }
    void reopen() { closed_ = false; }

    // Called by the backend when the window is asked to close (the title bar's button);
    // false keeps it open.
    std::function<bool()> on_close_request;
    // The backends redraw title and status when told.
    std::function<void()> changed;
    void set_title(std::string t);
    void set_status(std::string s);

private:
    bool closed_ = false;
};

}  // namespace gui
