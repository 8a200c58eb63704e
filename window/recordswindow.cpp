#include "window/recordswindow.h"

#include "analysis/numtext.h"
#include "analysis/recordname.h"
#include "maps/featuretrack.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <functional>
#include <string_view>

namespace quillet {

void RecordsModel::setStore(std::shared_ptr<const RecordStore> store)
{
    beginResetModel();
    store_ = std::move(store);
    endResetModel();
}

void RecordsModel::setFeatureSets(std::vector<std::shared_ptr<const FeatureSet>> sets)
{
    sets_ = std::move(sets);
    if (rowCount() > 0)
        emit dataChanged(index(0, CumulativeMin), index(rowCount() - 1, CumulativeMax));
}

QString RecordsModel::markNote(const RecordInfo& r, bool origin) const
{
    const int64_t at = origin ? r.cumulativeMinPosition : r.cumulativeMaxPosition;
    if (sets_.empty() || at < 1)
        return {};
    const TrackFeatures features = TrackFeatures::Of(sets_, RecordId(r.name).toStdString());
    return features.empty()
               ? QString()
               : DistanceNote(features, origin ? "dnaA" : "dif", at, r.length, r.topology == Topology::Circular);
}

int RecordsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !store_ ? 0 : int(store_->size());
}

int RecordsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

double RecordsModel::UnknownPercent(const RecordInfo& info)
{
    return info.length > 0 ? 100.0 * double(info.unknown) / double(info.length) : 0.0;
}

QVariant RecordsModel::data(const QModelIndex& index, int role) const
{
    if (!store_ || !index.isValid() || index.row() >= int(store_->size()))
        return {};
    const RecordInfo& r = store_->info(std::size_t(index.row()));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(index.column() == Name ? Qt::AlignLeft | Qt::AlignVCenter
                                                          : Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case Number: return FormatInteger(r.number);
    case Name: return WithDisplayName(r.name, r.displayName);
    case Length: return FormatInteger(r.length);
    case AverageGC: return FormatSingle(r.AvgGC);
    case Unknown: return FormatFixed(UnknownPercent(r), 2);
    case Windows: return FormatInteger(r.windows);
    case CumulativeMin: return FormatInteger(r.cumulativeMinPosition) + markNote(r, true);
    case CumulativeMax: return FormatInteger(r.cumulativeMaxPosition) + markNote(r, false);
    }
    return {};
}

QVariant RecordsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::ToolTipRole) {
        const QString where = QStringLiteral(" (the middle of the first window that reaches it; 0 without a "
                                             "window). It marks the replication %1 only on a circular bacterial "
                                             "chromosome.");
        if (section == CumulativeMin)
            return QStringLiteral("Where the cumulative G-C/G+C is lowest") + where.arg(QStringLiteral("origin"));
        if (section == CumulativeMax)
            return QStringLiteral("Where the cumulative G-C/G+C is highest") + where.arg(QStringLiteral("terminus"));
    }
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Number: return QStringLiteral("No.");
    case Name: return QStringLiteral("Name");
    case Length: return QStringLiteral("Length (bp)");
    case AverageGC: return QStringLiteral("Avg G+C (%)");
    case Unknown: return QStringLiteral("Unknown (%)");
    case Windows: return QStringLiteral("Windows");
    case CumulativeMin: return QStringLiteral("Origin (bp)");
    case CumulativeMax: return QStringLiteral("Terminus (bp)");
    }
    return {};
}

const RecordStore* RecordsProxy::store() const
{
    const auto* model = static_cast<const RecordsModel*>(sourceModel());
    return model ? model->store() : nullptr;
}

void RecordsProxy::setNameFilter(const QString& text)
{
    if (text == filter_)
        return;
    filter_ = text;
    const QString lowered = text.toLower();
    // A character beyond Latin-1 is in no name.
    filterMatchesNothing_ = std::any_of(lowered.begin(), lowered.end(), [](QChar c) { return c.unicode() > 0xFF; });
    loweredFilter_ = lowered.toLatin1().toStdString();
    invalidateFilter();
}

bool RecordsProxy::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    if (filter_.isEmpty())
        return true;
    const RecordStore* s = store();
    if (!s || filterMatchesNothing_)
        return false;
    prepareNames();
    const std::size_t row = std::size_t(sourceRow);
    return std::string_view(lowered_).substr(starts_[row], starts_[row + 1] - starts_[row]).find(loweredFilter_) !=
           std::string_view::npos;
}

