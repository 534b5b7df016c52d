#include "harvest/harvest_store.h"

#include "foundation/paths.h"
#include "model/product_tables.h"
#include "store/csv_loader.h"

namespace tellumic::harvest {

void StoringReport::finished(const MeterResult &result)
{
    if (result.outcome == HarvestOutcome::DryRun ||
        // A meter the run did not reach (stopped, or out of time) has nothing new for the store.
        (result.outcome == HarvestOutcome::Cancelled && (result.error == kStoppedBeforeMeter || result.tries == 0))) {
        m_next.finished(result);
        return;
    }
    MeterResult r = result;
    storeMeter(r);
    m_next.finished(r);
}

void StoringReport::storeMeter(MeterResult &r)
{
    try {
        store::MeterInfo meter;
        meter.key = {r.network, r.name, m_isShort};
        meter.neuronId = r.neuronId;
        meter.programId = r.programId;
        if (const ProgramIdRecord *model = findProgramId(r.programId))
            meter.model = model->Model;
        // A store that failed once is tried again for the next meter: the server may be back.
        if (!m_store)
            m_store = store::openRecordStore(m_url);
        r.stored = store::loadLogFile(*m_store, meter, programFolder() / r.file, false).added;
    } catch (const std::exception &e) {
        m_store.reset();
        r.storeError = e.what();
        m_failed = true;
    }
}

}  // namespace tellumic::harvest
