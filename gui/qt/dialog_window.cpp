#include "gui/qt/dialog_window.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTimer>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "common/decimal.hpp"
#include "gui/browse.hpp"
#include "gui/mainwin.hpp"
#include "gui/qt/browse_view.hpp"
#include "gui/qt/calendar_dialog.hpp"
#include "gui/qt/icons.hpp"
#include "gui/qt/qt_text.hpp"
#include "gui/ui.hpp"

namespace gui::qt {

namespace {

// The picture's parts as the edit fields need them.
struct Picture {
    bool upper = false;
    std::string tmpl;  // what follows the "@..." function part
};

Picture parse_picture(const std::string& pic) {
    Picture p;
    if (!pic.empty() && pic[0] == '@') {
        size_t sp = pic.find(' ');
        std::string fn = pic.substr(1, sp == std::string::npos ? std::string::npos : sp - 1);
        for (char c : fn)
            if (c == '!') p.upper = true;
        if (sp != std::string::npos) p.tmpl = pic.substr(sp + 1);
    } else {
        p.tmpl = pic;
    }
    if (p.tmpl.find('!') != std::string::npos) p.upper = true;
    return p;
}

bool digits_only(const std::string& tmpl) {
    return !tmpl.empty() && std::all_of(tmpl.begin(), tmpl.end(), [](char c) { return c == '9' || c == '#'; });
}

// Digit places before and after the decimal point of a numeric template; -1 = unlimited.
void number_places(const std::string& tmpl, int& ints, int& decimals) {
    if (tmpl.empty()) {
        ints = -1;
        decimals = -1;
        return;
    }
    ints = 0;
    decimals = 0;
    bool after = false;
    for (char c : tmpl) {
        if (c == '.') after = true;
        else if (c == '9' || c == '#') ++(after ? decimals : ints);
    }
}

int edit_width(QLineEdit* e, int chars, CharKind kind) {
    // The line edit's own size hint is 17 'x' plus its frame and margins; keep the frame.
    QFontMetrics fm = e->fontMetrics();
    int frame = e->sizeHint().width() - fm.horizontalAdvance(QLatin1Char('x')) * 17;
    return std::max(frame, 4) + text_width(fm, std::max(chars, 2), kind) + fm.averageCharWidth() / 2;
}

bool has_caption(ControlKind k) { return k == ControlKind::Edit || k == ControlKind::Combo; }

QString plain(const std::string& s) { return qs(strip_access_key(s)); }

}  // namespace

DialogWindow::DialogWindow(Dialog& dialog, const Clock& clock, QWidget* parent, common::Date report_date)
    : QDialog(parent), dialog_(dialog), clock_(clock), report_date_(report_date) {
    setWindowTitle(qs(dialog_.title()));
    setObjectName(qs(dialog_.name()));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* root = new QWidget(this);
    top->addWidget(root);
    build_page(dialog_.tmpl(), root, nullptr, 0, 0);
    if (!expandable_) top->setSizeConstraint(QLayout::SetFixedSize);
    set_tab_order();
    if (dialog_.tmpl().default_button) default_button_ = dialog_.tmpl().default_button;
    for (auto& [id, b] : bindings_) {
        if (b.control->kind == ControlKind::Browse) {
            auto* view = static_cast<BrowseView*>(b.widget);
            view->set_browse(dialog_.has_browse(id) ? &dialog_.browse(id) : nullptr);
        }
        refresh(id);
    }
    connect(qApp, &QApplication::focusChanged, this, &DialogWindow::on_focus_changed);
    dialog_.set_view(this);
}

DialogWindow::~DialogWindow() {
    closing_ = true;
    ++updating_;
    disconnect(qApp, nullptr, this, nullptr);
    dialog_.set_view(nullptr);
    // The widgets go while this is still a DialogWindow: their last signals (a page or the
    // focus changing as they disappear) find the handlers switched off above.
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

void DialogWindow::begin() {
    if (begun_) return;
    begun_ = true;
    dialog_.start();
    if (dialog_.focused()) refocus(dialog_.focused());
}

int DialogWindow::run() {
    begin();
    if (!dialog_.closed()) exec();
    return dialog_.result();
}

// --- building ---

void DialogWindow::build_page(const DialogTemplate& t, QWidget* page, QTabWidget* folder, int folder_id,
                              int page_no) {
    auto* grid = new QGridLayout(page);
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(10);
    int row = 0;
    bool grows = false;
    QHBoxLayout* line = nullptr;     // the row a `beside` control joins
    QHBoxLayout* buttons = nullptr;  // the row of the buttons in a run
    auto new_line = [] {
        auto* l = new QHBoxLayout;
        l->setSpacing(6);
        l->addStretch(1);
        return l;
    };
    auto add_to_line = [&](QWidget* w, int stretch = 0) { line->insertWidget(line->count() - 1, w, stretch); };
    auto end_buttons = [&] {
        if (buttons) buttons->addStretch(1);
        buttons = nullptr;
    };

    const auto& controls = t.controls;
    for (size_t i = 0; i < controls.size(); ++i) {
        const Control& c = controls[i];
        Binding& b = bindings_[c.id];
        b.control = &c;
        b.tabs = folder;
        b.page = page_no;
        b.tabs_id = folder_id;

        if (c.kind == ControlKind::Button) {
            if (c.beside && line && !buttons) {
                add_to_line(make_widget(c, b, page));
                continue;
            }
            if (!buttons) {
                buttons = new QHBoxLayout;
                buttons->setSpacing(6);
                buttons->addStretch(1);
                grid->addLayout(buttons, row++, 0, 1, 2);
                if (row > 1) grid->setRowMinimumHeight(row - 1, 0);
                line = nullptr;
            }
            buttons->addWidget(make_widget(c, b, page));
            continue;
        }
        end_buttons();

        if (c.beside && line) {
            if (has_caption(c.kind) && !c.text.empty()) {
                auto* cap = new QLabel(qs(c.text), page);
                b.caption = cap;
                add_to_line(cap);
            }
            QWidget* w = make_widget(c, b, page);
            if (b.caption) b.caption->setBuddy(w);
            add_to_line(w);
            if (b.calendar) add_to_line(b.calendar);
            continue;
        }

        // A long run of check boxes (the permission lists) flows into columns.
        if (c.kind == ControlKind::Check) {
            size_t j = i + 1;
            while (j < controls.size() && controls[j].kind == ControlKind::Check && !controls[j].beside) ++j;
            size_t n = j - i;
            if (n >= 8) {
                auto* checks = new QGridLayout;
                checks->setHorizontalSpacing(16);
                checks->setVerticalSpacing(2);
                int cols = static_cast<int>((n + 11) / 12);
                int per_col = static_cast<int>((n + static_cast<size_t>(cols) - 1) / static_cast<size_t>(cols));
                for (size_t k = i; k < j; ++k) {
                    Binding& cb = bindings_[controls[k].id];
                    cb.control = &controls[k];
                    cb.tabs = folder;
                    cb.page = page_no;
                    cb.tabs_id = folder_id;
                    int pos = static_cast<int>(k - i);
                    checks->addWidget(make_widget(controls[k], cb, page), pos % per_col, pos / per_col);
                }
                checks->setColumnStretch(cols, 1);
                grid->addLayout(checks, row++, 0, 1, 2);
                line = nullptr;
                i = j - 1;
                continue;
            }
        }

        line = new_line();
        switch (c.kind) {
        case ControlKind::Label:
            grid->addLayout(line, row++, 0, 1, 2);
            add_to_line(make_widget(c, b, page));
            break;
        case ControlKind::Browse:
        case ControlKind::Tabs: {
            QWidget* w = make_widget(c, b, page);
            // No trailing stretch: the browse or folder takes the width.
            delete line->takeAt(line->count() - 1);
            line->addWidget(w, 1);
            grid->addLayout(line, row, 0, 1, 2);
            grid->setRowStretch(row, 1);
            ++row;
            grows = true;
            break;
        }
        case ControlKind::Edit:
        case ControlKind::Combo: {
            QWidget* w = make_widget(c, b, page);
            bool memo = c.kind == ControlKind::Edit && c.edit == EditKind::Memo;
            if (!c.text.empty()) {
                b.caption = new QLabel(qs(c.text), page);
                b.caption->setBuddy(w);
                grid->addWidget(b.caption, row, 0, memo ? Qt::AlignTop | Qt::AlignLeft : Qt::AlignVCenter | Qt::AlignLeft);
            }
            add_to_line(w, memo ? 1 : 0);
            if (b.calendar) add_to_line(b.calendar);
            grid->addLayout(line, row, 1);
            if (memo) {
                grid->setRowStretch(row, 1);
                grows = true;
            }
            ++row;
            break;
        }
        case ControlKind::Check:
        case ControlKind::Radio:
            add_to_line(make_widget(c, b, page));
            grid->addLayout(line, row++, 1);
            break;
        case ControlKind::Button: break;
        }
    }
    end_buttons();
    if (!grows) grid->setRowStretch(row, 1);
    if (grows) expandable_ = true;
}

QWidget* DialogWindow::make_widget(const Control& c, Binding& b, QWidget* parent) {
    QWidget* w = nullptr;
    switch (c.kind) {
    case ControlKind::Label: {
        auto* l = new QLabel(qs(c.text), parent);
        l->setTextFormat(Qt::PlainText);
        w = l;
        break;
    }
    case ControlKind::Edit: w = make_edit(c, b, parent); break;
    case ControlKind::Combo: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(false);
        if (c.width > 0) {
            combo->setMinimumContentsLength(c.width);
            combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        } else {
            combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        }
        int id = c.id;
        connect(combo, &QComboBox::activated, this, [this, id](int index) {
            if (updating_) return;
            if (!dialog_.user_select(id, index + 1)) refresh(id);
        });
        w = combo;
        break;
    }
    case ControlKind::Check: {
        auto* check = new QCheckBox(qs(c.text), parent);
        int id = c.id;
        connect(check, &QCheckBox::toggled, this, [this, id](bool on) {
            if (updating_) return;
            if (!dialog_.user_check(id, on)) refresh(id);
        });
        w = check;
        break;
    }
    case ControlKind::Radio: {
        auto* group = new QGroupBox(qs(c.text), parent);
        size_t chars = 0;
        for (const auto& item : c.items) chars += item.size() + 4;
        QBoxLayout* box = chars <= 36 ? static_cast<QBoxLayout*>(new QHBoxLayout(group))
                                      : static_cast<QBoxLayout*>(new QVBoxLayout(group));
        int id = c.id;
        for (size_t i = 0; i < c.items.size(); ++i) {
            auto* option = new QRadioButton(qs(c.items[i]), group);
            int pos = static_cast<int>(i) + 1;
            connect(option, &QRadioButton::toggled, this, [this, id, pos](bool on) {
                if (updating_ || !on) return;
                if (!dialog_.user_select(id, pos)) refresh(id);
            });
            box->addWidget(option);
            b.options.push_back(option);
            register_widget(option, id);
        }
        if (box->direction() == QBoxLayout::LeftToRight) box->addStretch(1);
        w = group;
        break;
    }
    case ControlKind::Button: {
        auto* button = new QPushButton(qs(c.text), parent);
        button->setAutoDefault(false);
        button->setDefault(false);
        // A click does not take the focus: the field being edited keeps it, and the press
        // validates it (or, for exit and cancel buttons, does not).
        button->setFocusPolicy(Qt::TabFocus);
        QIcon icon = find_icon(c.image);
        if (!icon.isNull()) {
            button->setIcon(icon);
            int side = std::max(16, button->fontMetrics().height() + 4);
            button->setIconSize(QSize(side, side));
        }
        if (!c.tooltip.empty()) button->setToolTip(qs(c.tooltip));
        int id = c.id;
        connect(button, &QPushButton::clicked, this, [this, id] { press(id); });
        w = button;
        break;
    }
    case ControlKind::Browse: {
        auto* view = new BrowseView(c.rows, parent);
        int id = c.id;
        auto route = [this, id](void (Browse::*action)()) {
            if (!move_focus(id)) {
                refocus(dialog_.focused());
                return;
            }
            if (dialog_.has_browse(id)) (dialog_.browse(id).*action)();
        };
        connect(view, &BrowseView::enterPressed, this, [route] { route(&Browse::enter); });
        connect(view, &BrowseView::insertPressed, this, [route] { route(&Browse::insert); });
        connect(view, &BrowseView::deletePressed, this, [route] { route(&Browse::remove); });
        register_widget(view->viewport(), id);
        w = view;
        break;
    }
    case ControlKind::Tabs: {
        auto* folder = new QTabWidget(parent);
        folder->tabBar()->setFocusPolicy(Qt::NoFocus);
        for (size_t i = 0; i < c.pages.size(); ++i) {
            auto* page = new QWidget(folder);
            QString title = i < c.page_titles.size() ? qs(c.page_titles[i]) : QString::number(i + 1);
            folder->addTab(page, title);
            build_page(c.pages[i], page, folder, c.id, static_cast<int>(i) + 1);
        }
        int id = c.id;
        connect(folder, &QTabWidget::currentChanged, this, [this, id](int index) {
            if (updating_ || index < 0) return;
            if (!dialog_.user_select(id, index + 1)) refresh(id);
        });
        w = folder;
        break;
    }
    }
    w->setObjectName(QStringLiteral("control_%1").arg(c.id));
    b.widget = w;
    register_widget(w, c.id);
    return w;
}

QWidget* DialogWindow::make_edit(const Control& c, Binding& b, QWidget* parent) {
    int id = c.id;
    if (c.edit == EditKind::Memo) {
        auto* memo = new QPlainTextEdit(parent);
        memo->setTabChangesFocus(true);
        QFontMetrics fm = memo->fontMetrics();
        int chars = c.width > 0 ? c.width : 40;
        int lines = c.rows > 0 ? c.rows : 4;
        memo->setMinimumSize(text_width(fm, chars, CharKind::Text) + 2 * memo->frameWidth() + 12,
                             fm.lineSpacing() * lines + 2 * memo->frameWidth() + 10);
        connect(memo, &QPlainTextEdit::textChanged, this, [this, id, memo] {
            if (updating_) return;
            if (!dialog_.user_set_text(id, ss(memo->toPlainText()))) refresh(id);
        });
        register_widget(memo->viewport(), id);
        return memo;
    }

    auto* e = new QLineEdit(parent);
    Picture pic = parse_picture(c.picture);
    int chars = 0;
    CharKind kind = pic.upper ? CharKind::Upper : CharKind::Text;
    switch (c.edit) {
    case EditKind::Number: {
        e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        int ints = 0, decimals = 0;
        number_places(pic.tmpl, ints, decimals);
        QString digits = ints < 0 ? QStringLiteral("\\d*") : QStringLiteral("\\d{0,%1}").arg(ints);
        QString fraction = decimals < 0   ? QStringLiteral("(\\.\\d*)?")
                           : decimals > 0 ? QStringLiteral("(\\.\\d{0,%1})?").arg(decimals)
                                          : QString();
        e->setValidator(new QRegularExpressionValidator(QRegularExpression("-?" + digits + fraction), e));
        chars = c.width > 0 ? c.width : picture_width(c.picture, 12);
        kind = CharKind::Digit;
        connect(e, &QLineEdit::textEdited, this, [this, id] { bindings_[id].dirty = true; });
        break;
    }
    case EditKind::Date: {
        e->setInputMask(QStringLiteral("99/99/9999; "));
        chars = 10;
        kind = CharKind::Digit;
        connect(e, &QLineEdit::textEdited, this, [this, id] { bindings_[id].dirty = true; });
        if (c.calendar) {
            auto* button = new QToolButton(parent);
            button->setArrowType(Qt::DownArrow);
            button->setFocusPolicy(Qt::NoFocus);
            button->setToolTip(QStringLiteral("Calendario"));
            button->setObjectName(QStringLiteral("calendar_%1").arg(id));
            connect(button, &QToolButton::clicked, this, [this, id] { pick_date(id); });
            b.calendar = button;
        }
        break;
    }
    case EditKind::Password:
    case EditKind::Text:
    case EditKind::Memo: {
        if (c.edit == EditKind::Password) e->setEchoMode(QLineEdit::Password);
        int max = c.width > 0 ? c.width : static_cast<int>(QString::fromStdString(pic.tmpl).size());
        if (max > 0) e->setMaxLength(max);
        if (digits_only(pic.tmpl)) {
            e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d*")), e));
            kind = CharKind::Digit;
        }
        chars = max > 0 ? max : 20;
        connect(e, &QLineEdit::textEdited, this, [this, id](const QString& text) {
            if (updating_) return;
            if (!dialog_.user_set_text(id, ss(text))) refresh(id);
        });
        break;
    }
    }
    if (c.edit == EditKind::Password) {
        // Masked characters are drawn as the style's bullet, wider than a letter.
        QFontMetrics fm = e->fontMetrics();
        QChar bullet(e->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, e));
        int frame = e->sizeHint().width() - fm.horizontalAdvance(QLatin1Char('x')) * 17;
        e->setFixedWidth(std::max(frame, 4) + fm.horizontalAdvance(bullet) * (std::min(chars, 80) + 1));
        return e;
    }
    e->setFixedWidth(edit_width(e, std::min(chars, 80), kind));
    return e;
}

