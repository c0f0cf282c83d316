// A fixture with a pool of its own on a fresh simulated machine, for the pool
// and path-buffer tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "block_pool_inspect.h"
#include "sim/control.h"

namespace pooltest {

// A pool of its own on a fresh machine.
class PoolOnMachineTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetMachine();
        pool = std::make_unique<CBlockPool>();
    }
    // The pool gives its chunks back before the machine forgets them.
    void TearDown() override {
        pool.reset();
        sim::ResetMachine();
    }

    std::unique_ptr<CBlockPool> pool;
};

}  // namespace pooltest
