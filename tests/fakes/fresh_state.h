#pragma once
// What the product keeps per process (theSettings' values, theProcessState, the stored
// password, whether the browser has tabs), back as at load before and after each test that
// touches it, so that no test sees what an earlier one left.
#include <gtest/gtest.h>

namespace tt::testing {

void ResetProcessWideState();

// The fixture of such tests; Base is a fixture of its own (COM set up, for instance) or the
// plain GoogleTest one.
template <class Base = ::testing::Test>
class FreshStateTest : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        ResetProcessWideState();
    }
    void TearDown() override {
        ResetProcessWideState();
        Base::TearDown();
    }
};

}  // namespace tt::testing
