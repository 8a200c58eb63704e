#pragma once
// bgzip files: gzip members of at most 64 KiB, each with its compressed
// size in a "BC" extra field and its content size at its end. Their
// blocks can be found without inflating anything, read from the middle,
// and inflated independently, on several cores.
#include "analysis/input.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quillet {

// Where a block starts, in the compressed file and in the content.
struct BgzfBlock {
    uint64_t compressed = 0, content = 0;
    uint32_t bytes = 0; // of content it holds
};

// The blocks of the gzip file held in `bytes` (its whole compressed
// content), or nothing when it is no bgzip file (a member without the
// block-size field, or a damaged or cut block), with why in `why`.
std::optional<std::vector<BgzfBlock>> BgzfBlocks(const char* bytes, std::size_t size, QString& why);

// The blocks of the regular file of `total` bytes open at `fd`, from each
// block's header and size field (the last files' blocks are kept, by their
// identity and change time); nothing when any member is no bgzip block,
// with why in `why`.
std::optional<std::vector<BgzfBlock>> ScanBgzf(int fd, uint64_t total, QString* why = nullptr);

// The content of those blocks, inflated on worker threads (one per core
// beside the reader's), handed out in order, with a fixed number of
// blocks in flight. A damaged block throws InputError (Damaged) once the
// content before it was read. Owns `fd` when `owned`.
std::unique_ptr<InputStream> OpenBgzfStream(int fd, bool owned, uint64_t total, std::vector<BgzfBlock> blocks);

} // namespace quillet