void DialogWindow::register_widget(QWidget* w, int id) {
    ids_[w] = id;
    w->installEventFilter(this);
}

void DialogWindow::set_tab_order() {
    std::vector<QWidget*> chain;
    for (auto& [id, b] : bindings_) {
        if (!routes_focus(id)) continue;
        if (b.control->kind == ControlKind::Radio)
            chain.insert(chain.end(), b.options.begin(), b.options.end());
        else
            chain.push_back(b.widget);
    }
    for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void DialogWindow::set_caption_picture(int id, const QPixmap& picture) {
    auto it = bindings_.find(id);
    if (it == bindings_.end() || !it->second.caption || picture.isNull()) return;
    QLabel* cap = it->second.caption;
    auto* grid = qobject_cast<QGridLayout*>(cap->parentWidget()->layout());
    if (!grid) return;
    int index = grid->indexOf(cap);
    if (index < 0) return;
    int r = 0, col = 0, rs = 0, cs = 0;
    grid->getItemPosition(index, &r, &col, &rs, &cs);
    grid->removeWidget(cap);
    auto* cell = new QHBoxLayout;
    auto* pic = new QLabel(cap->parentWidget());
    int side = cap->fontMetrics().height() * 2;
    pic->setPixmap(picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    cell->addWidget(pic);
    cell->addWidget(cap);
    grid->addLayout(cell, r, col, rs, cs);
}

// --- lookups ---

QWidget* DialogWindow::widget(int id) const {
    auto it = bindings_.find(id);
    return it == bindings_.end() ? nullptr : it->second.widget;
}

QLabel* DialogWindow::caption(int id) const {
    auto it = bindings_.find(id);
    return it == bindings_.end() ? nullptr : it->second.caption;
}

QAbstractButton* DialogWindow::radio_option(int id, int position) const {
    auto it = bindings_.find(id);
    if (it == bindings_.end() || position < 1 || position > static_cast<int>(it->second.options.size()))
        return nullptr;
    return it->second.options[static_cast<size_t>(position - 1)];
}

QToolButton* DialogWindow::calendar_button(int id) const {
    auto it = bindings_.find(id);
    return it == bindings_.end() ? nullptr : it->second.calendar;
}

BrowseView* DialogWindow::browse_view(int id) const { return qobject_cast<BrowseView*>(widget(id)); }

int DialogWindow::id_of(QObject* object) const {
    for (QObject* o = object; o && o != this; o = o->parent()) {
        auto it = ids_.find(o);
        if (it != ids_.end()) return it->second;
    }
    return 0;
}

bool DialogWindow::routes_focus(int id) const {
    auto it = bindings_.find(id);
    if (it == bindings_.end()) return false;
    switch (it->second.control->kind) {
    case ControlKind::Edit:
    case ControlKind::Combo:
    case ControlKind::Check:
    case ControlKind::Radio:
    case ControlKind::Browse:
    case ControlKind::Button: return true;
    case ControlKind::Label:
    case ControlKind::Tabs: return false;
    }
    return false;
}

bool DialogWindow::owns(QWidget* w) const { return w && (w == this || isAncestorOf(w)); }

// --- values between widgets and the model ---

QString DialogWindow::edit_text(int id) const {
    auto* e = qobject_cast<QLineEdit*>(widget(id));
    if (!e) return {};
    // A masked field's text() drops the blanks; the date parser wants them in place.
    return e->inputMask().isEmpty() ? e->text() : e->displayText();
}

bool DialogWindow::commit(int id) {
    auto it = bindings_.find(id);
    if (it == bindings_.end() || !it->second.dirty) return true;
    if (!dialog_.user_set_text(id, ss(edit_text(id)))) return false;
    it->second.dirty = false;
    return true;
}

void DialogWindow::refresh(int id) {
    auto it = bindings_.find(id);
    if (it == bindings_.end()) return;
    Binding& b = it->second;
    const Control& c = *b.control;
    ++updating_;
    switch (c.kind) {
    case ControlKind::Label: static_cast<QLabel*>(b.widget)->setText(qs(dialog_.text(id))); break;
    case ControlKind::Button: static_cast<QPushButton*>(b.widget)->setText(qs(dialog_.text(id))); break;
    case ControlKind::Edit: {
        if (c.edit == EditKind::Memo) {
            auto* memo = static_cast<QPlainTextEdit*>(b.widget);
            QString text = qs(dialog_.text(id));
            if (memo->toPlainText() != text) memo->setPlainText(text);
            break;
        }
        auto* e = static_cast<QLineEdit*>(b.widget);
        QString text;
        if (c.edit == EditKind::Number && editing_ == id) {
            int ints = 0, decimals = 0;
            number_places(parse_picture(c.picture).tmpl, ints, decimals);
            text = qs(common::format_fixed(dialog_.number(id), decimals < 0 ? 2 : decimals));
        } else {
            text = qs(dialog_.display_text(id));
        }
        b.dirty = false;
        if (edit_text(id) != text) {
            int cursor = e->cursorPosition();
            e->setText(text);
            if (e->hasFocus()) e->setCursorPosition(std::min<int>(cursor, static_cast<int>(text.size())));
        }
        break;
    }
    case ControlKind::Combo: {
        auto* combo = static_cast<QComboBox*>(b.widget);
        const auto& items = dialog_.items(id);
        bool same = combo->count() == static_cast<int>(items.size());
        for (int i = 0; same && i < combo->count(); ++i) same = combo->itemText(i) == qs(items[static_cast<size_t>(i)]);
        if (!same) {
            combo->clear();
            for (const auto& item : items) combo->addItem(qs(item));
        }
        combo->setCurrentIndex(dialog_.selected(id) - 1);
        break;
    }
    case ControlKind::Check: static_cast<QCheckBox*>(b.widget)->setChecked(dialog_.checked(id)); break;
    case ControlKind::Radio: {
        int sel = dialog_.selected(id);
        for (size_t i = 0; i < b.options.size(); ++i) {
            bool on = static_cast<int>(i) + 1 == sel;
            if (b.options[i]->isChecked() == on) continue;
            // Clearing the checked option of an exclusive group needs exclusivity off.
            b.options[i]->setAutoExclusive(false);
            b.options[i]->setChecked(on);
            b.options[i]->setAutoExclusive(true);
        }
        break;
    }
    case ControlKind::Browse: static_cast<BrowseView*>(b.widget)->follow(); break;
    case ControlKind::Tabs: static_cast<QTabWidget*>(b.widget)->setCurrentIndex(dialog_.selected(id) - 1); break;
    }

    bool enabled = dialog_.enabled(id);
    bool visible = dialog_.visible(id);
    for (QWidget* w : {b.widget, static_cast<QWidget*>(b.caption), static_cast<QWidget*>(b.calendar)}) {
        if (!w) continue;
        if (w->isEnabled() != enabled) w->setEnabled(enabled);
        if (w->isHidden() == visible) w->setVisible(visible);
    }
    --updating_;
    if (windowTitle() != qs(dialog_.title())) setWindowTitle(qs(dialog_.title()));
}

// --- focus ---

bool DialogWindow::move_focus(int to) {
    int from = dialog_.focused();
    if (from && !commit(from)) {
        QApplication::beep();
        return false;
    }
    return dialog_.user_focus(to);
}

void DialogWindow::refocus(int id) {
    auto it = bindings_.find(id);
    if (it == bindings_.end() || closing_) return;
    Binding& b = it->second;
    // A field on a page not shown: show its page first.
    for (Binding* cur = &b; cur->tabs;) {
        if (cur->tabs->currentIndex() != cur->page - 1) dialog_.set_selected(cur->tabs_id, cur->page);
        auto up = bindings_.find(cur->tabs_id);
        if (up == bindings_.end()) break;
        cur = &up->second;
    }
    QWidget* target = b.widget;
    if (b.control->kind == ControlKind::Radio && !b.options.empty()) {
        int sel = dialog_.selected(id);
        target = b.options[static_cast<size_t>(sel >= 1 && sel <= static_cast<int>(b.options.size()) ? sel - 1 : 0)];
    }
    ++guard_;
    // After a message about the refused field the window takes the keyboard back, also
    // where no window manager hands it back.
    QWidget* modal = QApplication::activeModalWidget();
    if (isVisible() && !isActiveWindow() && (!modal || modal == this)) activateWindow();
    if (target && target->focusPolicy() != Qt::NoFocus) target->setFocus(Qt::OtherFocusReason);
    --guard_;
    update_editing();
}

void DialogWindow::update_editing() {
    int now = 0;
    QWidget* f = QApplication::focusWidget();
    if (owns(f)) {
        int id = id_of(f);
        auto it = bindings_.find(id);
        if (it != bindings_.end() && it->second.control->kind == ControlKind::Edit &&
            (it->second.control->edit == EditKind::Number || it->second.control->edit == EditKind::Date))
            now = id;
    }
    if (now == editing_) return;
    int before = editing_;
    editing_ = now;
    if (before && !bindings_[before].dirty) refresh(before);
    if (now) {
        refresh(now);
        if (auto* e = qobject_cast<QLineEdit*>(widget(now))) e->selectAll();
    }
}

void DialogWindow::on_focus_changed(QWidget* old, QWidget* now) {
    if (closing_) return;
    int old_id = owns(old) ? id_of(old) : 0;
    int new_id = owns(now) ? id_of(now) : 0;
    if (new_id && !routes_focus(new_id)) new_id = 0;
    if (!guard_ && new_id && new_id != dialog_.focused()) {
        ++guard_;
        bool ok = move_focus(new_id);
        --guard_;
        if (!ok && !dialog_.closed()) refocus(dialog_.focused());
    } else if (!new_id && old_id) {
        // The focus went to another window (a message, the calendar): keep what was typed.
        commit(old_id);
    }
    if (!closing_) update_editing();
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) &&
        !closing_ && !guard_) {
        auto* w = qobject_cast<QWidget*>(watched);
        int id = id_of(watched);
        auto it = bindings_.find(id);
        if (w && w->isEnabled() && it != bindings_.end() && it->second.control->kind != ControlKind::Button &&
            routes_focus(id) && id != dialog_.focused()) {
            // Qt gives the focus to a widget that takes it by click before it delivers the
            // press, so the field being left has already been asked (on_focus_changed) and
            // refused: the click is not delivered, and the new field does not change.
            bool takes_focus = false;
            for (QWidget* x = w; x && x != this && !takes_focus; x = x->parentWidget())
                takes_focus = (x->focusPolicy() & Qt::ClickFocus) || (x->focusProxy() &&
                                                                       (x->focusProxy()->focusPolicy() & Qt::ClickFocus));
            if (takes_focus) return true;
            // A widget that does not take the focus by click leaves the field here.
            ++guard_;
            bool ok = move_focus(id);
            --guard_;
            if (!ok) {
                if (!dialog_.closed()) refocus(dialog_.focused());
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// --- actions ---

void DialogWindow::press(int id) {
    int from = dialog_.focused();
    if (from && from != id && !commit(from)) {
        QApplication::beep();
        refocus(from);
        return;
    }
    if (!dialog_.user_press(id) && !dialog_.closed()) refocus(dialog_.focused());
}

void DialogWindow::pick_date(int id) {
    if (dialog_.focused() == id) {
        // A half-typed date gives way to the calendar: it starts from the stored date.
        if (!commit(id)) refresh(id);
    } else if (!move_focus(id)) {
        refocus(dialog_.focused());
        return;
    }
    refocus(id);
    const Control& c = *bindings_[id].control;
    QString title = c.text.empty() ? qs(dialog_.title()) : plain(c.text);
    common::Date d = qt::pick_date(dialog_.date(id), report_date_, clock_.today(), title, this);
    if (d != common::kEmptyDate && !dialog_.closed()) dialog_.user_set_date(id, d);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & ~Qt::KeypadModifier)) {
        QWidget* f = focusWidget();
        int id = id_of(f);
        auto it = bindings_.find(id);
        if (it != bindings_.end()) {
            if (it->second.control->kind == ControlKind::Button) {
                if (auto* button = qobject_cast<QAbstractButton*>(f)) button->click();
                return;
            }
            if (default_button_ && qobject_cast<QLineEdit*>(f)) {
                press(default_button_);
                return;
            }
            // Keyboard first: Enter moves on to the next field, as Tab does.
            focusNextChild();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void DialogWindow::reject() {
    if (closing_) {
        QDialog::reject();
        return;
    }
    dialog_.user_escape();
}

void DialogWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_ && expandable_) {
        // A window with a browse opens at its full size (the browse's columns), within the
        // screen. The sizes settle once the pages are laid out, so look after this event.
        shown_ = true;
        QTimer::singleShot(0, this, [this] {
            QSize want = size().expandedTo(sizeHint());
            if (QScreen* s = screen()) want = want.boundedTo(s->availableGeometry().size() * 9 / 10);
            if (want != size()) resize(want);
        });
    }
    if (dialog_.focused()) refocus(dialog_.focused());
}

// --- the model's side ---

void DialogWindow::control_changed(int id) { refresh(id); }

void DialogWindow::focus_changed(int id) { refocus(id); }

void DialogWindow::browse_changed(int id) {
    BrowseView* view = browse_view(id);
    if (!view) return;
    Browse* b = dialog_.has_browse(id) ? &dialog_.browse(id) : nullptr;
    if (view->browse_model()->browse() != b) view->set_browse(b);
    else view->reload();
}

void DialogWindow::closing() {
    if (closing_) return;
    closing_ = true;
    QDialog::done(dialog_.result());
}

}  // namespace gui::qt
