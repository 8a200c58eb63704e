#pragma once
// Reading annotation files into a FeatureSet: GFF3, GTF, BED (3 to 12
// columns), GenBank and EMBL flat files (their records' header facts and
// feature tables; their sequences are left to the sequence readers). The
// format is recognised by the content. A bad line fails the whole file
// with a Failure that names the file, the line and what is wrong.
#include "analysis/features.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quillet {

enum class AnnotationFormat { None, Gff3, Gtf, Bed, GenBank, Embl };
const char* AnnotationFormatName(AnnotationFormat format);

// The format of a file's content; for None, `what` says what the content
// seems to be ("a FASTA sequence file", "empty", "text that is no
// annotation" ...).
struct AnnotationKind {
    AnnotationFormat format = AnnotationFormat::None;
    std::string what;
};
AnnotationKind SniffAnnotation(std::string_view content);

// The sequence a GFF3 feature line says is circular: its seqid (decoded)
// when its attributes hold Is_circular=true, empty otherwise (a comment, a
// directive, a line of fewer than nine columns).
std::string GffCircularSeqid(std::string_view line);

struct AnnotationFile {
    AnnotationFormat format = AnnotationFormat::None;
    FeatureSet features;
    // GFF3 with a ##FASTA section: the offset in the content of the line
    // after the directive, where the sequences start; -1 without one.
    int64_t fastaOffset = -1;
    // GenBank and EMBL location parts on other entries ("J00194.1:100..202")
    // are skipped; a feature left without parts is skipped too.
    uint64_t remoteParts = 0;
    uint64_t remoteFeatures = 0;
};

// Each reader takes the decoded content and the file's name for messages.
// Throws Failure. The table formats read a large content in `pieces`
// pieces at once, one thread each (0: one for every two processors, each
// of 32 MiB at least), with the same result as reading it from the start.
AnnotationFile ReadGff3(std::string_view content, std::string_view fileName, int pieces = 0);
AnnotationFile ReadGtf(std::string_view content, std::string_view fileName, int pieces = 0);
AnnotationFile ReadBed(std::string_view content, std::string_view fileName, int pieces = 0);
AnnotationFile ReadGenBank(std::string_view content, std::string_view fileName);
AnnotationFile ReadEmbl(std::string_view content, std::string_view fileName);
// Recognises the format and reads it; refuses content of another kind
// ("genes.fa: it is a FASTA sequence file, not annotation ...").
AnnotationFile ReadAnnotation(std::string_view content, std::string_view fileName);
// Opens the file (decompressing it by its content) and reads it as
// annotation: GenBank and EMBL whole, the table formats in blocks of whole
// lines of about `blockBytes` each (what is read is the same). Throws
// Failure naming the file.
AnnotationFile ReadAnnotationFile(const QString& path, std::size_t blockBytes = std::size_t(64) << 20);

// Whether the file is annotation without sequences (GTF, BED, GFF3 without
// a ##FASTA section), recognised by its content: what the window adds as
// features when it is dropped there rather than opening it. False when it
// cannot be read.
bool AnnotationOnly(const QString& path);

// The features a sequence file holds itself: a GenBank or EMBL file's
// feature tables, a GFF3 file's lines before its sequences. `format` is the
// format its records were read in. None for a FASTA file, or when they
// cannot be read (the sequences still can).
std::shared_ptr<const FeatureSet> OwnFeatures(const QString& path, RecordFormat format);

} // namespace quillet
