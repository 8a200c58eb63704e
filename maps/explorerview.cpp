#include "maps/explorerview.h"

#include "analysis/numtext.h"
#include "analysis/recordname.h"
#include "maps/gcmap.h"
#include "maps/units.h"

#include <algorithm>
#include <utility>

namespace quillet {

QString ExplorerView::setRecord(std::unique_ptr<ExplorerData> data, const RecordInfo& info)
{
    data_ = std::move(data);
    length_ = data_ ? data_->length() : 0;
    recordId_ = RecordId(info.name);
    circular_ = info.topology == Topology::Circular;
    matchFeatures();
    computeMarks();
    return showWhole();
}

void ExplorerView::clear()
{
    data_.reset();
    length_ = 0;
    recordId_.clear();
    circular_ = false;
    ExplorerPicture empty;
    empty.shown = picture_.shown;
    empty.featuresShown = picture_.featuresShown;
    empty.fontName = picture_.fontName;
    empty.fontSize = picture_.fontSize;
    picture_ = std::move(empty);
}

void ExplorerView::setFeatureSets(std::vector<std::shared_ptr<const FeatureSet>> sets)
{
    sets_ = std::move(sets);
    matchFeatures();
}

void ExplorerView::matchFeatures()
{
    picture_.features = data_ ? TrackFeatures::Of(sets_, recordId_.toStdString()) : TrackFeatures{};
    noteMarks();
}

// The origin against the record's dnaA gene, the terminus against its dif
// site, where the annotation has them.
void ExplorerView::noteMarks()
{
    picture_.originNote =
        picture_.origin ? DistanceNote(picture_.features, "dnaA", *picture_.origin, length_, circular_) : QString();
    picture_.terminusNote =
        picture_.terminus ? DistanceNote(picture_.features, "dif", *picture_.terminus, length_, circular_) : QString();
}

void ExplorerView::computeMarks()
{
    picture_.origin.reset();
    picture_.terminus.reset();
    if (!data_ || length_ < 1)
        return;
    const auto [window, step] = ChooseWindowAndStep(1, length_);
    ViewWindows whole;
    try {
        whole = data_->windows(1, length_, window, step);
    } catch (const std::exception&) {
        return;
    }
    // The running sum in hundredths, as the values table and the summary
    // add it, and the first window of its lowest and of its highest value.
    const std::vector<double> sums = CumulativeSkew(whole.values.SkewValues);
    const int64_t n = int64_t(whole.values.SkewValues.size()) - 2;
    if (n < 1)
        return;
    const auto first = sums.begin() + 1, last = sums.begin() + 1 + n;
    const int64_t lowAt = std::min_element(first, last) - sums.begin();
    const int64_t highAt = std::max_element(first, last) - sums.begin();
    // The middle base of the window (the left one of two).
    // (The window and step are copied in: clang before 16 cannot capture a
    // structured binding.)
    const auto middle = [w = int64_t(window), s = int64_t(step)](int64_t k) { return (k - 1) * s + (w + 1) / 2; };
    picture_.origin = middle(lowAt);
    picture_.terminus = middle(highAt);
    noteMarks();
}

QString ExplorerView::setView(int64_t from, int64_t to)
{
    if (!data_ || length_ < 1)
        return {};
    const int64_t span = std::clamp(to - from + 1, std::min(kMinimumSpan, length_), length_);
    from = std::clamp<int64_t>(from, 1, length_ - span + 1);
    picture_.from = from;
    picture_.to = from + span - 1;
    const auto [window, step] = ChooseWindowAndStep(picture_.from, picture_.to);
    picture_.window = window;
    picture_.step = step;
    picture_.gc.clear();
    picture_.skew.clear();
    QString failure;
    try {
        const ViewWindows view = data_->windows(picture_.from, picture_.to, window, step);
        const std::vector<float>&gc = view.values.GCValues, &skew = view.values.SkewValues;
        // Windows 1 .. n between the two zero ends.
        if (gc.size() > 2 && skew.size() == gc.size()) {
            picture_.gc.assign(gc.begin() + 1, gc.end() - 1);
            picture_.skew.assign(skew.begin() + 1, skew.end() - 1);
        }
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    picture_.cumulative = CumulativeOf(picture_.skew);
    return failure;
}

void UseExplorerFont(ExplorerPicture& p, const QFont& font)
{
    p.fontName = font.family();
    p.fontSize = float(font.pointSizeF() > 0 ? font.pointSizeF() : 9.0);
}

PictureExport ExplorerExport(const ExplorerPicture& p, const QString& recordName, PictureFormat format, int scale,
                             int width, int height)
{
    PictureExport request;
    request.format = format;
    request.scale = scale;
    request.outerWidth = float(width) * float(kTwipsPerPixel);
    request.outerHeight = float(height) * float(kTwipsPerPixel);
    request.border = 0;
    request.back = 0x00FFFFFF;
    request.fore = 0x00000000;
    request.title =
        QStringLiteral("%1 %2-%3").arg(UnicodeName(recordName), GroupedInteger(p.from), GroupedInteger(p.to));
    return request;
}

} // namespace quillet
