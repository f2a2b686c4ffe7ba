#pragma once
// Dialog templates and the dialogs built from them. A template names the dialog, gives its
// title and lists its controls, each addressed by a numeric id; the backend lays them out
// as a form (labels and fields aligned, widths from the pictures). A Dialog is the live
// state of one template: values, enabled and visible flags, focus and the callbacks of the
// screen. Both backends drive it through the same user_* entry points, so validation,
// enabling rules and Escape behave the same on the desktop and in tests.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/dates.hpp"

namespace gui {

class Browse;

enum class ControlKind { Label, Edit, Combo, Check, Radio, Button, Browse, Tabs };
enum class EditKind { Text, Number, Date, Password, Memo };

struct DialogTemplate;

struct Control {
    int id = 0;
    ControlKind kind = ControlKind::Label;
    EditKind edit = EditKind::Text;
    std::string text;     // label text, field caption, check/button text, radio group title
    std::string picture;  // edit fields: "@!", "9999", "999,999.99", "@Z 99.99", "@D"
    int width = 0;        // characters; 0 = from the picture
    int rows = 0;         // browse and memo height in lines; 0 = default
    std::vector<std::string> items;  // combo entries, radio options
    std::vector<int> option_ids;     // radio: the ids of its options, when the screen uses them
    std::string image;    // button picture (resource name, e.g. "grabar")
    std::string tooltip;
    bool beside = false;  // placed on the row of the previous control instead of a new row
    bool calendar = true; // date edits: with the calendar button
    std::vector<DialogTemplate> pages;  // tab folder: one template per page
    std::vector<std::string> page_titles;
};

// Fluent builder: DialogTemplate("D_USER", "Usuarios").edit(104, "Código", "@!", 5)...
struct DialogTemplate {
    std::string name;
    std::string title;
    std::vector<Control> controls;
    int default_button = 0;  // pressed by Enter in an edit field; 0 = Enter moves on

    DialogTemplate() = default;
    DialogTemplate(std::string n, std::string t) : name(std::move(n)), title(std::move(t)) {}

    DialogTemplate& label(int id, std::string text);
    DialogTemplate& edit(int id, std::string caption, std::string picture = {}, int width = 0);
    DialogTemplate& number(int id, std::string caption, std::string picture);
    DialogTemplate& date(int id, std::string caption, bool calendar = true);
    DialogTemplate& password(int id, std::string caption, int width);
    DialogTemplate& memo(int id, std::string caption, int width, int rows);
    DialogTemplate& combo(int id, std::string caption, std::vector<std::string> items = {}, int width = 0);
    DialogTemplate& check(int id, std::string text);
    DialogTemplate& radio(int id, std::string title, std::vector<std::string> options,
                          std::vector<int> option_ids = {});
    DialogTemplate& button(int id, std::string text, std::string image = {}, std::string tooltip = {});
    DialogTemplate& browse(int id, int rows = 12);
    DialogTemplate& tabs(int id, std::vector<std::string> titles, std::vector<DialogTemplate> pages);
    // Places the control added last on the same row as the one before it.
    DialogTemplate& beside();
    // Sets the tooltip of the control added last.
    DialogTemplate& tip(std::string tooltip);
    // The button Enter presses from an edit field (the dialog's default button).
    DialogTemplate& default_to(int button_id) {
        default_button = button_id;
        return *this;
    }

    const Control* find(int id) const;  // searches tab pages too; nullptr when absent
};

// Characters an edit field shows for its picture ("999,999.99" -> 10, "@!" -> fallback).
int picture_width(std::string_view picture, int fallback);

// The backend's side of a dialog: told when the model changed so it can redraw.
class DialogView {
public:
    virtual ~DialogView() = default;
    virtual void control_changed(int id) = 0;  // value, items, enabled or visible changed
    virtual void focus_changed(int id) = 0;
    virtual void browse_changed(int id) = 0;   // rows changed: reload and reposition
    virtual void closing() = 0;
};

class Dialog {
public:
    explicit Dialog(DialogTemplate tmpl);
    ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    const DialogTemplate& tmpl() const { return tmpl_; }
    const std::string& name() const { return tmpl_.name; }
    const std::string& title() const { return title_; }
    void set_title(std::string title);
    bool has(int id) const;
    const Control& control(int id) const;  // throws std::out_of_range naming the dialog and id

