// A resynthesiser manager on the design a test builds, over the whole
// design's slack domain; the manager and its environment go with the test.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "cmp/cmp_facade.h"
#include "testing/host_test.h"
#include "velmo_irsyn_test.h"
#include "wexan/wexan_env.h"

class IRSYN_MANAGER_SCENE : public host::testing::HostTest {
public:
  IRSYN_MANAGER& make_manager() {
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    manager = std::make_unique<IRSYN_MANAGER>(CMP_FACADE::current(), env);
    manager->m_domain = HOV_INCR_WNS_DOMAIN{0, 0, 0, 0};
    return *manager;
  }
  void TearDown() override {
    manager.reset();
    delete env;
    env = nullptr;
    HostTest::TearDown();
  }
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<IRSYN_MANAGER> manager;
};
