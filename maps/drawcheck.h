#pragma once
// Whether the map of a computed record can be drawn: the map procedures run
// on a surface that paints nothing. A run stops at the first record whose
// map fails, so every front end asks this of each record it computes.
// Whether they fail depends only on the record's length and number of
// windows (everything else is the same for the whole run), so each such
// pair is tried once, with blank windows: a record need not keep its
// values to be checked.
#include "analysis/engine.h"
#include "maps/gcmap.h"
#include "maps/nullsurface.h"

#include <map>
#include <utility>

namespace quillet {

class DrawCheck {
public:
    // `plot`: the G+C map or, for the other plots, the G-C/G+C map, each
    // at its start setting; `inputs`: step and window texts of the run;
    // width and height: the picture's outer size in twips.
    DrawCheck(Plot plot, float width, float height, MapInputs inputs)
        : plot_(plot), width_(width), height_(height), inputs_(std::move(inputs))
    {}

    bool operator()(const RecordResult& r)
    {
        const auto key = std::make_pair(r.info.length, r.info.windows);
        if (const auto it = known_.find(key); it != known_.end())
            return it->second;
        MapInputs in = inputs_;
        in.AvgGC = r.windows.AvgGC;
        in.totalBases = FormatInteger(r.info.length);
        in.unknownCounts = nullptr; // marking never makes a map fail
        NullSurface surface(width_, height_);
        bool ok = true;
        try {
            if (plot_ == Plot::GCContent)
                DrawGCMap(surface, BlankWindows{r.info.windows}, StartSetting(Plot::GCContent), in);
            else
                DrawSkewMap(surface, BlankWindows{r.info.windows}, StartSetting(Plot::Skew), in);
        } catch (const std::exception&) {
            ok = false;
        }
        if (known_.size() > 100000)
            known_.clear();
        known_.emplace(key, ok);
        return ok;
    }

private:
    Plot plot_;
    float width_, height_;
    MapInputs inputs_;
    std::map<std::pair<int64_t, int64_t>, bool> known_;
};

} // namespace quillet
