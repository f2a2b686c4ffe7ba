#include "gui/dialog.hpp"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "common/decimal.hpp"
#include "common/picture.hpp"
#include "gui/browse.hpp"

namespace gui {

namespace {

Control make(int id, ControlKind kind, std::string text) {
    Control c;
    c.id = id;
    c.kind = kind;
    c.text = std::move(text);
    return c;
}

// The template part of a picture: what follows the "@..." function part.
std::string_view picture_template(std::string_view pic) {
    if (pic.empty() || pic[0] != '@') return pic;
    size_t sp = pic.find(' ');
    return sp == std::string_view::npos ? std::string_view{} : pic.substr(sp + 1);
}

bool has_function(std::string_view pic, char f) {
    if (pic.empty() || pic[0] != '@') return false;
    size_t end = pic.find(' ');
    std::string_view fn = pic.substr(1, end == std::string_view::npos ? pic.npos : end - 1);
    for (char c : fn)
        if (c == f || c == f + ('a' - 'A')) return true;
    return false;
}

size_t utf8_length(std::string_view s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string utf8_prefix(std::string_view s, size_t chars) {
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (n == chars) return std::string(s.substr(0, i));
            ++n;
        }
    }
    return std::string(s);
}

bool is_input(ControlKind k) {
    return k == ControlKind::Edit || k == ControlKind::Combo || k == ControlKind::Check ||
           k == ControlKind::Radio || k == ControlKind::Browse;
}

}  // namespace

int picture_width(std::string_view picture, int fallback) {
    std::string_view t = picture_template(picture);
    if (has_function(picture, 'D')) return 10;
    if (t.empty()) return fallback;
    return static_cast<int>(utf8_length(t));
}

// --- template builder ---

DialogTemplate& DialogTemplate::label(int id, std::string text) {
    controls.push_back(make(id, ControlKind::Label, std::move(text)));
    return *this;
}

DialogTemplate& DialogTemplate::edit(int id, std::string caption, std::string picture, int width) {
    Control c = make(id, ControlKind::Edit, std::move(caption));
    c.picture = std::move(picture);
    c.width = width;
    controls.push_back(std::move(c));
    return *this;
}

DialogTemplate& DialogTemplate::number(int id, std::string caption, std::string picture) {
    Control c = make(id, ControlKind::Edit, std::move(caption));
    c.edit = EditKind::Number;
    c.picture = std::move(picture);
    controls.push_back(std::move(c));
    return *this;
}

DialogTemplate& DialogTemplate::date(int id, std::string caption, bool calendar) {
    Control c = make(id, ControlKind::Edit, std::move(caption));
    c.edit = EditKind::Date;
    c.picture = "@D";
    c.calendar = calendar;
    controls.push_back(std::move(c));
    return *this;
}

DialogTemplate& DialogTemplate::password(int id, std::string caption, int width) {
    Control c = make(id, ControlKind::Edit, std::move(caption));
    c.edit = EditKind::Password;
    c.width = width;
    controls.push_back(std::move(c));
    return *this;
}

DialogTemplate& DialogTemplate::memo(int id, std::string caption, int width, int rows) {
    Control c = make(id, ControlKind::Edit, std::move(caption));
    c.edit = EditKind::Memo;
    c.width = width;
    c.rows = rows;
    controls.push_back(std::move(c));
    return *this;
}

DialogTemplate& DialogTemplate::combo(int id, std::string caption, std::vector<std::string> items, int width) {
    Control c = make(id, ControlKind::Combo, std::move(caption));
    c.items = std::move(items);
    c.width = width;
    controls.push_back(std::move(c));
    return *this;
}

DialogTemplate& DialogTemplate::check(int id, std::string text) {
    controls.push_back(make(id, ControlKind::Check, std::move(text)));
    return *this;
}

DialogTemplate& DialogTemplate::radio(int id, std::string title, std::vector<std::string> options,
                                      std::vector<int> option_ids) {
    Control c = make(id, ControlKind::Radio, std::move(title));
    c.items = std::move(options);
    c.option_ids = std::move(option_ids);
    controls.push_back(std::move(c));
    return *this;
}

DialogTemplate& DialogTemplate::button(int id, std::string text, std::string image, std::string tooltip) {
    Control c = make(id, ControlKind::Button, std::move(text));
    c.image = std::move(image);
    c.tooltip = std::move(tooltip);
    controls.push_back(std::move(c));
    return *this;
}

