#pragma once
// The genome overview: every record of the last run as one row, longest
// first, on one position scale and one value scale (maps/overviewmap.h).
// The rows are drawn from the records' coarse profiles, which the run keeps
// for every record, so opening it or changing what it shows never reads
// the file again.
//
// Mouse: hovering says the record, the position and the value; a click
// shows the record in the main window, Shift+click opens it in the
// explorer. Keys: Up and Down (PageUp, PageDown, Home, End) move between
// rows, Enter shows the row's record, Shift+Enter explores it, Esc closes;
// Ctrl+Shift+P exports the picture.
#include "analysis/recordstore.h"
#include "maps/overviewmap.h"

#include <QWidget>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QScrollArea;
class QSpinBox;

namespace quillet {

class PlatformServices;

class OverviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit OverviewWindow(QWidget* parent = nullptr);
    ~OverviewWindow() override;

    // The records to show, with the window and step the run used, and the
    // records a name filter lets through (all without one).
    void setStore(std::shared_ptr<const RecordStore> store, const QString& windowText, const QString& stepText,
                  std::function<bool(std::size_t)> accept = {});
    const RecordStore* store() const { return store_.get(); }

    void setPlot(Plot plot);
    // Whether the main window marks windows of mostly unknown bases: the
    // cumulative rows then break over them too.
    void setMarkUnknown(bool on);
    void setMinLength(int64_t bases);
    void setMaxRows(int64_t rows);
    // The picture shown; each row knows its record.
    const OverviewPicture& picture() const { return picture_; }

    // The row the keyboard is on (-1 none); moving it scrolls it into view.
    int focusRow() const { return picture_.focus; }
    void setFocusRow(int row);
    // Shows the record of `row` in the main window (explore: in the explorer).
    void chooseRow(int row, bool explore);

    // What the status line says at row `row` and the continuous position.
    QString statusAt(int row, double position) const;
    // The accessible description: every row shown, with its length,
    // average G+C and the extremes of the plot.
    QString describe() const;

    // The page the export is laid out for: A4 or Letter portrait, or the
    // size typed in pixels; nothing when the size typed is no size.
    std::optional<PageSize> page() const;
    // The exports ask for their files through `platform` (none: no exports).
    void setPlatform(PlatformServices* platform) { platform_ = platform; }
    // The overview as a PNG (1x, 2x or 4x), SVG or PDF picture of the
    // page; false when nothing was written (the window is told why).
    bool exportPicture();

    QComboBox* plotBox() const { return plot_; }
    QSpinBox* minLengthBox() const { return minLength_; }
    QSpinBox* maxRowsBox() const { return maxRows_; }
    QComboBox* pageBox() const { return page_; }
    QLineEdit* pageSizeBox() const { return pageSize_; }
    QLabel* statusLabel() const { return status_; }
    QWidget* canvas() const { return canvas_; }

signals:
    void recordChosen(std::size_t index);
    void recordExplored(std::size_t index);

private:
    QWidget* createControls();
    // Takes the plot, minimum length and row limit from their controls.
    void choiceChanged();
    void rebuild();

    PlatformServices* platform_ = nullptr;
    std::shared_ptr<const RecordStore> store_;
    std::function<bool(std::size_t)> accept_;
    QString windowText_, stepText_;
    OverviewChoice choice_;
    OverviewPicture picture_;

    QComboBox* plot_ = nullptr;
    QSpinBox* minLength_ = nullptr;
    QSpinBox* maxRows_ = nullptr;
    QComboBox* page_ = nullptr;
    QLineEdit* pageSize_ = nullptr;
    QLabel* status_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* canvas_ = nullptr;
};

} // namespace quillet
