#include "gui/mainwin.hpp"

#include "common/text.hpp"

namespace gui {

std::string strip_access_key(std::string_view prompt) {
    std::string out;
    for (size_t i = 0; i < prompt.size(); ++i) {
        if (prompt[i] == '&') {
            if (i + 1 < prompt.size() && prompt[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += prompt[i];
    }
    return out;
}

namespace {

using common::trim;

bool same_prompt(const std::string& prompt, const std::string& wanted) {
    return prompt == wanted || trim(strip_access_key(prompt)) == trim(strip_access_key(wanted));
}

}  // namespace

const MenuItem* MainWindow::find(const std::vector<std::string>& path) const {
    const std::vector<MenuItem>* level = &menus;
    const MenuItem* found = nullptr;
    for (const auto& p : path) {
        found = nullptr;
        for (const auto& m : *level)
            if (!m.separator && same_prompt(m.prompt, p)) {
                found = &m;
                break;
            }
        if (!found) return nullptr;
        level = &found->children;
    }
    return found;
}

bool MainWindow::choose(const std::vector<std::string>& path) {
    // Every menu on the way must be enabled too, as it is on screen.
    const std::vector<MenuItem>* level = &menus;
    const MenuItem* found = nullptr;
    for (const auto& p : path) {
        found = nullptr;
        for (const auto& m : *level)
            if (!m.separator && same_prompt(m.prompt, p)) {
                found = &m;
                break;
            }
        if (!found || !found->enabled()) return false;
        level = &found->children;
    }
    if (!found || !found->children.empty() || !found->action) return false;
    found->action();
    return true;
}

bool MainWindow::press_tool(std::string_view tooltip) {
    for (const auto& t : tools)
        if (t.tooltip == tooltip) {
            if (!t.enabled() || !t.action) return false;
            t.action();
            return true;
        }
    return false;
}

void MainWindow::set_title(std::string t) {
    title = std::move(t);
    if (changed) changed();
}

void MainWindow::set_status(std::string s) {
    status = std::move(s);
    if (changed) changed();
}

}  // namespace gui