void RecordsProxy::prepareNames() const
{
    const RecordStore* s = store();
    if (!s || (loweredStore_ == s && starts_.size() == s->size() + 1))
        return;
    static const auto lower = [] {
        std::array<char, 256> table{};
        for (int c = 0; c < 256; ++c) {
            const char16_t l = QChar(char16_t(c)).toLower().unicode();
            table[size_t(c)] = char(l < 256 ? l : c);
        }
        return table;
    }();
    std::size_t total = 0;
    for (const RecordInfo& info : s->infos())
        total += std::size_t(info.name.size());
    lowered_.assign(total, '\0');
    starts_.assign(1, 0);
    starts_.reserve(s->size() + 1);
    char* out = lowered_.data();
    for (const RecordInfo& info : s->infos()) {
        for (const QChar ch : info.name)
            *out++ = ch.unicode() < 256 ? lower[ch.unicode()] : '\0';
        starts_.push_back(std::size_t(out - lowered_.data()));
    }
    loweredStore_ = s;
}

bool RecordsProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const RecordStore* s = store();
    if (!s)
        return false;
    const RecordInfo& a = s->info(std::size_t(left.row()));
    const RecordInfo& b = s->info(std::size_t(right.row()));
    switch (left.column()) {
    case RecordsModel::Name: {
        prepareNames();
        const auto name = [this](int row) {
            return std::string_view(lowered_).substr(starts_[size_t(row)],
                                                     starts_[size_t(row) + 1] - starts_[size_t(row)]);
        };
        const int c = name(left.row()).compare(name(right.row()));
        return c != 0 ? c < 0 : a.number < b.number;
    }
    case RecordsModel::Length: return a.length != b.length ? a.length < b.length : a.number < b.number;
    case RecordsModel::AverageGC: return a.AvgGC != b.AvgGC ? a.AvgGC < b.AvgGC : a.number < b.number;
    case RecordsModel::Unknown: {
        const double ua = RecordsModel::UnknownPercent(a), ub = RecordsModel::UnknownPercent(b);
        return ua != ub ? ua < ub : a.number < b.number;
    }
    case RecordsModel::Windows: return a.windows != b.windows ? a.windows < b.windows : a.number < b.number;
    case RecordsModel::CumulativeMin:
        return a.cumulativeMinPosition != b.cumulativeMinPosition ? a.cumulativeMinPosition < b.cumulativeMinPosition
                                                                  : a.number < b.number;
    case RecordsModel::CumulativeMax:
        return a.cumulativeMaxPosition != b.cumulativeMaxPosition ? a.cumulativeMaxPosition < b.cumulativeMaxPosition
                                                                  : a.number < b.number;
    default: return a.number < b.number;
    }
}

namespace {
// The width of a cell of `table` that shows `text` whole: the text in the
// table's font with the margins the style keeps around it, and the grid
// line the cell gives up.
int CellWidth(const QTableView* table, const QString& text)
{
    QStyleOptionViewItem option;
    option.initFrom(table);
    option.font = table->font();
    option.fontMetrics = QFontMetrics(option.font);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = text;
    option.textElideMode = Qt::ElideNone;
    option.displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
    const QSize size = table->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), table);
    return size.width() + (table->showGrid() ? 1 : 0);
}

// The width of the widest text of the shape given (each '0' any digit):
// digits differ in width in some fonts, and a run of them is as wide as
// its advances added up, not as one digit's rounded width times their
// number.
int NumberCellWidth(const QTableView* table, const QString& shape)
{
    int widest = 0;
    for (char16_t d = u'0'; d <= u'9'; ++d) {
        QString text = shape;
        text.replace(u'0', QChar(d));
        widest = std::max(widest, CellWidth(table, text));
    }
    return widest;
}

// Enter in the filter box chooses the current row, or the first one.
class FilterKeys : public QObject {
public:
    FilterKeys(QObject* parent, std::function<void()> enter) : QObject(parent), enter_(std::move(enter)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                enter_();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> enter_;
};
} // namespace

RecordsWindow::RecordsWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("RecordsWindow"));
    setWindowTitle(QStringLiteral("Records"));
    model_ = new RecordsModel(this);
    proxy_ = new RecordsProxy(this);
    proxy_->setSourceModel(model_);

    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("RecordsFilter"));
    filter_->setPlaceholderText(QStringLiteral("Filter by name"));
    filter_->setClearButtonEnabled(true);
    filter_->setAccessibleName(QStringLiteral("Filter by name"));

    table_ = createTable();

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("RecordsCount"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter_);
    layout->addWidget(table_, 1);
    layout->addWidget(count_);
    resize(fittingWidth(layout->contentsMargins()), 420);

    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        proxy_->setNameFilter(text);
        updateCount();
    });
    filter_->installEventFilter(new FilterKeys(this, [this] {
        const QModelIndex current = table_->currentIndex();
        choose(current.isValid() ? current : proxy_->index(0, 0));
    }));
    connect(table_, &QAbstractItemView::activated, this, &RecordsWindow::choose);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

