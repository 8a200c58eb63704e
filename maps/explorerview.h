#pragma once
// The explorer's picture of one record, built for a view as the explorer
// window shows it and written as its Export picture writes it. The window
// keeps only its widgets around this; quillet-map --tracks draws through
// the same steps, so that both write the same bytes for the same record,
// stretch and size.
//
// A view of bases from .. to is fitted into the record (at least
// kMinimumSpan bases, or the whole record when shorter) and computed at the
// window and step ChooseWindowAndStep gives for it. The record's origin and
// terminus come from its whole cumulative G-C/G+C at the whole record's
// window and step, and say how far they lie from its dnaA and dif when the
// features hold them.
#include "analysis/engine.h"
#include "analysis/explorerdata.h"
#include "maps/explorertracks.h"
#include "maps/exportpicture.h"

#include <QFont>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace quillet {

class ExplorerView {
public:
    // The shortest view, in bases (shorter records are shown whole).
    static constexpr int64_t kMinimumSpan = 50;

    // Shows record `info`, whose bases `data` holds, whole: its features
    // matched by its ID, its origin and terminus computed. What the whole
    // view's windows could not be computed for is returned (empty when
    // they were).
    QString setRecord(std::unique_ptr<ExplorerData> data, const RecordInfo& info);
    // No record; the tracks shown and the font stay.
    void clear();
    bool hasRecord() const { return data_ != nullptr; }
    const ExplorerData* data() const { return data_.get(); }
    int64_t length() const { return length_; }

    // The annotations whose features are drawn (those of the record, matched
    // by its ID).
    void setFeatureSets(std::vector<std::shared_ptr<const FeatureSet>> sets);

    // Shows bases from .. to, moved and cut to fit in the record; what went
    // wrong computing its windows, or nothing.
    QString setView(int64_t from, int64_t to);
    QString showWhole() { return setView(1, length_); }

    const ExplorerPicture& picture() const { return picture_; }
    // The tracks shown and the labels' font, which stay from record to
    // record.
    ExplorerPicture& settings() { return picture_; }

private:
    void computeMarks();
    void matchFeatures();
    void noteMarks();

    std::unique_ptr<ExplorerData> data_;
    int64_t length_ = 0;
    QString recordId_;
    bool circular_ = false;
    std::vector<std::shared_ptr<const FeatureSet>> sets_;
    ExplorerPicture picture_;
};

// What Export picture asks for: the tracks of `p` on a canvas of `width` x
// `height` logical pixels, titled after the record `recordName` and the
// stretch, PNG at `scale` pixels a pixel.
// The labels in `font` (its family and point size; 9 points when it has none).
void UseExplorerFont(ExplorerPicture& p, const QFont& font);

PictureExport ExplorerExport(const ExplorerPicture& p, const QString& recordName, PictureFormat format, int scale,
                             int width, int height);

} // namespace quillet
