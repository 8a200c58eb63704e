#pragma once
// The plotted values as a bigWig file, the indexed binary track that genome
// browsers load at any scale. Each record with at least one window is one
// chromosome: its ID (the header up to its first blank, as the bedGraph
// names it, as UTF-8 text) and its length. Its intervals are the bedGraph's (see
// TrackInterval) and its values the plot's, the map's floats bit for bit
// (see ExportedFloat for the others). With ValueOptions::gaps a window of
// mostly unknown bases has no interval.
//
// A bigWig lists every chromosome before its first value, while records
// arrive one at a time, so the records' plotted values are collected first
// (4 bytes a window) and written at the end: the library builds the file
// in memory, and it goes to disk through an OutputFile, which replaces the
// target only once it is written whole; a failure leaves any file at the
// target as it was.
#include "analysis/calcwindows.h"
#include "maps/exportvalues.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace quillet {

class MemoryFile;

class BigWigTrack {
public:
    explicit BigWigTrack(Plot plot, const ValueOptions& options = {}) : plot_(plot), options_(options) {}

    // Adds the windows of a record of `length` bases whose first window
    // starts at base `firstPosition` (`length` is the whole record's, also
    // when the windows cover only a stretch of it). A record without a
    // window is left out. False, with error(), for a record whose ID is
    // empty or that of an earlier record (a bigWig names each chromosome
    // once), whose windows end past `length`, or longer than a bigWig's
    // 32-bit positions reach.
    // A record computed as a circle (`circular`, RecordInfo::wrapped) has
    // the interval of a window across its origin cut in two (see OnCircle).
    bool addRecord(const QString& name, int64_t length, const WindowResults& windows, int32_t windowSize, int32_t step,
                   int64_t firstPosition = 1, bool circular = false);
    // How many records are in, and dropping those added after the first
    // `count` (a file whose run failed takes its records back).
    std::size_t size() const { return records_.size(); }
    void truncate(std::size_t count);

    // Writes the file; false, with error(), when it could not be written
    // whole or no record had a window. `progress` (may be empty) hears how
    // far the building is, in steps of a record: each record is handed to
    // the library once for its intervals and once for its zoom levels.
    using Progress = std::function<void(uint64_t done, uint64_t total)>;
    bool write(const QString& path, const Progress& progress = {});
    // What went wrong, in the window's words, without the file's name.
    const QString& error() const { return error_; }

    // One record's chromosome: its ID as UTF-8, its length and the values
    // of its windows, NaN for a gap.
    struct Record {
        std::string id;
        uint32_t length;
        int32_t windowSize, step;
        int64_t firstPosition;
        int64_t circle; // its length when its windows wrap, 0 on a line
        std::vector<float> values;
    };

private:
    bool fitsLength(const QString& id, int64_t length, int64_t lastEnd);
    bool writeTo(MemoryFile& memory, const Progress& progress);

    Plot plot_;
    ValueOptions options_;
    std::vector<Record> records_;
    std::unordered_set<std::string> ids_;
    QString error_;
};

} // namespace quillet
