// The records that earlier jobs left in the spool: kept within bounds, and
// sent after the job's own report was acknowledged.
#pragma once

#include <cstddef>

#include "spool/report_spool.h"

struct SpoolBounds {
    // The files of other jobs that the folder keeps beside the job's own;
    // the oldest jobs' go first beyond it.
    static constexpr int kMostFiles = 1000;
    // What one job tries to delete of them at most, beyond the bound: a
    // folder that holds far more is brought within it over several jobs.
    static constexpr std::size_t kMostDeletions = 1000;
    // The oldest of them that one job lists: those it may remove and keep.
    static constexpr std::size_t kMostListed = kMostFiles + kMostDeletions;
    // A record older than this whose delivery failed is removed.
    static constexpr int kMostDays = 30;
    // What one job sends at most, and for how long.
    static constexpr int kMostSent = 100;
    // The jobs whose records one job reads at most, sent or not (set aside,
    // declined before).
    static constexpr int kMostOffered = 2 * kMostSent;
    static constexpr long long kMostMilliseconds = 10 * 60 * 1000;
    // Records of this many jobs in a row refused with an HTTP error status
    // end the delivery.
    static constexpr int kMostRefusedInRow = 2;
    // A record declined with a SOAP Fault on this many deliveries is set
    // aside.
    static constexpr int kMostRefusals = 3;
};

// Removes the oldest jobs' files beyond the bound, then, when send is given,
// sends the newest record of each other job whose records are free, oldest
// first, those that the server never declined before the others, one
// attempt each: an acknowledged job's records are deleted; a record declined
// with a SOAP Fault counts it and is passed over, and set aside on its
// kMostRefusals-th; records of jobs in a row refused with an HTTP error
// status end the delivery, as does a transport failure; a record whose
// delivery failed and that is older than the bound is removed. A record that
// is not a plain file of one name, or cannot be read as one, is set aside
// with the job's older records.
void TidyAndDeliver(ReportSpool& spool, const SendPendingReport* send);