DialogTemplate& DialogTemplate::browse(int id, int rows) {
    Control c = make(id, ControlKind::Browse, {});
    c.rows = rows;
    controls.push_back(std::move(c));
    return *this;
}

DialogTemplate& DialogTemplate::tabs(int id, std::vector<std::string> titles, std::vector<DialogTemplate> pages) {
    Control c = make(id, ControlKind::Tabs, {});
    c.page_titles = std::move(titles);
    c.pages = std::move(pages);
    controls.push_back(std::move(c));
    return *this;
}

DialogTemplate& DialogTemplate::beside() {
    if (!controls.empty()) controls.back().beside = true;
    return *this;
}

DialogTemplate& DialogTemplate::tip(std::string tooltip) {
    if (!controls.empty()) controls.back().tooltip = std::move(tooltip);
    return *this;
}

const Control* DialogTemplate::find(int id) const {
    for (const auto& c : controls) {
        if (c.id == id) return &c;
        for (const auto& p : c.pages)
            if (const Control* f = p.find(id)) return f;
    }
    return nullptr;
}

// --- dialog ---

struct Dialog::State {
    const Control* control = nullptr;
    std::string text;
    double number = 0;
    common::Date date = common::kEmptyDate;
    bool checked = false;
    int selected = 0;
    std::vector<std::string> items;
    bool enabled = true;
    bool visible = true;
    std::shared_ptr<Browse> browse;
};

Dialog::Dialog(DialogTemplate tmpl) : tmpl_(std::move(tmpl)), title_(tmpl_.title) {
    std::vector<const DialogTemplate*> pending{&tmpl_};
    while (!pending.empty()) {
        const DialogTemplate* t = pending.back();
        pending.pop_back();
        for (const auto& c : t->controls) {
            if (states_.count(c.id))
                throw std::logic_error("dialog " + tmpl_.name + ": control id " + std::to_string(c.id) +
                                       " used twice");
            auto st = std::make_unique<State>();
            st->control = &c;
            st->items = c.items;
            if (c.kind == ControlKind::Label || c.kind == ControlKind::Button) st->text = c.text;
            if (c.kind == ControlKind::Tabs && !c.pages.empty()) st->selected = 1;
            if (c.kind == ControlKind::Radio && !c.items.empty()) st->selected = 1;
            for (size_t i = 0; i < c.option_ids.size(); ++i) option_owner_[c.option_ids[i]] = c.id;
            states_[c.id] = std::move(st);
            for (const auto& p : c.pages) pending.push_back(&p);
        }
    }
}

Dialog::~Dialog() = default;

void Dialog::set_title(std::string title) { title_ = std::move(title); }

bool Dialog::has(int id) const { return states_.count(id) != 0; }

Dialog::State& Dialog::state(int id) {
    auto it = states_.find(id);
    if (it == states_.end())
        throw std::out_of_range("dialog " + tmpl_.name + " has no control " + std::to_string(id));
    return *it->second;
}

const Dialog::State& Dialog::state(int id) const { return const_cast<Dialog*>(this)->state(id); }

const Control& Dialog::control(int id) const { return *state(id).control; }

void Dialog::changed(int id) {
    if (view_) view_->control_changed(id);
}

std::string Dialog::text(int id) const {
    const State& s = state(id);
    if (s.control->kind == ControlKind::Edit && s.control->edit == EditKind::Number) return display_text(id);
    if (s.control->kind == ControlKind::Edit && s.control->edit == EditKind::Date) return display_text(id);
    return s.text;
}

void Dialog::set_text(int id, std::string value) {
    State& s = state(id);
    if (s.control->kind == ControlKind::Edit && s.control->edit == EditKind::Number)
        throw std::logic_error("dialog " + tmpl_.name + ": control " + std::to_string(id) + " is numeric");
    if (s.control->kind == ControlKind::Edit && s.control->edit == EditKind::Date)
        throw std::logic_error("dialog " + tmpl_.name + ": control " + std::to_string(id) + " is a date");
    s.text = std::move(value);
    changed(id);
}

double Dialog::number(int id) const { return state(id).number; }

void Dialog::set_number(int id, double value) {
    state(id).number = value;
    changed(id);
}

common::Date Dialog::date(int id) const { return state(id).date; }

void Dialog::set_date(int id, common::Date value) {
    state(id).date = value;
    changed(id);
}

bool Dialog::checked(int id) const { return state(id).checked; }

void Dialog::set_checked(int id, bool value) {
    state(id).checked = value;
    changed(id);
}

int Dialog::selected(int id) const { return state(id).selected; }

