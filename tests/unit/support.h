// Shared pieces of the host unit tests: registry content as a table, and a
// fixture that starts each test from an empty platform and checks afterwards
// that no registry handle was left open.
#pragma once

#include <gtest/gtest.h>

#include "registryTable.h"

class platformTest : public ::testing::Test {
  protected:
    void SetUp() override { portable::reset(); }
    void TearDown() override { EXPECT_EQ(portable::openKeyCount(), 0) << "a registry handle was left open"; }
};