QTableView* RecordsWindow::createTable()
{
    auto* table = new QTableView(this);
    table->setObjectName(QStringLiteral("RecordsTable"));
    table->setAccessibleName(QStringLiteral("Records"));
    table->setModel(proxy_);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    // Long names differ at their ends as often as at their starts.
    table->setTextElideMode(Qt::ElideMiddle);
    table->setAlternatingRowColors(true);
    // Fixed row heights and column widths: nothing is measured per row, so
    // opening 200,000 records costs no more than opening ten.
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    QHeaderView* header = table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(false);
    // Sorting on a header click; the list opens in file order, unsorted.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    // Room for the widest number each column shows (positions and lengths
    // take at most ten digits: 32 bits; percentages run to 100), the name
    // for 28 digits' width, and never narrower than the title beside the
    // sort arrow.
    const QChar point = NumberLocale::system().decimalPoint;
    const QString widest[RecordsModel::ColumnCount] = {
        QStringLiteral("0000000"),
        QString(28, u'0'),
        QStringLiteral("0000000000"),
        QStringLiteral("00") + point + u'0',
        QStringLiteral("000") + point + QStringLiteral("00"),
        QStringLiteral("0000000000"),
        QStringLiteral("0000000000"),
        QStringLiteral("0000000000"),
    };
    for (int c = 0; c < RecordsModel::ColumnCount; ++c)
        header->resizeSection(c, std::max(NumberCellWidth(table, widest[c]), header->sectionSizeHint(c)));
    return table;
}

// The width that shows every column whole beside the vertical scroll bar;
// on a narrower screen the name column gives up what is missing.
int RecordsWindow::fittingWidth(const QMargins& margins)
{
    QHeaderView* header = table_->horizontalHeader();
    const int chrome = 2 * table_->frameWidth() +
                       table_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table_) + margins.left() +
                       margins.right();
    const int wanted = header->length() + chrome;
    const QScreen* screen = this->screen();
    const int available = screen ? screen->availableGeometry().width() : wanted;
    if (wanted <= available)
        return wanted;
    const int name = header->sectionSize(RecordsModel::Name);
    header->resizeSection(RecordsModel::Name,
                          std::max(NumberCellWidth(table_, QString(8, u'0')), name - (wanted - available)));
    return header->length() + chrome;
}

void RecordsWindow::setStore(std::shared_ptr<const RecordStore> store)
{
    if (store.get() == model_->store())
        return;
    // A filter typed for other records would hide some of these.
    filter_->clear();
    model_->setStore(std::move(store));
    proxy_->prepareNames();
    updateCount();
}

void RecordsWindow::setFeatureSets(std::vector<std::shared_ptr<const FeatureSet>> sets)
{
    const bool any = !sets.empty();
    model_->setFeatureSets(std::move(sets));
    // Room for a note beside the positions.
    if (!any)
        return;
    QHeaderView* header = table_->horizontalHeader();
    const int wide = CellWidth(table_, QStringLiteral("0000000000 (0,000,000 bp from dnaA)"));
    for (const int c : {int(RecordsModel::CumulativeMin), int(RecordsModel::CumulativeMax)})
        header->resizeSection(c, std::max(header->sectionSize(c), wide));
}

void RecordsWindow::selectRecord(std::size_t index)
{
    const QModelIndex source = model_->index(int(index), 0);
    const QModelIndex row = proxy_->mapFromSource(source);
    if (!row.isValid())
        return;
    table_->setCurrentIndex(row);
    table_->scrollTo(row);
}

void RecordsWindow::choose(const QModelIndex& proxyIndex)
{
    const QModelIndex source = proxy_->mapToSource(proxyIndex);
    if (source.isValid())
        emit recordChosen(std::size_t(source.row()));
}

void RecordsWindow::updateCount()
{
    const int all = model_->rowCount(), shown = proxy_->rowCount();
    count_->setText(shown == all ? QStringLiteral("%1 records").arg(all)
                                 : QStringLiteral("%1 of %2 records").arg(shown).arg(all));
}

} // namespace quillet
