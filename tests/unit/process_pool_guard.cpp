// Keeps the process-wide pool empty between tests. Its chunks live in the
// simulated machine's global memory, which every machine reset frees, so a
// chunk left over from one test would be freed memory in the next.
#include <gtest/gtest.h>

#include "support/block_pool.h"

namespace {

class ProcessPoolGuard : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { ThePool().PoolReset(); }
    void OnTestEnd(const testing::TestInfo&) override { ThePool().PoolReset(); }
};

const bool installed = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new ProcessPoolGuard);
    return true;
}();

}  // namespace
