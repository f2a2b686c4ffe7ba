#pragma once
// A gui::Browse in a QTableView: the model asks the browse for rows lazily (canFetchMore /
// fetchMore over Browse::fetch), so a table of 100,000 records opens at once and loads as
// it scrolls; cells come from the browse's cache. The view routes Enter, double click,
// Insert and Delete as signals and follows the browse's highlighted row.
#include <QAbstractTableModel>
#include <QTableView>
#include <cstdint>

namespace gui {
class Browse;
}

namespace gui::qt {

class BrowseModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit BrowseModel(QObject* parent = nullptr);

    // Shows another browse (or none); the rows start again from the browse's loaded ones.
    void set_browse(Browse* browse);
    Browse* browse() const { return browse_; }
    // The browse re-read its rows (Dialog::refresh, a sync): start again.
    void reload();
    // Rows the browse loaded by itself (a select or sync far down) become rows of the model.
    void catch_up();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    static constexpr size_t kFetchRows = 500;

private:
    Browse* browse_ = nullptr;
    int rows_ = 0;
    uint64_t generation_ = 0;
};

class BrowseView : public QTableView {
    Q_OBJECT
public:
    BrowseView(int visible_rows, QWidget* parent = nullptr);

    BrowseModel* browse_model() const { return model_; }
    void set_browse(Browse* browse);
    // Re-reads the rows and highlights the browse's selected row.
    void reload();
    // Highlights the browse's selected row without re-reading.
    void follow();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void enterPressed();
    void insertPressed();
    void deletePressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void apply_columns();
    void on_current(const QModelIndex& current);

    BrowseModel* model_;
    int visible_rows_;
    bool following_ = false;
};

}  // namespace gui::qt
