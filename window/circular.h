#pragma once
// The circular map window: every replicon of the last run as its own
// circle (maps/circularmap.h), each record read again from the file at
// the window and step fitted to it, with the features the main window has.
//
// Mouse: hovering says the record, the position and each ring's value
// there; a click opens the explorer at that position. Keys: Right and Down
// (Left and Up, Home, End) move between the circles, Enter explores the
// circle the keyboard is on, Esc closes; Ctrl+Shift+P exports the picture.
#include "analysis/recordstore.h"
#include "maps/circularmap.h"

#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace quillet {

class PlatformServices;

class CircularWindow : public QWidget {
    Q_OBJECT
public:
    explicit CircularWindow(QWidget* parent = nullptr);
    ~CircularWindow() override;

    // The records to show and the annotations their features come from.
    // False, with a message through the platform, when the file no longer
    // gives the records.
    bool setStore(std::shared_ptr<const RecordStore> store, std::vector<std::shared_ptr<const FeatureSet>> sets);
    const RecordStore* store() const { return store_.get(); }
    void setMinLength(int64_t bases);
    void setMaxRows(int64_t rows);
    const CircularPicture& picture() const { return picture_; }

    // The circle the keyboard is on (-1 none).
    int focusCircle() const { return picture_.focus; }
    void setFocusCircle(int circle);
    // Opens the explorer on circle c's record around `position`.
    void exploreAt(int circle, double position);
    // What the status line says at (x, y) of the canvas, in pixels.
    QString statusAt(float x, float y) const;

    std::optional<PageSize> page() const;
    void setPlatform(PlatformServices* platform) { platform_ = platform; }
    // The map as a PNG (1x, 2x or 4x), SVG or PDF picture of the page;
    // false when nothing was written (the window is told why).
    bool exportPicture();

    QSpinBox* minLengthBox() const { return minLength_; }
    QSpinBox* maxRowsBox() const { return maxRows_; }
    QComboBox* pageBox() const { return page_; }
    QLineEdit* pageSizeBox() const { return pageSize_; }
    QLabel* statusLabel() const { return status_; }
    QWidget* canvas() const { return canvas_; }

signals:
    // The explorer is asked for record `index` around `position`.
    void explore(std::size_t index, int64_t position);

private:
    QWidget* createControls();
    bool rebuild();

    PlatformServices* platform_ = nullptr;
    std::shared_ptr<const RecordStore> store_;
    std::vector<std::shared_ptr<const FeatureSet>> sets_;
    OverviewChoice choice_;
    CircularPicture picture_;

    QSpinBox* minLength_ = nullptr;
    QSpinBox* maxRows_ = nullptr;
    QComboBox* page_ = nullptr;
    QLineEdit* pageSize_ = nullptr;
    QLabel* status_ = nullptr;
    QWidget* canvas_ = nullptr;
};

} // namespace quillet
