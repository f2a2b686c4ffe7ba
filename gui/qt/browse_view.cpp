#include "gui/qt/browse_view.hpp"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "gui/browse.hpp"
#include "gui/qt/icons.hpp"
#include "gui/qt/qt_text.hpp"

namespace gui::qt {

namespace {

Qt::Alignment alignment(Align a) {
    switch (a) {
    case Align::Right: return Qt::AlignRight | Qt::AlignVCenter;
    case Align::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    case Align::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace

// --- model ---

BrowseModel::BrowseModel(QObject* parent) : QAbstractTableModel(parent) {}

void BrowseModel::set_browse(Browse* browse) {
    beginResetModel();
    browse_ = browse;
    rows_ = browse_ ? static_cast<int>(browse_->loaded()) : 0;
    generation_ = browse_ ? browse_->generation() : 0;
    endResetModel();
}

void BrowseModel::reload() { set_browse(browse_); }

void BrowseModel::catch_up() {
    if (!browse_) return;
    if (browse_->generation() != generation_) {
        reload();
        return;
    }
    int loaded = static_cast<int>(browse_->loaded());
    if (loaded > rows_) {
        beginInsertRows({}, rows_, loaded - 1);
        rows_ = loaded;
        endInsertRows();
    } else if (loaded < rows_) {
        reload();
    }
}

int BrowseModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int BrowseModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !browse_) return 0;
    return static_cast<int>(browse_->columns().size());
}

QVariant BrowseModel::data(const QModelIndex& index, int role) const {
    if (!browse_ || !index.isValid()) return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(alignment(browse_->columns().at(static_cast<size_t>(index.column())).align));
    if (role != Qt::DisplayRole) return {};
    // Rows re-read behind the view's back: show nothing until the reset below runs.
    if (browse_->generation() != generation_ || static_cast<size_t>(index.row()) >= browse_->loaded()) {
        QTimer::singleShot(0, const_cast<BrowseModel*>(this), &BrowseModel::catch_up);
        return {};
    }
    return qs(browse_->cell(static_cast<size_t>(index.row()), static_cast<size_t>(index.column())));
}

QVariant BrowseModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!browse_ || orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(browse_->columns().size()))
        return QAbstractTableModel::headerData(section, orientation, role);
    const BrowseColumn& c = browse_->columns()[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole) return qs(c.title);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(alignment(c.align));
    return {};
}

bool BrowseModel::canFetchMore(const QModelIndex& parent) const {
    if (parent.isValid() || !browse_) return false;
    return static_cast<size_t>(rows_) < browse_->loaded() || !browse_->complete();
}

void BrowseModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || !browse_) return;
    if (browse_->generation() != generation_) {
        reload();
        return;
    }
    if (static_cast<size_t>(rows_) >= browse_->loaded()) browse_->fetch(kFetchRows);
    catch_up();
}

// --- view ---

BrowseView::BrowseView(int visible_rows, QWidget* parent)
    : QTableView(parent), model_(new BrowseModel(this)), visible_rows_(visible_rows > 0 ? visible_rows : 12) {
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setAlternatingRowColors(true);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSectionsClickable(false);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) { on_current(current); });
}

void BrowseView::set_browse(Browse* browse) {
    following_ = true;
    model_->set_browse(browse);
    following_ = false;
    apply_columns();
    follow();
}

void BrowseView::reload() {
    following_ = true;
    model_->reload();
    following_ = false;
    apply_columns();
    follow();
}

void BrowseView::follow() {
    Browse* b = model_->browse();
    if (!b) return;
    following_ = true;
    model_->catch_up();
    auto sel = b->selected();
    if (sel && static_cast<int>(*sel) < model_->rowCount()) {
        QModelIndex idx = model_->index(static_cast<int>(*sel), std::max(0, currentIndex().column()));
        selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(idx);
    } else {
        selectionModel()->clearSelection();
    }
    following_ = false;
}

void BrowseView::apply_columns() {
    Browse* b = model_->browse();
    if (!b) return;
    const auto& cols = b->columns();
    QFontMetrics fm = fontMetrics();
    QFontMetrics hfm = horizontalHeader()->fontMetrics();
    for (size_t i = 0; i < cols.size(); ++i) {
        int chars = text_width(fm, std::max(1, cols[i].width),
                               cols[i].align == Align::Right ? CharKind::Digit : CharKind::Text);
        int title = hfm.horizontalAdvance(qs(cols[i].title));
        setColumnWidth(static_cast<int>(i), std::max(chars, title) + 14);
    }
    updateGeometry();
}

void BrowseView::on_current(const QModelIndex& current) {
    if (following_ || !current.isValid()) return;
    if (Browse* b = model_->browse()) {
        b->select(static_cast<size_t>(current.row()));
        // select() may have loaded rows (it never does for a row already shown).
        following_ = true;
        model_->catch_up();
        following_ = false;
    }
}

QSize BrowseView::sizeHint() const {
    int width = frameWidth() * 2 + verticalScrollBar()->sizeHint().width();
    if (Browse* b = model_->browse())
        for (size_t i = 0; i < b->columns().size(); ++i) width += columnWidth(static_cast<int>(i));
    else
        width += 400;
    int height = frameWidth() * 2 + horizontalHeader()->sizeHint().height() +
                 verticalHeader()->defaultSectionSize() * visible_rows_ +
                 horizontalScrollBar()->sizeHint().height();
    return {width, height};
}

QSize BrowseView::minimumSizeHint() const {
    QSize s = sizeHint();
    return {std::min(s.width(), 240), std::min(s.height(), 120)};
}

void BrowseView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & ~Qt::KeypadModifier) break;
        emit enterPressed();
        return;
    case Qt::Key_Insert:
        if (event->modifiers() != Qt::NoModifier) break;
        emit insertPressed();
        return;
    case Qt::Key_Delete:
        if (event->modifiers() != Qt::NoModifier) break;
        emit deletePressed();
        return;
    default: break;
    }
    QTableView::keyPressEvent(event);
}

void BrowseView::mouseDoubleClickEvent(QMouseEvent* event) {
    QModelIndex idx = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && idx.isValid()) {
        emit enterPressed();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

}  // namespace gui::qt
