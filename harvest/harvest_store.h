#pragma once

// The harvest's record-store step: once a meter's records are in its CSV file, the store
// takes what it does not have of that file yet, in one transaction. The step stands between
// the harvest and its report, so the report carries the store's outcome per meter. A store
// that fails costs no CSV record: the file is already written, and the next harvest catches
// the store up from it.

#include <memory>
#include <string>

#include "log/harvest.h"
#include "store/record_store.h"

namespace tellumic::harvest {

class StoringReport final : public HarvestReport
{
public:
    StoringReport(std::string url, bool isShort, HarvestReport &next)
        : m_url(std::move(url)), m_isShort(isShort), m_next(next)
    {
    }

    void planned(const std::string &network, const std::vector<MeterPlan> &meters) override
    {
        m_next.planned(network, meters);
    }
    void started(const MeterProgress &progress) override { m_next.started(progress); }
    void progress(const MeterProgress &progress) override { m_next.progress(progress); }
    void finished(const MeterResult &result) override;
    void networkMessage(const std::string &network, const std::string &text) override
    {
        m_next.networkMessage(network, text);
    }

    // Whether the store failed for any meter.
    bool failed() const { return m_failed; }

private:
    void storeMeter(MeterResult &result);

    std::string m_url;
    bool m_isShort;
    HarvestReport &m_next;
    std::unique_ptr<store::RecordStore> m_store;
    bool m_failed = false;
};

}  // namespace tellumic::harvest
