#pragma once
// Browses: a list of rows shown in columns, over a table in its current order (with its
// filter and the deleted-hidden rule) or over an array. The row list is built lazily in
// chunks and cells are only formatted for the rows on screen, so 100,000 records scroll
// smoothly. The current row of a table browse is the table's current record: moving the
// highlight moves the table, and a seek by the screen followed by sync() moves the highlight.
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace xbase {
class Table;
}

namespace gui {

enum class Align { Left, Right, Center };

struct BrowseColumn {
    std::string title;
    int width = 10;  // characters
    Align align = Align::Left;
    // The cell text of the current row (the table is positioned on the row's record).
    std::function<std::string()> value;
};

// Column helpers over a table field: text trimmed on the right, numbers and dates through
// their picture (common::transform), logicals as "S"/"N".
BrowseColumn field_column(xbase::Table& table, std::string_view field, std::string title,
                          std::string picture = {}, int width = 0);

class BrowseSource {
public:
    virtual ~BrowseSource() = default;
    // Rows known so far, and whether every row is known.
    virtual size_t loaded() const = 0;
    virtual bool complete() const = 0;
    // Loads up to `n` more rows.
    virtual void fetch(size_t n) = 0;
    // Positions the source on a loaded row (for the column callbacks).
    virtual void go_row(size_t row) = 0;
    // The row of the source's current position (loading as far as needed); nullopt when it
    // is not among the rows (end of file, a filtered-out record).
    virtual std::optional<size_t> current_row() = 0;
    // Forgets the rows; the next fetch starts again from the top.
    virtual void reload() = 0;
    // Stable identity of a row across reloads (record number, array index).
    virtual uint64_t row_key(size_t row) const = 0;
};

// Over a table in its current order. Filter and deleted records follow the table's own
// settings (Table::set_filter, set_show_deleted); `extra` filters further.
class TableSource : public BrowseSource {
public:
    explicit TableSource(xbase::Table& table, std::function<bool(xbase::Table&)> extra = {});
    size_t loaded() const override { return recnos_.size(); }
    bool complete() const override { return complete_; }
    void fetch(size_t n) override;
    void go_row(size_t row) override;
    std::optional<size_t> current_row() override;
    void reload() override;
    uint64_t row_key(size_t row) const override { return recnos_.at(row); }
    xbase::Table& table() { return table_; }

private:
    xbase::Table& table_;
    std::function<bool(xbase::Table&)> extra_;
    std::vector<uint32_t> recnos_;
    std::unordered_map<uint32_t, size_t> row_of_;
    uint32_t resume_after_ = 0;  // last record loaded; the walk resumes after it
    bool complete_ = false;
};

// Over rows of texts held by the screen; the current row is kept by the source.
class ArraySource : public BrowseSource {
public:
    explicit ArraySource(std::vector<std::vector<std::string>> rows) : rows_(std::move(rows)) {}
    size_t loaded() const override { return rows_.size(); }
    bool complete() const override { return true; }
    void fetch(size_t) override {}
    void go_row(size_t row) override { current_ = row; }
    std::optional<size_t> current_row() override;
    void reload() override {}
    uint64_t row_key(size_t row) const override { return row; }

    const std::vector<std::string>& row(size_t i) const { return rows_.at(i); }
    std::vector<std::vector<std::string>>& rows() { return rows_; }
    size_t current() const { return current_; }
    // A column showing element `index` of each row.
    BrowseColumn column(size_t index, std::string title, int width, Align align = Align::Left);

private:
    std::vector<std::vector<std::string>> rows_;
    size_t current_ = 0;
};

class Browse {
public:
    Browse(std::shared_ptr<BrowseSource> source, std::vector<BrowseColumn> columns);

    BrowseSource& source() { return *source_; }
    const std::vector<BrowseColumn>& columns() const { return columns_; }

    // Rows: loaded() grows as the view asks for more; rows() loads everything.
    size_t loaded() const { return source_->loaded(); }
    bool complete() const { return source_->complete(); }
    void fetch(size_t n = 1000) { source_->fetch(n); }
    size_t rows();

    // The cell text, cached; leaves the source on the selected row.
    const std::string& cell(size_t row, size_t column);

    // The highlighted row; nullopt when the browse is empty.
    std::optional<size_t> selected() const { return selected_; }
    // Highlights a row and moves the source (the table) to it.
    void select(size_t row);
    // Highlights the source's current record (after a seek by the screen); when that record
    // is not among the rows (end of file after a failed seek, a filtered-out record) the
    // highlight stays on the row it was on.
    void sync();
    // Re-reads the rows (after an append, a change, a delete), then sync().
    void reload();
    // Moves the highlight one row up (after a delete), staying on the first row.
    void move_up();

    // Key actions routed to the screen.
    void on_enter(std::function<void()> fn) { enter_ = std::move(fn); }
    void on_insert(std::function<void()> fn) { insert_ = std::move(fn); }
    void on_delete(std::function<void()> fn) { delete_ = std::move(fn); }
    void on_move(std::function<void()> fn) { move_ = std::move(fn); }
    void enter() { if (enter_) enter_(); }
    void insert() { if (insert_) insert_(); }
    void remove() { if (delete_) delete_(); }

    // Incremented on every reload, so a view knows to reset.
    uint64_t generation() const { return generation_; }

private:
    void clear_cache();
    std::shared_ptr<BrowseSource> source_;
    std::vector<BrowseColumn> columns_;
    std::optional<size_t> selected_;
    std::function<void()> enter_, insert_, delete_, move_;
    // Formatted rows, most recently used first; bounded so a long scroll stays small.
    std::list<std::pair<size_t, std::vector<std::string>>> lru_;
    std::unordered_map<size_t, decltype(lru_)::iterator> cache_;
    uint64_t generation_ = 0;
};

}  // namespace gui