void Dialog::set_selected(int id, int position) {
    State& s = state(id);
    int n = s.control->kind == ControlKind::Tabs ? static_cast<int>(s.control->pages.size())
                                                 : static_cast<int>(s.items.size());
    s.selected = position < 0 || position > n ? 0 : position;
    changed(id);
}

std::string Dialog::selected_item(int id) const {
    const State& s = state(id);
    if (s.selected < 1 || s.selected > static_cast<int>(s.items.size())) return {};
    return s.items[s.selected - 1];
}

const std::vector<std::string>& Dialog::items(int id) const { return state(id).items; }

void Dialog::set_items(int id, std::vector<std::string> items) {
    State& s = state(id);
    s.items = std::move(items);
    if (s.selected > static_cast<int>(s.items.size())) s.selected = s.items.empty() ? 0 : 1;
    changed(id);
}

std::string Dialog::display_text(int id) const {
    const State& s = state(id);
    const Control& c = *s.control;
    if (c.kind == ControlKind::Edit && c.edit == EditKind::Number) {
        if (c.picture.empty()) return common::format_fixed(s.number, 2);
        return common::transform(s.number, c.picture);
    }
    if (c.kind == ControlKind::Edit && c.edit == EditKind::Date) return common::transform_date(s.date, "@D");
    if (c.kind == ControlKind::Combo || c.kind == ControlKind::Radio) return selected_item(id);
    return s.text;
}

void Dialog::enable(int id, bool on) {
    State& s = state(id);
    if (s.enabled == on) return;
    s.enabled = on;
    changed(id);
}

bool Dialog::enabled(int id) const { return state(id).enabled; }

void Dialog::show(int id, bool on) {
    State& s = state(id);
    if (s.visible == on) return;
    s.visible = on;
    changed(id);
}

bool Dialog::visible(int id) const { return state(id).visible; }

void Dialog::focus(int id) {
    state(id);
    focus_ = id;
    if (view_) view_->focus_changed(id);
}

void Dialog::refresh(int id) {
    State& s = state(id);
    if (s.browse) {
        s.browse->reload();
        if (view_) view_->browse_changed(id);
    } else {
        changed(id);
    }
}

void Dialog::reposition(int id) {
    State& s = state(id);
    if (!s.browse) return;
    s.browse->sync();
    if (view_) view_->browse_changed(id);
}

void Dialog::set_browse(int id, std::shared_ptr<Browse> browse) {
    State& s = state(id);
    if (s.control->kind != ControlKind::Browse)
        throw std::logic_error("dialog " + tmpl_.name + ": control " + std::to_string(id) + " is not a browse");
    s.browse = std::move(browse);
    if (view_) view_->browse_changed(id);
}

Browse& Dialog::browse(int id) const {
    const State& s = state(id);
    if (!s.browse)
        throw std::logic_error("dialog " + tmpl_.name + ": browse " + std::to_string(id) + " has no rows");
    return *s.browse;
}

bool Dialog::has_browse(int id) const { return state(id).browse != nullptr; }

void Dialog::close(int result) {
    if (closed_) return;
    closed_ = true;
    result_ = result;
    if (view_) view_->closing();
}

void Dialog::apply_rules() {
    for (auto& [id, fn] : whens_) enable(id, fn());
}

void Dialog::fire_change(int id) {
    auto it = changes_.find(id);
    if (it != changes_.end() && it->second) it->second();
    apply_rules();
}

bool Dialog::can_use(int id) const {
    auto it = states_.find(id);
    if (it == states_.end() || closed_) return false;
    return it->second->enabled && it->second->visible;
}

void Dialog::start() {
    if (started_) return;
    started_ = true;
    if (init_) init_();
    apply_rules();
    if (focus_ == 0) {
        // The first enabled input in the template's order, tab pages where they stand.
        std::function<int(const DialogTemplate&)> first = [&](const DialogTemplate& t) {
            for (const auto& c : t.controls) {
                if (is_input(c.kind) && can_use(c.id)) return c.id;
                for (const auto& p : c.pages)
                    if (int id = first(p)) return id;
            }
            return 0;
        };
        focus_ = first(tmpl_);
    }
    if (view_ && focus_) view_->focus_changed(focus_);
}

bool Dialog::leave_focused() {
    if (focus_ == 0 || closed_) return true;
    auto it = valids_.find(focus_);
    if (it == valids_.end() || !it->second) return true;
    if (!can_use(focus_)) return true;  // a disabled field is not validated
    bool ok = it->second();
    if (!ok && view_) view_->focus_changed(focus_);
    return ok;
}

