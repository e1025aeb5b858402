// What an operation left beside its own result, for allocation sweeps and
// bad-input tables: the error records it stored and the reports it wrote;
// and a runner of sweep tables.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/alloc_shim.h"
#include "support/log_capture.h"

class SweepOutcome {
public:
    SweepOutcome();  // notes the records the store holds already
    // " [code message]" for each record stored since the last call, in slot
    // order, each taken out of the store and destroyed; then " <message>"
    // for each report written since, cut before " at util:" or " in file ".
    std::string Since();

private:
    LogCapture cap_;
    size_t seen_ = 0;
    std::set<const void *> kept_;
};

// One row of a sweep table: op runs with an allocation failing; runs[k - 1]
// is what the table's describe and SweepOutcome::Since give after
// allocation k failed, and the last entry the run in which nothing failed.
template <class Fixture>
struct SweepRow {
    void (*op)(Fixture &);
    std::vector<std::string> runs;
};

// For each row and k = 1, 2, ...: setup (nothing failing), op with
// allocation k failing, then expects describe + the records and reports
// to be runs[k - 1], clears, and expects nothing leaked.
template <class Fixture>
void SweepRows(const std::vector<SweepRow<Fixture>> &rows, void (*setup)(Fixture &),
               std::string (*describe)(Fixture &), void (*clear)(Fixture &))
{
    SweepOutcome outcome;
    for (size_t r = 0; r < rows.size(); ++r) {
        const SweepRow<Fixture> &row = rows[r];
        const long n = static_cast<long>(row.runs.size());
        const long base = AllocShim_Live();
        Fixture f;
        setup(f);
        long runs = AllocShim_Sweep([&] { row.op(f); }, [&](long k, bool, long) {
            {
                std::string left = describe(f);
                left += outcome.Since();
                EXPECT_EQ(left, k <= n ? row.runs[k - 1] : "(extra)") << "row " << r << ", k " << k;
            }
            clear(f);
            EXPECT_EQ(AllocShim_Live(), base) << "row " << r << ", leak at k " << k;
            setup(f);
        });
        EXPECT_EQ(runs, n) << "row " << r;
        clear(f);
    }
}
