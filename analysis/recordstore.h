#pragma once
// Every record of the last run: its summary always, its windows while they
// fit a memory budget. A record whose windows were not kept is read again
// from the file when it is needed (a plain file from the record's offset, a
// compressed one streamed from its start). Every record also keeps its
// coarse profile, which the genome overview draws from.
//
// All it holds counts against the run's memory cap (RunSettings::memoryCap):
// a record that would take the store past it is refused before anything is
// allocated, and the run ends saying that the records fill the cap.
#include "analysis/engine.h"
#include "analysis/overview.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace quillet {

class RecordStore {
public:
    // The windows of the records before the last are kept while all the
    // kept windows take at most this (256 MiB).
    static constexpr uint64_t kDefaultBudget = uint64_t{256} << 20;

    RecordStore(QString path, RunSettings settings, uint64_t budgetBytes = kDefaultBudget);

    // Takes a computed record; its windows are kept while the total stays
    // within the budget. The last record added is always kept, since the
    // window shows it after a run. Throws MemoryCapReached, having changed
    // nothing, when the store would then hold more than the run's cap.
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
    // Everything the store holds: the kept windows, and each record's
    // summary, name and profile.
    uint64_t heldBytes() const;

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
    uint64_t cap_;
    uint64_t keptBytes_ = 0;
    uint64_t recordBytes_ = 0; // names, profiles and shared blocks beyond the arrays' slots
    std::size_t dropped_ = 0;
    std::vector<RecordInfo> infos_;
    std::vector<std::shared_ptr<const WindowResults>> windows_;
    std::vector<RecordProfile> profiles_;
};

// Bytes the windows of one record take in memory.
uint64_t WindowBytes(const WindowResults& w);

} // namespace quillet
