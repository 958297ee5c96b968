#include "puve_dev_element_enum_sys.h"
#include "testing/host_test.h"
#include "velmo_debug.h"

using host::testing::expect_internal_error;
using host::testing::HostTest;

class DebugPrintTest : public HostTest {};

TEST_F(DebugPrintTest, DebugLinesCarryTheComponentTag) {
  msg_vdebug_impl(2, "Forced %d carry chain registers to ZOTA mode", 0);
  msg_vdebug_impl(3, "too detailed");
  auto lines = host::debug::lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].module, "VELMO");
  EXPECT_EQ(lines[0].level, 2);
  EXPECT_EQ(lines[0].text, "Forced 0 carry chain registers to ZOTA mode");
}

TEST_F(DebugPrintTest, EnabledFollowsTheHostsLevelAndInitialisation) {
  EXPECT_TRUE(msg_vdebug_is_enabled(2));
  EXPECT_FALSE(msg_vdebug_is_enabled(3));
  host::debug::set_level("OTHER", 5);
  host::debug::set_level("VELMO", 0);
  EXPECT_FALSE(msg_vdebug_is_enabled(1)) << "another module's level does not enable ours";
  host::debug::set_level("VELMO", 4);
  msg_initialized = false;
  EXPECT_FALSE(msg_vdebug_is_enabled(0));
  msg_initialized = true;
  EXPECT_TRUE(msg_vdebug_is_enabled(4));
}

namespace {
// A message whose post result and destruction a test can observe.
class PROBE_MESSAGE : public MSG_POST {
public:
  PROBE_MESSAGE(int result, bool* destroyed, MSG_REPORT** seen) : m_result(result), m_destroyed(destroyed), m_seen(seen) {}
  ~PROBE_MESSAGE() override { *m_destroyed = true; }
  void set_report(MSG_REPORT* r) override { *m_seen = r; }
  int post() override { return m_result; }

private:
  int m_result;
  bool* m_destroyed;
  MSG_REPORT** m_seen;
};
}  // namespace

TEST_F(DebugPrintTest, PostHandsOverTheReportReturnsThePostResultAndDestroys) {
  bool destroyed = false;
  MSG_REPORT* seen = nullptr;
  EXPECT_EQ(msg_post(new PROBE_MESSAGE(7, &destroyed, &seen), msg_get_default_report()), 7);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(seen, msg_get_default_report());

  auto* e = new MSG_E(nullptr);
  e->fill_args("Can't fit design in device/EVELMO_FAIL");
  e->set_id(11164);
  EXPECT_EQ(msg_post(e, nullptr), 0);
  ASSERT_EQ(host::messages::posted().size(), 1u);
  EXPECT_EQ(host::messages::posted()[0].key, "VELMO_FAIL");
  EXPECT_EQ(msg_get_default_report()->get_error_count(), 1);
}

TEST_F(DebugPrintTest, ElementDebugNames) {
  EXPECT_STREQ(pral_get_debug_string(static_cast<DEV_ELEMENT_ENUM>(282)), "LAB_PORT_MUX");
  const auto last = static_cast<DEV_ELEMENT_ENUM>(puve_get_generic_dev_element_enum() - 1);
  EXPECT_STREQ(pral_get_debug_string(last), "ELEMENT_1999");
  for (int bad : {0, static_cast<int>(puve_get_generic_dev_element_enum()), 0xFFFF}) {
    auto err = expect_internal_error([&] { pral_get_debug_string(static_cast<DEV_ELEMENT_ENUM>(bad)); });
    EXPECT_EQ(err.condition, "Invalid element " + std::to_string(bad));
    EXPECT_EQ(err.file, "puve_dev_element_enum_sys");
    EXPECT_EQ(err.line, 3658);
  }
}
