#include "analysis/recordstore.h"

#include <algorithm>

namespace quillet {

uint64_t WindowBytes(const WindowResults& w)
{
    return w.GCValues.capacity() * sizeof(float) + w.SkewValues.capacity() * sizeof(float) +
           w.UnknownCounts.capacity() * sizeof(int32_t) +
           (w.GCTenths.capacity() + w.SkewTenths.capacity()) * sizeof(int64_t);
}

namespace {

// What one record takes in the store's three arrays, and what kept windows
// take besides their values (the block make_shared allocates).
constexpr uint64_t kSlotBytes =
    sizeof(RecordInfo) + sizeof(std::shared_ptr<const WindowResults>) + sizeof(RecordProfile);
constexpr uint64_t kKeptBlockBytes = sizeof(WindowResults) + 2 * sizeof(void*);

// A record's name and profile points, beyond its slots.
uint64_t RecordExtraBytes(const RecordInfo& info, const RecordProfile& profile)
{
    return uint64_t(info.name.capacity()) * sizeof(QChar) + profile.bytes() - sizeof(RecordProfile);
}

} // namespace

RecordStore::RecordStore(QString path, RunSettings settings, uint64_t budgetBytes)
    : path_(std::move(path)), settings_(std::move(settings)), budget_(budgetBytes),
      cap_(settings_.memoryCap ? settings_.memoryCap : RunMemoryCap())
{
    settings_.startOffset = 0;
    settings_.maxRecords = -1;
}

uint64_t RecordStore::heldBytes() const
{
    return keptBytes_ + recordBytes_ + uint64_t(infos_.capacity()) * kSlotBytes;
}

void RecordStore::add(RecordResult&& record)
{
    // The record shown last is always kept; the one before it stays only
    // while within the budget.
    const bool dropPrevious = !windows_.empty() && keptBytes_ > budget_ && windows_.back();
    const uint64_t bytes = WindowBytes(record.windows);
    RecordProfile profile = ProfileOf(record.windows, settings_.windowSize.value_or(0), settings_.step.value_or(0));
    // What the store would hold with the record, counted before anything is
    // allocated; while the arrays grow, the old ones are there too.
    const std::size_t room = infos_.capacity();
    const std::size_t grown = infos_.size() == room ? std::max<std::size_t>(1, room * 2) : room;
    const uint64_t extra = RecordExtraBytes(record.info, profile) + kKeptBlockBytes;
    const uint64_t dropped = dropPrevious ? WindowBytes(*windows_.back()) + kKeptBlockBytes : 0;
    const uint64_t peak = heldBytes() - dropped + bytes + extra + (grown != room ? grown * kSlotBytes : 0);
    if (peak > cap_)
        throw MemoryCapReached();
    // Everything that may fail for want of memory comes first, so that a
    // record is added whole or not at all.
    auto windows = std::make_shared<const WindowResults>(std::move(record.windows));
    if (grown != room) {
        infos_.reserve(grown);
        windows_.reserve(grown);
        profiles_.reserve(grown);
    }
    if (dropPrevious) {
        keptBytes_ -= WindowBytes(*windows_.back());
        recordBytes_ -= kKeptBlockBytes;
        windows_.back().reset();
        ++dropped_;
    }
    infos_.push_back(std::move(record.info));
    windows_.push_back(std::move(windows));
    profiles_.push_back(std::move(profile));
    keptBytes_ += bytes;
    recordBytes_ += extra;
}

namespace {
// Takes the one record asked for, passing progress and cancelling through;
// what the store holds counts against the run's cap.
class OneRecord : public ForwardingListener {
public:
    OneRecord(RunListener* outer, uint64_t held) : ForwardingListener(outer), held_(held) {}
    bool recordComputed(RecordResult&& r) override
    {
        result = std::move(r);
        got = true;
        return false;
    }
    uint64_t heldBytes() override { return held_; }
    RecordResult result;
    bool got = false;

private:
    uint64_t held_;
};
} // namespace

std::shared_ptr<const WindowResults> RecordStore::load(std::size_t i, RunListener* listener) const
{
    if (i >= windows_.size())
        return nullptr;
    if (windows_[i])
        return windows_[i];
    RunSettings s = settings_;
    s.startOffset = infos_[i].offset;
    s.format = infos_[i].format;
    s.maxRecords = 1;
    OneRecord one(listener, heldBytes());
    RunFile(path_, s, one);
    // The file must still hold the same record there.
    const RecordInfo& want = infos_[i];
    if (!one.got || one.result.info.name != want.name || one.result.info.length != want.length ||
        one.result.info.AvgGC != want.AvgGC)
        return nullptr;
    return std::make_shared<const WindowResults>(std::move(one.result.windows));
}

} // namespace quillet
