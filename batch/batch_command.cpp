#include "batch/batch_command.h"

#include "batch/batch_files.h"
#include "batch/batch_status.h"
#include "batch/local_runner.h"
#include "batch/manifest.h"
#include "batch/row_record.h"
#include "batch/row_worker.h"
#include "batch/slurm_submission.h"
#include "cli/output_check.h"

namespace pendra::batch {

int runBatch(const cli::Options &o) {
    const cli::BatchOptions &b = o.batch;
    if (b.row)
        return runRow(o.input, *b.row);
    Manifest manifest = readManifest(o.input);
    std::filesystem::path report =
        b.report ? std::filesystem::path(*b.report) : manifest.defaultReport();
    if (b.status)
        return printStatus(manifest, report);
    // Before any work, as for any output; the report is replaced on each run.
    cli::checkOutputFile(report, {manifest.path}, true);
    checkReport(manifest, report);
    if (b.collect)
        return collectReport(manifest, report);
    // Before any row runs: every file a row still to do would replace is one the batch made.
    for (const ManifestRow &row : manifest.rows)
        if (!currentRecord(manifest.stateFolder(), row))
            checkMadeByBatch(manifest, row);
    if (b.slurm)
        return submitToSlurm(manifest, b, report);
    return runLocal(manifest, b.workers.value_or(defaultWorkers()), report);
}

} // namespace pendra::batch
