#pragma once
// The registry semantics the settings logic relies on, checked against every key store: the
// in-memory store natively and under Wine, the registry store under Wine.
#include <gtest/gtest.h>

#include <memory>

#include "settings/key_store.h"

namespace tt::testing {

// Makes an empty store of its own for one test.
using KeyStoreFactory = std::shared_ptr<IKeyStore> (*)();

class KeyStoreContract : public ::testing::TestWithParam<KeyStoreFactory> {
protected:
    void SetUp() override {
        store = GetParam()();
        ASSERT_TRUE(store);
    }
    std::shared_ptr<IKeyStore> store;
};

}  // namespace tt::testing
