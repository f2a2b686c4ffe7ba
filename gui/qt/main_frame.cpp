#include "gui/qt/main_frame.hpp"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <functional>

#include "common/dates.hpp"
#include "gui/mainwin.hpp"
#include "gui/qt/icons.hpp"
#include "gui/qt/qt_text.hpp"
#include "gui/ui.hpp"

namespace gui::qt {

namespace {

// The client area: the background colour and, when its file exists, the picture stretched
// over it.
class Backdrop : public QWidget {
public:
    Backdrop(const std::string& colour, const std::string& image, QWidget* parent) : QWidget(parent) {
        colour_ = QColor(qs(colour));
        if (!colour_.isValid()) colour_ = QColor(0, 128, 128);
        if (!image.empty()) picture_.load(qs(image));
        setAutoFillBackground(false);
    }
    bool has_picture() const { return !picture_.isNull(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), colour_);
        if (!picture_.isNull()) p.drawPixmap(rect(), picture_);
    }

private:
    QColor colour_;
    QPixmap picture_;
};

bool same_prompt(const std::string& a, const std::string& b) {
    auto trim = [](std::string s) {
        size_t x = s.find_first_not_of(' ');
        if (x == std::string::npos) return std::string();
        return s.substr(x, s.find_last_not_of(' ') - x + 1);
    };
    return a == b || trim(strip_access_key(a)) == trim(strip_access_key(b));
}

QString plain_name(const std::string& prompt) { return qs(strip_access_key(prompt)).trimmed(); }

}  // namespace

MainFrame::MainFrame(MainWindow& window, const Clock& clock, QWidget* parent)
    : QMainWindow(parent), window_(window), clock_(clock) {
    setObjectName("main_window");
    setCentralWidget(new Backdrop(window_.background_colour, window_.background_image, this));

    for (const MenuItem& top : window_.menus) {
        if (top.separator) continue;
        QMenu* m = menuBar()->addMenu(qs(top.prompt));
        m->setObjectName(plain_name(top.prompt));
        top_.push_back({m->menuAction(), &top});
        if (top.children.empty()) {
            // A top entry without a menu of its own runs its action.
            QAction* a = m->menuAction();
            a->setStatusTip(qs(top.message));
            const MenuItem* item = &top;
            connect(a, &QAction::triggered, this, [this, item] { run(item->action); });
        } else {
            add_entries(m, top.children);
        }
    }

    auto* bar = addToolBar(QStringLiteral("Herramientas"));
    bar->setObjectName("tool_bar");
    bar->setMovable(false);
    bar->setIconSize(QSize(30, 30));
    bar->setCursor(Qt::PointingHandCursor);
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const ToolButton& t : window_.tools) {
        QIcon icon = find_icon(t.image);
        auto* a = new QAction(icon, qs(t.tooltip), this);
        a->setToolTip(qs(t.tooltip));
        a->setStatusTip(qs(t.tooltip));
        if (icon.isNull()) {
            // No picture installed: the button shows a short text instead.
            a->setIconText(qs(t.tooltip));
        }
        const ToolButton* tool = &t;
        connect(a, &QAction::triggered, this, [this, tool] { run(tool->action); });
        bar->addAction(a);
        tools_.push_back({a, &t});
    }
    // Without a picture a tool button would be blank in icon-only style.
    for (auto& [a, t] : tools_)
        if (a->icon().isNull())
            if (auto* w = bar->widgetForAction(a))
                if (auto* b = qobject_cast<QToolButton*>(w)) b->setToolButtonStyle(Qt::ToolButtonTextOnly);

    status_ = new QLabel(this);
    date_ = new QLabel(this);
    keys_ = new QLabel(this);
    keys_->setAlignment(Qt::AlignCenter);
    keys_->setMinimumWidth(keys_->fontMetrics().horizontalAdvance(QStringLiteral("SOB")) + 16);
    date_->setMinimumWidth(date_->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000")) + 16);
    date_->setAlignment(Qt::AlignCenter);
    statusBar()->addWidget(status_, 1);
    statusBar()->addPermanentWidget(date_);
    statusBar()->addPermanentWidget(keys_);
    show_keys();

    saved_changed_ = window_.changed;
    window_.changed = [this] {
        if (saved_changed_) saved_changed_();
        refresh();
    };
    qApp->installEventFilter(this);
    refresh();
    resize(900, 600);
}

