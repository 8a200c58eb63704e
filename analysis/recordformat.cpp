#include "analysis/recordformat.h"

#include "analysis/fasta.h"
#include "analysis/flatcutter.h"

namespace quillet {

namespace {

// The record formats the program reads, in the order their content is
// tried; the last takes any content.
struct RecordFormatRow {
    RecordFormat format;
    bool (*recognises)(std::string_view start);
    std::unique_ptr<RecordCutter> (*makeCutter)(const CutterOptions& options);
};

constexpr RecordFormatRow kRecordFormats[] = {
    {RecordFormat::GenBank, [](std::string_view start) { return LooksLikeFlatFile(start, FlatSyntax::GenBank); },
     [](const CutterOptions&) -> std::unique_ptr<RecordCutter> {
         return std::make_unique<FlatFileCutter>(FlatSyntax::GenBank);
     }},
    {RecordFormat::Embl, [](std::string_view start) { return LooksLikeFlatFile(start, FlatSyntax::Embl); },
     [](const CutterOptions&) -> std::unique_ptr<RecordCutter> {
         return std::make_unique<FlatFileCutter>(FlatSyntax::Embl);
     }},
    // Any content is FASTA text: what comes before the first ">" belongs
    // to no record, and content without one holds no record.
    {RecordFormat::Fasta, [](std::string_view) { return true; },
     [](const CutterOptions& options) -> std::unique_ptr<RecordCutter> {
         return std::make_unique<FastaCutter>(options);
     }},
};

} // namespace

RecordFormat RecordFormatOf(std::string_view start)
{
    for (const RecordFormatRow& row : kRecordFormats)
        if (row.recognises(start))
            return row.format;
    return RecordFormat::Fasta;
}

std::unique_ptr<RecordCutter> MakeRecordCutter(RecordFormat format, const CutterOptions& options)
{
    for (const RecordFormatRow& row : kRecordFormats)
        if (row.format == format)
            return row.makeCutter(options);
    return std::make_unique<FastaCutter>(options);
}

} // namespace quillet
