#pragma once
// A modal window built from a dialog template: captions and fields aligned on a grid
// (caption column, field column; `beside` controls share the row), widths from the pictures
// in characters of the window's font, consecutive buttons in one row, tab folders built
// page by page. Everything the person does goes through the Dialog's user_* entry points,
// so validation, enabling rules and Escape behave as in the scripted backend:
//   - moving the focus (Tab, a click, an access key) calls user_focus; when the field being
//     left refuses, the focus goes back to it and the click is not delivered;
//   - text fields hand every change to user_set_text ("@!" and widths apply as typed);
//     numbers and dates are handed over when the field is left, shown through their
//     picture when not focused and as plain digits while edited;
//   - buttons call user_press, Escape (and the title bar's close button) user_escape;
//   - Enter in a field moves to the next one, in a browse it is the browse's Enter.
#include <QDialog>
#include <QPointer>
#include <map>
#include <vector>

#include "common/dates.hpp"
#include "gui/dialog.hpp"

class QAbstractButton;
class QGridLayout;
class QLabel;
class QLineEdit;
class QTabWidget;
class QToolButton;

namespace gui {
class Clock;
}

namespace gui::qt {

class BrowseView;

class DialogWindow : public QDialog, public DialogView {
    Q_OBJECT
public:
    // `clock` gives today for the calendar of the date fields; `report_date` is where a
    // calendar opened on an empty field starts (today when empty).
    DialogWindow(Dialog& dialog, const Clock& clock, QWidget* parent = nullptr,
                 common::Date report_date = common::kEmptyDate);
    ~DialogWindow() override;

    Dialog& dialog() const { return dialog_; }

    // Runs the dialog's start (on_init, enabling rules, first focus). Called by exec()
    // callers before showing; run() does both.
    void begin();
    // begin() and the modal loop; the dialog's result.
    int run();

    // The control's widget (the QLineEdit, QComboBox, QCheckBox, QGroupBox of a radio group,
    // QPushButton, BrowseView, QTabWidget, QPlainTextEdit or QLabel); nullptr when absent.
    QWidget* widget(int id) const;
    QLabel* caption(int id) const;
    QAbstractButton* radio_option(int id, int position) const;  // 1-based
    QToolButton* calendar_button(int id) const;
    BrowseView* browse_view(int id) const;

    // Enter in a single-line field presses this button instead of moving on (one-field
    // prompts).
    void set_default_button(int id) { default_button_ = id; }
    // A picture shown before the caption of a field (the magnifier of the search prompts).
    void set_caption_picture(int id, const QPixmap& picture);

    // DialogView
    void control_changed(int id) override;
    void focus_changed(int id) override;
    void browse_changed(int id) override;
    void closing() override;

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Binding {
        const Control* control = nullptr;
        QWidget* widget = nullptr;
        QLabel* caption = nullptr;
        QToolButton* calendar = nullptr;
        std::vector<QAbstractButton*> options;  // radio buttons
        QTabWidget* tabs = nullptr;             // the folder holding the control, if any
        int page = 0;                           // 1-based page in that folder
        int tabs_id = 0;
        bool dirty = false;                     // number/date text typed but not handed over
    };

    void build_page(const DialogTemplate& tmpl, QWidget* page, QTabWidget* folder, int folder_id, int page_no);
    QWidget* make_widget(const Control& c, Binding& b, QWidget* parent);
    QWidget* make_edit(const Control& c, Binding& b, QWidget* parent);
    void register_widget(QWidget* w, int id);
    void set_tab_order();

    int id_of(QObject* object) const;
    bool routes_focus(int id) const;
    bool owns(QWidget* w) const;
    bool commit(int id);
    bool move_focus(int to);
    void refocus(int id);
    void update_editing();
    void refresh(int id);
    void press(int id);
    void pick_date(int id);
    void on_focus_changed(QWidget* old, QWidget* now);
    QString edit_text(int id) const;

    Dialog& dialog_;
    const Clock& clock_;
    common::Date report_date_;
    std::map<int, Binding> bindings_;
    std::map<QObject*, int> ids_;
    int editing_ = 0;  // the number/date field shown as plain digits
    int default_button_ = 0;
    int guard_ = 0;     // inside a focus move of our own
    int updating_ = 0;  // widgets being set from the model
    bool closing_ = false;
    bool begun_ = false;
    bool shown_ = false;
    bool expandable_ = false;
};

}  // namespace gui::qt
