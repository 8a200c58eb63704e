#include "analysis/recordstore.h"

#include <algorithm>

namespace quillet {

uint64_t WindowBytes(const WindowResults& w)
{
    return w.GCValues.capacity() * sizeof(float) + w.SkewValues.capacity() * sizeof(float) +
           w.UnknownCounts.capacity() * sizeof(int32_t);
}

RecordStore::RecordStore(QString path, RunSettings settings, uint64_t budgetBytes)
    : path_(std::move(path)), settings_(std::move(settings)), budget_(budgetBytes)
{
    settings_.startOffset = 0;
    settings_.maxRecords = -1;
}

void RecordStore::add(RecordResult&& record)
{
    // The record shown last is always kept; the one before it stays only
    // while within the budget.
    if (!windows_.empty() && keptBytes_ > budget_ && windows_.back()) {
        keptBytes_ -= WindowBytes(*windows_.back());
        windows_.back().reset();
        ++dropped_;
    }
    // Everything that may fail for want of memory comes first, so that a
    // record is added whole or not at all.
    const uint64_t bytes = WindowBytes(record.windows);
    RecordProfile profile = ProfileOf(record.windows, settings_.windowSize.value_or(0), settings_.step.value_or(0));
    auto windows = std::make_shared<const WindowResults>(std::move(record.windows));
    const auto room = [](auto& v) {
        if (v.size() == v.capacity())
            v.reserve(std::max<std::size_t>(16, v.capacity() * 2));
    };
    room(infos_);
    room(windows_);
    room(profiles_);
    infos_.push_back(std::move(record.info));
    windows_.push_back(std::move(windows));
    profiles_.push_back(std::move(profile));
    keptBytes_ += bytes;
}

namespace {
// Takes the one record asked for, passing progress and cancelling through.
class OneRecord : public ForwardingListener {
public:
    explicit OneRecord(RunListener* outer) : ForwardingListener(outer) {}
    bool recordComputed(RecordResult&& r) override
    {
        result = std::move(r);
        got = true;
        return false;
    }
    RecordResult result;
    bool got = false;
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
    s.maxRecords = 1;
    OneRecord one(listener);
    RunFastaFile(path_, s, one);
    // The file must still hold the same record there.
    const RecordInfo& want = infos_[i];
    if (!one.got || one.result.info.name != want.name || one.result.info.length != want.length ||
        one.result.info.AvgGC != want.AvgGC)
        return nullptr;
    return std::make_shared<const WindowResults>(std::move(one.result.windows));
}

} // namespace quillet
