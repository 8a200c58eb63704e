#pragma once
// Every record of the last run: its summary always, its windows while they
// fit a memory budget. A record whose windows were not kept is read again
// from the file when it is needed (a plain file from the record's offset, a
// compressed one streamed from its start). Every record also keeps its
// coarse profile, which the genome overview draws from.
#include "analysis/engine.h"
#include "analysis/overview.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace quillet {

class RecordStore {
public:
    static constexpr uint64_t kDefaultBudget = uint64_t{256} << 20; // 256 MiB of windows

    RecordStore(QString path, RunSettings settings, uint64_t budgetBytes = kDefaultBudget);

    // Takes a computed record; its windows are kept while the total stays
    // within the budget. The last record added is always kept, since the
    // window shows it after a run.
    void add(RecordResult&& record);

    std::size_t size() const { return infos_.size(); }
    const RecordInfo& info(std::size_t i) const { return infos_[i]; }
    const std::vector<RecordInfo>& infos() const { return infos_; }
    // The windows of record i when kept; nullptr otherwise.
    std::shared_ptr<const WindowResults> kept(std::size_t i) const { return windows_[i]; }
    bool allKept() const { return dropped_ == 0; }
    // The coarse curves of record i, kept for every record.
    const RecordProfile& profile(std::size_t i) const { return profiles_[i]; }
    const std::vector<RecordProfile>& profiles() const { return profiles_; }
    uint64_t keptBytes() const { return keptBytes_; }

    // The windows of record i: kept ones at once, others read again from
    // the file. The listener sees progress and may cancel (its
    // recordComputed is not called). Nothing when the file no longer gives
    // the same record (changed, removed, cancelled).
    std::shared_ptr<const WindowResults> load(std::size_t i, RunListener* listener = nullptr) const;

    const QString& path() const { return path_; }
    const RunSettings& settings() const { return settings_; }

private:
    QString path_;
    RunSettings settings_;
    uint64_t budget_;
    uint64_t keptBytes_ = 0;
    std::size_t dropped_ = 0;
    std::vector<RecordInfo> infos_;
    std::vector<std::shared_ptr<const WindowResults>> windows_;
    std::vector<RecordProfile> profiles_;
};

// Bytes the windows of one record take in memory.
uint64_t WindowBytes(const WindowResults& w);

} // namespace quillet
