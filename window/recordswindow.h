#pragma once
// The Records window: every record of the last run in a sortable table
// (number, name, length, average G+C, unknown share, windows, where the
// cumulative G-C/G+C is lowest and highest) with a filter on the name that
// applies as you type. Where a record's features hold a dnaA gene or a dif
// site, its origin and terminus say how far they lie from it. Choosing a record (Enter or a double click) asks the
// main window to show it.
#include "analysis/features.h"
#include "analysis/recordstore.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

class QLineEdit;
class QLabel;
class QTableView;

namespace quillet {

// The store's record summaries as table rows, in file order.
class RecordsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Number, Name, Length, AverageGC, Unknown, Windows, CumulativeMin, CumulativeMax, ColumnCount };

    explicit RecordsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void setStore(std::shared_ptr<const RecordStore> store);
    const RecordStore* store() const { return store_.get(); }
    // The annotations whose dnaA and dif the origin and terminus are told
    // against (those of each record, matched by its ID).
    void setFeatureSets(std::vector<std::shared_ptr<const FeatureSet>> sets);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Unknown positions in percent of the record's length.
    static double UnknownPercent(const RecordInfo& info);

private:
    // " (1,234 bp from dnaA)" after the origin, " (in dif)" after the
    // terminus; nothing without such a feature.
    QString markNote(const RecordInfo& r, bool origin) const;

    std::shared_ptr<const RecordStore> store_;
    std::vector<std::shared_ptr<const FeatureSet>> sets_;
};

// Filters on the name and sorts by the values (not their text), reading
// the summaries directly: a keystroke over 200,000 records must stay quick.
class RecordsProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit RecordsProxy(QObject* parent = nullptr) : QSortFilterProxyModel(parent) {}
    void setNameFilter(const QString& text);
    // Prepares the names for filtering (done at the first filtering
    // otherwise); the window calls it when it gets a store.
    void prepareNames() const;
    // Whether record `index` (0-based, file order) passes the name filter.
    bool acceptsRecord(std::size_t index) const { return filterAcceptsRow(int(index), {}); }
    bool filtering() const { return !filter_.isEmpty(); }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    const RecordStore* store() const;
    QString filter_;
    // Names in lower case, as Latin-1 (which they were read as), made once
    // per store: a case-sensitive search of bytes is
    // several times quicker than a case-insensitive one of text.
    std::string loweredFilter_;
    bool filterMatchesNothing_ = false;
    mutable const RecordStore* loweredStore_ = nullptr;
    mutable std::string lowered_;             // every name, one after another
    mutable std::vector<std::size_t> starts_; // where each begins, and the end
};

class RecordsWindow : public QWidget {
    Q_OBJECT
public:
    explicit RecordsWindow(QWidget* parent = nullptr);

    // Lists the records of `store`: the same store again keeps the filter
    // and sorting, another one (a new run) starts with an empty filter.
    void setStore(std::shared_ptr<const RecordStore> store);
    const RecordStore* store() const { return model_->store(); }
    void setFeatureSets(std::vector<std::shared_ptr<const FeatureSet>> sets);

    QLineEdit* filterBox() const { return filter_; }
    QTableView* table() const { return table_; }
    RecordsProxy* proxy() const { return proxy_; }
    // Selects the row of record `index` (0-based, file order) when shown.
    void selectRecord(std::size_t index);

signals:
    // Record `index` (0-based, file order) was chosen.
    void recordChosen(std::size_t index);

private:
    void choose(const QModelIndex& proxyIndex);
    void updateCount();
    // The table of records: fixed row heights and column widths, sorted on a
    // header click.
    QTableView* createTable();
    // Sets the default width: every column whole, when the screen allows.
    int fittingWidth(const QMargins& margins);

    RecordsModel* model_;
    RecordsProxy* proxy_;
    QLineEdit* filter_;
    QTableView* table_;
    QLabel* count_;
};

} // namespace quillet
