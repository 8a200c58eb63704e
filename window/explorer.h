#pragma once
// The explorer: one record of the last run at any scale, from the whole
// sequence down to a few dozen bases, in three tracks over one position
// axis (G+C, G-C/G+C and its running sum over the view). The window and
// step follow the zoom, so the view always holds about a thousand to two
// thousand exact windows computed for the stretch shown; the record's
// origin and terminus (where the whole record's cumulative G-C/G+C is
// lowest and highest) are marked when they fall in the view.
//
// Mouse: the wheel zooms at the pointer, dragging pans, Shift+drag zooms to
// the dragged stretch, a double click shows the whole record. Keys: + and -
// zoom, Left and Right pan a tenth of the view, PageUp and PageDown a whole
// view, Home shows the whole record, Esc closes; Ctrl+Shift+E exports the
// view's values, Ctrl+Shift+P its picture and Ctrl+Shift+I the record's
// composition islands (also in the tracks' menu), which the G+C track shades.
//
// Features (from the sequence file itself when it is a GenBank, EMBL or
// GFF3 file, and from annotation files added to the main window) are drawn
// under the curves: hovering one says what it is, a click zooms to it, and
// the region box takes a feature's name or locus tag.
#include "analysis/recordstore.h"
#include "maps/explorertracks.h"
#include "maps/explorerview.h"

#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace quillet {

class PlatformServices;

class ExplorerWindow : public QWidget {
    Q_OBJECT
public:
    explicit ExplorerWindow(QWidget* parent = nullptr);
    ~ExplorerWindow() override;

    // The records to choose from (the same store again changes nothing).
    void setStore(std::shared_ptr<const RecordStore> store);
    const RecordStore* store() const { return store_.get(); }
    // Reads record `index` (0-based) of the store again and shows it whole;
    // false, with a message in the window, when it cannot be read.
    bool showRecord(std::size_t index);
    // The record shown; -1 before any.
    int64_t recordIndex() const { return index_; }

    // The view: bases from .. to (1-based, inclusive) of a record of
    // length() bases, and the window and step its values were computed at.
    int64_t viewFrom() const { return view_.picture().from; }
    int64_t viewTo() const { return view_.picture().to; }
    int64_t length() const { return view_.length(); }
    int32_t window() const { return view_.picture().window; }
    int32_t step() const { return view_.picture().step; }
    // The values drawn, the marks and the tracks shown.
    const ExplorerPicture& picture() const { return view_.picture(); }

    // The shortest view, in bases (shorter records are shown whole).
    static constexpr int64_t kMinimumSpan = ExplorerView::kMinimumSpan;
    // Shows bases from .. to, moved and cut to fit in the record.
    void setView(int64_t from, int64_t to);
    // Scales the view's span by `factor` (below 1 zooms in) around the
    // continuous position `anchor`, which stays where it is on the screen.
    void zoom(double factor, double anchor);
    void zoom(double factor);
    // Moves the view by `fraction` of its span (positive to the right).
    void pan(double fraction);
    void showWhole();
    // Reads a region (START-END or NAME:START-END) and shows it; a text that
    // is none, or names no record, leaves the view and says why.
    bool applyRegion(const QString& text);
    void setTrackShown(Plot track, bool shown);
    // The annotations whose features are drawn under the curves (those of
    // the record shown, matched by its ID).
    void setFeatureSets(std::vector<std::shared_ptr<const FeatureSet>> sets);
    void setFeaturesShown(bool shown);
    QCheckBox* featuresBox() const { return featuresBox_; }
    // The features track's layout on the canvas, and the feature under a
    // canvas point (logical pixels).
    FeatureLayout featureLayout() const;
    std::optional<PlacedFeature> featureAt(QPointF point) const;
    // Shows the feature with a margin around it.
    void zoomToFeature(const PlacedFeature& placed);
    // What the status line says for the continuous position `position`.
    QString statusAt(double position) const;
    // What the tracks' accessible description says of the view: the record
    // and stretch, the window and step, each shown track's lowest and
    // highest value and where, and the origin and terminus.
    QString describeView() const;

    QComboBox* recordBox() const { return records_; }
    QLineEdit* regionBox() const { return region_; }
    QCheckBox* trackBox(Plot track) const { return tracks_[size_t(track)]; }
    QLabel* windowLabel() const { return windowLabel_; }
    QLabel* messageLabel() const { return message_; }
    QLabel* statusLabel() const { return status_; }
    QWidget* canvas() const { return canvas_; }

    // The exports ask for their files through `platform` (none: no exports).
    void setPlatform(PlatformServices* platform) { platform_ = platform; }
    // The view's windows as a TSV table or a bedGraph track, at record
    // positions; the view as a PNG (1x, 2x or 4x), SVG or PDF picture.
    // False when nothing was written (no view, the dialog cancelled or a
    // failure, which the window is told of).
    bool exportValues();
    bool exportPicture();
    // The record's composition islands as BED, as quillet-map --islands
    // writes them for the run.
    bool exportIslands();

    // Says `text` in red under the controls until the next record or region.
    void showMessage(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* createControls();
    QString askSavePath(const QString& title, const QString& filter, const QString& extension, int* type);
    void viewChanged();
    void featuresChanged();
    bool showFeatureNamed(const QString& text);
    QString describeFeatures() const;

    PlatformServices* platform_ = nullptr;
    std::shared_ptr<const RecordStore> store_;
    int64_t index_ = -1;
    ExplorerView view_;

    QComboBox* records_ = nullptr;
    QLineEdit* region_ = nullptr;
    std::array<QCheckBox*, kPlotCount> tracks_{};
    QCheckBox* featuresBox_ = nullptr;
    QLabel* windowLabel_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* status_ = nullptr;
    QWidget* canvas_ = nullptr;
};

} // namespace quillet
