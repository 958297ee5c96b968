#pragma once
// A started fitter on a chosen family, shut down at the end of the test.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/routing_builder.h"
#include "velmo_expert.h"
#include "velmo_main.h"

namespace velmo_test {

class ExpertTest : public host::testing::HostTest {
protected:
  // Configures the device; call before building the netlist.
  void device(int family) { host::testing::device(family).build(); }
  VELMO_EXPERT* start() {
    EXPECT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
    m_started = true;
    host::clear_calls();
    return VELMO_EXPERT::get();
  }
  void TearDown() override {
    if (m_started) velmo_shutdown_fitter();
    host::testing::HostTest::TearDown();
  }
  static int count_lines(const std::string& text) {
    auto t = host::debug::texts();
    return static_cast<int>(std::count(t.begin(), t.end(), text));
  }
  static int count_calls(const std::string& name) { return host::call_count(name); }
  // Call-log lines equal to `line` ("NAME(args)").
  static int count_call_lines(const std::string& line) {
    auto l = host::call_lines();
    return static_cast<int>(std::count(l.begin(), l.end(), line));
  }
  static bool exists(const std::string& path) { return std::filesystem::exists(path); }
  // Routes `source` onto a wire with seven fabric branches, one more than a
  // wire may drive.
  static void route_past_the_fanout_limit(host::testing::SIG source) {
    using host::testing::NET_BUILDER;
    host::testing::routing().routing(source).wire(host::testing::h(7, 7)).branch([](NET_BUILDER& b) {
      for (int i = 0; i < 7; ++i)
        b.branch([&](NET_BUILDER& c) { c.wire(i % 2 ? host::testing::v(1 + i / 2, 2) : host::testing::h(1 + i / 2, 2)); });
    });
  }

private:
  bool m_started = false;
};

}  // namespace velmo_test