bool Dialog::user_focus(int id) {
    if (!can_use(id)) return false;
    if (focus_ == id) return true;
    int before = focus_;
    if (!leave_focused()) return false;
    if (closed_) return false;
    // A validation that moved the focus itself (to the field the screen wants next) wins
    // over the field the person was going to.
    if (focus_ != before) return true;
    focus(id);
    return true;
}

bool Dialog::user_set_text(int id, std::string value) {
    if (!can_use(id) || !user_focus(id)) return false;
    State& s = state(id);
    const Control& c = *s.control;
    if (c.kind != ControlKind::Edit) return false;
    if (c.edit == EditKind::Number) {
        std::string digits;
        for (char ch : value)
            if (ch != ',' && ch != ' ') digits += ch;
        if (digits.empty()) digits = "0";
        char* end = nullptr;
        double v = std::strtod(digits.c_str(), &end);
        if (!end || *end != '\0') return false;
        s.number = v;
    } else if (c.edit == EditKind::Date) {
        std::string t = value;
        bool blank = std::all_of(t.begin(), t.end(), [](char ch) { return ch == ' ' || ch == '/'; });
        common::Date d = blank ? common::kEmptyDate : common::ctod(t);
        if (!blank && d == common::kEmptyDate) return false;
        s.date = d;
    } else {
        std::string_view tpl = picture_template(c.picture);
        if (has_function(c.picture, '!') || tpl.find('!') != std::string_view::npos)
            value = common::upper_utf8(value);
        int width = c.width > 0 ? c.width : (tpl.empty() ? 0 : static_cast<int>(utf8_length(tpl)));
        if (width > 0) value = utf8_prefix(value, static_cast<size_t>(width));
        s.text = std::move(value);
    }
    changed(id);
    fire_change(id);
    return true;
}

bool Dialog::user_set_number(int id, double value) {
    if (!can_use(id) || !user_focus(id)) return false;
    State& s = state(id);
    if (s.control->kind != ControlKind::Edit || s.control->edit != EditKind::Number) return false;
    s.number = value;
    changed(id);
    fire_change(id);
    return true;
}

bool Dialog::user_set_date(int id, common::Date value) {
    if (!can_use(id) || !user_focus(id)) return false;
    State& s = state(id);
    if (s.control->kind != ControlKind::Edit || s.control->edit != EditKind::Date) return false;
    s.date = value;
    changed(id);
    fire_change(id);
    return true;
}

bool Dialog::user_check(int id, bool value) {
    if (!can_use(id) || !user_focus(id)) return false;
    State& s = state(id);
    if (s.control->kind != ControlKind::Check) return false;
    s.checked = value;
    changed(id);
    fire_change(id);
    return true;
}

bool Dialog::user_select(int id, int position) {
    State& s = state(id);
    if (s.control->kind == ControlKind::Tabs) {
        // Switching pages does not move the focus, so nothing is validated.
        if (!can_use(id) || position < 1 || position > static_cast<int>(s.control->pages.size())) return false;
        s.selected = position;
        changed(id);
        fire_change(id);
        return true;
    }
    if (!can_use(id) || !user_focus(id)) return false;
    if (s.control->kind != ControlKind::Combo && s.control->kind != ControlKind::Radio) return false;
    if (position < 1 || position > static_cast<int>(s.items.size())) return false;
    s.selected = position;
    changed(id);
    fire_change(id);
    return true;
}

bool Dialog::user_select_option(int option_id) {
    auto it = option_owner_.find(option_id);
    if (it == option_owner_.end()) return false;
    const auto& ids = state(it->second).control->option_ids;
    int pos = static_cast<int>(std::find(ids.begin(), ids.end(), option_id) - ids.begin()) + 1;
    return user_select(it->second, pos);
}

bool Dialog::user_press(int id) {
    if (!can_use(id)) return false;
    if (state(id).control->kind != ControlKind::Button) return false;
    bool skip = std::find(no_validate_.begin(), no_validate_.end(), id) != no_validate_.end();
    if (!skip && !leave_focused()) return false;
    if (closed_) return false;
    auto it = buttons_.find(id);
    if (it != buttons_.end() && it->second) it->second();
    if (!closed_) apply_rules();
    return true;
}

void Dialog::user_escape() {
    if (!escape_closes_ || closed_) return;
    escaping_ = true;
    close(0);
    escaping_ = false;
}

}  // namespace gui
