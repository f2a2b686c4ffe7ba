#include "gui/browse.hpp"

#include <algorithm>
#include <stdexcept>

#include "common/text.hpp"
#include "common/decimal.hpp"
#include "common/picture.hpp"
#include "xbase/table.hpp"

namespace gui {

namespace {

using common::rtrim;

std::string numeric_picture(const xbase::Field& f) {
    int ints = f.len - (f.dec ? f.dec + 1 : 0);
    if (ints < 1) ints = 1;
    std::string p(static_cast<size_t>(ints), '9');
    if (f.dec) p += "." + std::string(f.dec, '9');
    return p;
}

constexpr size_t kCacheRows = 512;

}  // namespace

BrowseColumn field_column(xbase::Table& table, std::string_view field, std::string title,
                          std::string picture, int width) {
    int index = table.field_index(field);
    if (index < 0) throw std::invalid_argument("la tabla " + table.name() + " no tiene el campo " + std::string(field));
    const xbase::Field f = table.fields()[static_cast<size_t>(index)];
    BrowseColumn col;
    col.title = std::move(title);
    xbase::Table* t = &table;
    switch (f.type) {
    case 'N': case 'F': case 'I': case 'B': case 'Y': {
        std::string pic = picture.empty() ? numeric_picture(f) : picture;
        col.align = Align::Right;
        col.width = width ? width : std::max<int>(static_cast<int>(pic.size()), static_cast<int>(col.title.size()));
        col.value = [t, index, pic] { return common::transform(t->get_number(index), pic); };
        break;
    }
    case 'D':
        col.width = width ? width : 10;
        col.value = [t, index] { return common::transform_date(t->get_date(index), "@D"); };
        break;
    case 'L':
        col.width = width ? width : 1;
        col.align = Align::Center;
        col.value = [t, index] { return std::string(t->get_logical(index) ? "S" : "N"); };
        break;
    default: {
        col.width = width ? width : std::min<int>(f.len, 60);
        std::string pic = picture;
        col.value = [t, index, pic] {
            std::string v = rtrim(t->get_text(index));
            return pic.empty() ? v : common::transform_text(v, pic);
        };
        break;
    }
    }
    return col;
}

// --- table source ---

TableSource::TableSource(xbase::Table& table, std::function<bool(xbase::Table&)> extra)
    : table_(table), extra_(std::move(extra)) {}

void TableSource::fetch(size_t n) {
    if (complete_ || n == 0) return;
    uint32_t keep = table_.recno();
    bool keep_eof = table_.eof();
    if (recnos_.empty()) {
        table_.go_top();
    } else {
        table_.go_to(resume_after_);
        table_.skip(1);
    }
    size_t added = 0;
    while (!table_.eof() && added < n) {
        if (!extra_ || extra_(table_)) {
            row_of_.emplace(table_.recno(), recnos_.size());
            recnos_.push_back(table_.recno());
            ++added;
        }
        resume_after_ = table_.recno();
        table_.skip(1);
    }
    if (table_.eof()) complete_ = true;
    if (keep_eof || keep == 0) {
        table_.go_bottom();
        if (!table_.eof()) table_.skip(1);
    } else {
        table_.go_to(keep);
    }
}

void TableSource::go_row(size_t row) { table_.go_to(recnos_.at(row)); }

std::optional<size_t> TableSource::current_row() {
    if (table_.eof() || table_.bof()) return std::nullopt;
    uint32_t rec = table_.recno();
    for (;;) {
        auto it = row_of_.find(rec);
        if (it != row_of_.end()) return it->second;
        if (complete_) return std::nullopt;
        fetch(4096);
    }
}

void TableSource::reload() {
    recnos_.clear();
    row_of_.clear();
    resume_after_ = 0;
    complete_ = false;
}

std::optional<size_t> ArraySource::current_row() {
    if (rows_.empty()) return std::nullopt;
    return std::min(current_, rows_.size() - 1);
}

BrowseColumn ArraySource::column(size_t index, std::string title, int width, Align align) {
    BrowseColumn c;
    c.title = std::move(title);
    c.width = width;
    c.align = align;
    c.value = [this, index] {
        const auto& r = rows_.at(current_);
        return index < r.size() ? r[index] : std::string{};
    };
    return c;
}

// --- browse ---

Browse::Browse(std::shared_ptr<BrowseSource> source, std::vector<BrowseColumn> columns)
    : source_(std::move(source)), columns_(std::move(columns)) {
    if (source_->loaded() == 0) source_->fetch(200);
    auto cur = source_->current_row();
    if (cur) selected_ = cur;
    else if (source_->loaded() > 0) select(0);
}

size_t Browse::rows() {
    while (!source_->complete()) source_->fetch(4096);
    return source_->loaded();
}

void Browse::clear_cache() {
    lru_.clear();
    cache_.clear();
}

const std::string& Browse::cell(size_t row, size_t column) {
    auto it = cache_.find(row);
    if (it != cache_.end()) {
        lru_.splice(lru_.begin(), lru_, it->second);
    } else {
        source_->go_row(row);
        std::vector<std::string> cells;
        cells.reserve(columns_.size());
        for (const auto& c : columns_) cells.push_back(c.value ? c.value() : std::string{});
        if (selected_) source_->go_row(*selected_);
        lru_.emplace_front(row, std::move(cells));
        cache_[row] = lru_.begin();
        if (lru_.size() > kCacheRows) {
            cache_.erase(lru_.back().first);
            lru_.pop_back();
        }
    }
    const auto& cells = lru_.front().second;
    static const std::string empty;
    return column < cells.size() ? cells[column] : empty;
}

void Browse::select(size_t row) {
    while (row >= source_->loaded() && !source_->complete()) source_->fetch(1000);
    if (row >= source_->loaded()) return;
    selected_ = row;
    source_->go_row(row);
    if (move_) move_();
}

void Browse::sync() {
    auto cur = source_->current_row();
    if (cur) {
        selected_ = cur;
        return;
    }
    if (source_->loaded() == 0 && source_->complete()) {
        selected_.reset();
        return;
    }
    // Not among the rows: the highlight stays, and the source goes back to it.
    if (selected_ && *selected_ < source_->loaded()) source_->go_row(*selected_);
}

void Browse::reload() {
    ++generation_;
    clear_cache();
    std::optional<uint64_t> key;
    if (selected_ && *selected_ < source_->loaded()) key = source_->row_key(*selected_);
    size_t was = selected_.value_or(0);
    source_->reload();
    source_->fetch(200);
    if (auto cur = source_->current_row()) {
        selected_ = cur;
        return;
    }
    // The current record is gone from the rows (deleted, filtered out): the row that was
    // highlighted when it is still there, else the same position, else the last row.
    if (key) {
        rows();
        for (size_t i = 0; i < source_->loaded(); ++i)
            if (source_->row_key(i) == *key) {
                select(i);
                return;
            }
    }
    size_t n = rows();
    if (n == 0) {
        selected_.reset();
        return;
    }
    select(std::min(was, n - 1));
}

void Browse::move_up() {
    if (!selected_) return;
    select(*selected_ > 0 ? *selected_ - 1 : 0);
}

}  // namespace gui