    // Values by id. Text edits, labels, buttons: text. Numeric edits: number. Date edits:
    // date. Check boxes: checked. Combos and radio groups: selected (1-based, 0 = none).
    // Tab folders: selected page (1-based).
    std::string text(int id) const;
    void set_text(int id, std::string value);
    double number(int id) const;
    void set_number(int id, double value);
    common::Date date(int id) const;
    void set_date(int id, common::Date value);
    bool checked(int id) const;
    void set_checked(int id, bool value);
    int selected(int id) const;
    void set_selected(int id, int position);
    std::string selected_item(int id) const;  // the combo/radio entry text, "" when none
    const std::vector<std::string>& items(int id) const;
    void set_items(int id, std::vector<std::string> items);

    // The value as the field shows it (numbers and dates through their picture).
    std::string display_text(int id) const;

    void enable(int id, bool on = true);
    void disable(int id) { enable(id, false); }
    bool enabled(int id) const;
    void show(int id, bool on = true);
    void hide(int id) { show(id, false); }
    bool visible(int id) const;
    void focus(int id);  // moves the focus without validating (the screen's own choice)
    int focused() const { return focus_; }
    void refresh(int id);  // redraw; for a browse, reload its rows
    // A browse follows its table's current record (after a seek) without reloading rows.
    void reposition(int id);

    void set_browse(int id, std::shared_ptr<Browse> browse);
    Browse& browse(int id) const;
    bool has_browse(int id) const;  // false until set_browse gave the control its rows

    // Ends the modal run with `result` (0 is the conventional "cancelled").
    void close(int result = 0);
    bool closed() const { return closed_; }
    int result() const { return result_; }

    // Callbacks of the screen.
    void on_init(std::function<void()> fn) { init_ = std::move(fn); }
    void on_button(int id, std::function<void()> fn) { buttons_[id] = std::move(fn); }
    void on_change(int id, std::function<void()> fn) { changes_[id] = std::move(fn); }
    // Runs when the focus leaves the field; false keeps the focus on it.
    void on_valid(int id, std::function<bool()> fn) { valids_[id] = std::move(fn); }
    // Enabling rule, evaluated when the dialog starts and after every change and button.
    void when(int id, std::function<bool()> fn) { whens_[id] = std::move(fn); }
    // Escape closes the dialog with result 0 without validating (the default), or is ignored.
    void set_escape_closes(bool on) { escape_closes_ = on; }
    // A button that leaves the field being edited without validating it (exit, cancel).
    void skip_validation(int button_id) { no_validate_.push_back(button_id); }
    bool escape_closes() const { return escape_closes_; }
    // Set while the Escape key is being handled, so a validation can let the user out.
    bool escaping() const { return escaping_; }

    // What the person does; the backends call these. They return false when refused: a
    // disabled or hidden control, or the validation of the field being left failed.
    void start();  // runs on_init, then the enabling rules; focus on the first input
    bool user_focus(int id);  // leaves the focused field (validating it) and enters id
    bool user_set_text(int id, std::string value);  // types into an edit (upper-cased by "@!")
    bool user_set_number(int id, double value);
    bool user_set_date(int id, common::Date value);
    bool user_check(int id, bool value);
    bool user_select(int id, int position);  // combo entry, radio option or tab page
    bool user_select_option(int option_id);  // a radio option by its own id
    bool user_press(int id);  // validates the field being left, then runs the button
    void user_escape();
    // Validates the focused field as if the focus left it; false when it refused.
    bool leave_focused();

    void set_view(DialogView* view) { view_ = view; }

private:
    struct State;
    State& state(int id);
    const State& state(int id) const;
    bool can_use(int id) const;
    void changed(int id);
    void fire_change(int id);
    void apply_rules();

    DialogTemplate tmpl_;
    std::string title_;
    std::map<int, std::unique_ptr<State>> states_;
    std::map<int, int> option_owner_;  // radio option id -> radio group id
    std::map<int, std::function<void()>> buttons_, changes_;
    std::map<int, std::function<bool()>> valids_, whens_;
    std::function<void()> init_;
    std::vector<int> no_validate_;
    DialogView* view_ = nullptr;
    int focus_ = 0;
    bool closed_ = false;
    bool started_ = false;
    bool escape_closes_ = true;
    bool escaping_ = false;
    int result_ = 0;
};

}  // namespace gui