MainFrame::~MainFrame() {
    qApp->removeEventFilter(this);
    window_.changed = saved_changed_;
}

void MainFrame::add_entries(QMenu* menu, const std::vector<MenuItem>& items) {
    std::vector<Entry> entries;
    for (const MenuItem& item : items) {
        if (item.separator) {
            menu->addSeparator();
            continue;
        }
        if (!item.children.empty()) {
            QMenu* sub = menu->addMenu(qs(item.prompt));
            sub->menuAction()->setStatusTip(qs(item.message));
            entries.push_back({sub->menuAction(), &item});
            add_entries(sub, item.children);
            continue;
        }
        QAction* a = menu->addAction(qs(item.prompt));
        a->setStatusTip(qs(item.message));
        const MenuItem* entry = &item;
        connect(a, &QAction::triggered, this, [this, entry] {
            // The condition may have changed since the menu was drawn.
            if (entry->enabled()) run(entry->action);
        });
        entries.push_back({a, &item});
    }
    menus_.push_back({menu, std::move(entries)});
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { update_menu(menu); });
}

void MainFrame::update_menu(QMenu* menu) {
    for (auto& [m, entries] : menus_) {
        if (m != menu) continue;
        for (const Entry& e : entries) e.action->setEnabled(e.item->enabled());
    }
}

void MainFrame::run(const std::function<void()>& action) {
    if (action) action();
    if (window_.closed()) {
        closing_ = true;
        close();
        return;
    }
    refresh();
}

void MainFrame::refresh() {
    setWindowTitle(qs(window_.title));
    status_->setText(qs(window_.status));
    date_->setText(qs(common::dtoc(clock_.today())));
    for (const Entry& e : top_) e.action->setEnabled(e.item->enabled());
    for (auto& [a, t] : tools_) a->setEnabled(t->enabled());
}

void MainFrame::show_keys() { keys_->setText(overwrite_ ? QStringLiteral("SOB") : QStringLiteral("INS")); }

QMenu* MainFrame::menu(const std::vector<std::string>& path) const {
    QAction* a = action(path);
    return a ? a->menu() : nullptr;
}

QAction* MainFrame::action(const std::vector<std::string>& path) const {
    QList<QAction*> level = menuBar()->actions();
    QAction* found = nullptr;
    for (const std::string& p : path) {
        found = nullptr;
        for (QAction* a : level)
            if (!a->isSeparator() && same_prompt(ss(a->text()), p)) {
                found = a;
                break;
            }
        if (!found) return nullptr;
        level = found->menu() ? found->menu()->actions() : QList<QAction*>{};
    }
    return found;
}

QAction* MainFrame::tool(const std::string& tooltip) const {
    for (auto& [a, t] : tools_)
        if (t->tooltip == tooltip) return a;
    return nullptr;
}

void MainFrame::closeEvent(QCloseEvent* event) {
    if (!closing_ && !window_.closed()) {
        if (window_.on_close_request && !window_.on_close_request()) {
            event->ignore();
            return;
        }
        window_.close();
    }
    closing_ = true;
    event->accept();
    emit closed();
}

void MainFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) refresh();
    QMainWindow::changeEvent(event);
}

bool MainFrame::eventFilter(QObject* watched, QEvent* event) {
    // The Insert key toggles insert/overwrite wherever it is pressed. A key event goes to
    // the focused object first and then up its parents; count it at the first delivery.
    if (event->type() == QEvent::KeyPress && watched == QGuiApplication::focusObject()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Insert && !key->isAutoRepeat()) {
            overwrite_ = !overwrite_;
            show_keys();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace gui::qt
