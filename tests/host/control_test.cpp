// The host's control surface: internal errors, profiling bins, the call log,
// scripts, reset, the loader and the family table.
#include <exception>
#include <filesystem>
#include <string>

#include "common/host_call_log.h"
#include "common/host_control.h"
#include "common/host_lent.h"
#include "common/host_progress.h"
#include "common/host_world.h"
#include "common/host_script.h"
#include "dev/dev_family.h"
#include "dev/dev_spec.h"
#include "gen/gen_profile.h"
#include "msg/msg_internal_error.h"
#include "sta/sta_timers.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "thr/thr_drl.h"
#include "wexan/wexan_env.h"

using host::testing::HostTest;

class ControlTest : public HostTest {};

namespace {
// World slots whose destructors count down another slot's counter, one pair
// in each order of the slots' keys.
struct A_COUNT {
  int n = 0;
};
struct Z_COUNT {
  int n = 0;
};
struct A_COUNTS_DOWN_Z {
  ~A_COUNTS_DOWN_Z() { --host_world_slot<Z_COUNT>().n; }
};
struct Z_COUNTS_DOWN_A {
  ~Z_COUNTS_DOWN_A() { --host_world_slot<A_COUNT>().n; }
};
}  // namespace

TEST_F(ControlTest, InternalErrorCarriesFourFieldsAndIsNoStdException) {
  try {
    try {
      MSG_INTERNAL_ERROR::report("x != NULL", "VELMO", "velmo_expert", 123);
    } catch (const std::exception&) {
      FAIL() << "an internal error must not be a std::exception";
    }
  } catch (const HOST_INTERNAL_ERROR& e) {
    EXPECT_EQ(e.condition, "x != NULL");
    EXPECT_EQ(e.tag, "VELMO");
    EXPECT_EQ(e.file, "velmo_expert");
    EXPECT_EQ(e.line, 123);
    EXPECT_EQ(e.what(), "x != NULL (velmo_expert:123)");
  }
  EXPECT_EQ(host::call_lines(),
            (std::vector<std::string>{R"(MSG_INTERNAL_ERROR::report("x != NULL", "VELMO", "velmo_expert", 123))"}));
}

TEST_F(ControlTest, ProfilingBinsBalance) {
  GEN_PROFILE_BINS::open_with_tag("VELMO", "outer", 2147483647, "Place Core");
  auto h = GEN_PROFILE_BINS::open_with_tag("VELMO", "inner", 2147483647, "");
  GEN_PROFILE_BINS::open("VELMO", "innermost");
  EXPECT_EQ(host::bins::open_stack(), (std::vector<std::string>{"outer", "inner", "innermost"}));
  GEN_PROFILE_BINS::close_recursively(h);
  EXPECT_EQ(host::bins::open_stack(), (std::vector<std::string>{"outer"}));
  std::string why;
  EXPECT_FALSE(host::bins::balanced(&why));
  EXPECT_EQ(why, "bin 'outer' still open on thread 0");
  GEN_PROFILE_BINS::close("outer");
  EXPECT_TRUE(host::bins::balanced());

  GEN_PROFILE_BINS::open("VELMO", "a");
  GEN_PROFILE_BINS::close("b");  // recorded, never raised
  EXPECT_FALSE(host::bins::balanced(&why));
  EXPECT_EQ(host::bins::events().back().action, "unbalanced close");
  ASSERT_TRUE(host_reset());  // leave a clean host for the fixture's checks
}

TEST_F(ControlTest, ElapsedTimeTextFollowsTheInjectedClock) {
  GEN_STOPWATCH w;
  EXPECT_EQ(w.get_elapsed_time_str(), "00:00:00");
  host::clock::advance(std::chrono::milliseconds(3723500));
  EXPECT_EQ(w.get_elapsed_time_str(), "01:02:03");
  EXPECT_EQ(gen_format_elapsed_time(-1), "00:00:00");
  // A clock frozen again does not keep the old clock's step per read.
  host::clock::advance_on_each_read(std::chrono::milliseconds(1000));
  host::clock::unfreeze();
  host::clock::freeze();
  EXPECT_EQ(host::clock::now(), host::clock::now());
}

// A stage's progress: nothing before its interval, then the operations
// running, outermost first, each with what it has done of its own total
// (-1 for one that counts nothing); a new stage starts with none.
TEST_F(ControlTest, ProgressReportsTheRunningOperationsEachInterval) {
  static std::vector<host::progress::STATUS> seen;
  seen.clear();
  host::progress::set_listener([](const host::progress::STATUS& s) { seen.push_back(s); }, 30.0);
  host::progress::begin_stage();
  host::progress::OPERATION outer("router", "connection", 10);
  {
    // A timing update names itself; one inside it does not again.
    host::timers::SCOPE timing(host::timers::SCOPE::TIMING);
    host::timers::SCOPE nested(host::timers::SCOPE::TIMING);
    host::clock::advance(std::chrono::seconds(29));
    outer.set_done(4);
    EXPECT_TRUE(seen.empty());
    host::clock::advance(std::chrono::seconds(1));
    outer.set_done(5);
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_EQ(seen[0].running.size(), 2u);
    EXPECT_EQ(seen[0].running[0].name, "router");
    EXPECT_EQ(seen[0].running[0].done, 5);
    EXPECT_EQ(seen[0].running[0].total, 10);
    EXPECT_EQ(seen[0].running[1].name, "timing update");
    EXPECT_EQ(seen[0].running[1].total, -1);
    EXPECT_DOUBLE_EQ(seen[0].seconds, 30.0);
  }
  host::progress::end_stage();
  host::progress::begin_stage();
  host::progress::OPERATION next("hold-fix re-route", "connection", 3);
  host::clock::advance(std::chrono::seconds(30));
  next.set_done(1);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].running.size(), 1u);
  host::progress::end_stage();
  host::progress::set_listener(nullptr, 0);
}

TEST_F(ControlTest, CallLogRendersArgumentsWithoutAddresses) {
  int x = 0;
  host::log_call("FAM_CLASS::member", 17, true, "txt", &x, nullptr, host::raw_arg{"atom#3"}, 2.5);
  auto calls = host::calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, "FAM_CLASS::member");
  EXPECT_EQ(calls[0].args, R"(17, true, "txt", ptr, null, atom#3, 2.5)");
  EXPECT_EQ(calls[0].thread, 0);
}

TEST_F(ControlTest, ScriptsQueueThenAlwaysThenDefault) {
  host::script::queue<bool>("OP::run").push(false).push(true);
  host::script::always<bool>("OP::run", false);
  int fired = 0;
  host::script::on("OP::run", [&] { ++fired; });
  EXPECT_FALSE(host::script::next<bool>("OP::run", true));
  EXPECT_EQ(host::script::unconsumed(), (std::vector<std::string>{"OP::run"}));
  EXPECT_TRUE(host::script::next<bool>("OP::run", true));
  EXPECT_FALSE(host::script::next<bool>("OP::run", true));
  EXPECT_EQ(fired, 3);
  EXPECT_TRUE(host::script::next<bool>("OP::other", true));
  EXPECT_TRUE(host::script::unconsumed().empty());
}

TEST_F(ControlTest, ResetClearsTheWorldButReportsLentObjects) {
  host::log_call("A::b");
  host::script::queue<int>("X::y").push(1);
  host::testing::device(host::testing::Family::KX).build();
  ASSERT_TRUE(host_reset());
  EXPECT_TRUE(host::calls().empty());
  EXPECT_TRUE(host::script::unconsumed().empty());
  EXPECT_EQ(host::device::internal_family_code(), 46);

  int obj = 0;
  host::registry_set("TIBEX_ENV::pdc_utility", &obj);
  EXPECT_FALSE(host_reset()) << "a lent object left registered fails the reset";
  EXPECT_TRUE(host::lent().empty());

  // What the old world's destructors touch is no part of the new world.
  host_world_slot<A_COUNT>().n = 1;
  host_world_slot<Z_COUNT>().n = 1;
  host_world_slot<A_COUNTS_DOWN_Z>();
  host_world_slot<Z_COUNTS_DOWN_A>();
  ASSERT_TRUE(host_reset());
  EXPECT_EQ(host_world_slot<A_COUNT>().n, 0);
  EXPECT_EQ(host_world_slot<Z_COUNT>().n, 0);

  // Each test works in a fresh folder of its own, named after it.
  const std::string folder = std::filesystem::current_path().filename().string();
  EXPECT_EQ(folder.rfind("velmo-ControlTest.ResetClearsTheWorldButReportsLentObjects-", 0), 0u) << folder;
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::current_path()));
}

TEST_F(ControlTest, LoaderFindsLibrariesAndSymbols) {
  void* lib = thr_drl_load("fitter_govin");
  ASSERT_NE(lib, nullptr) << thr_drl_get_error();
  auto factory = reinterpret_cast<void* (*)(WEXAN_ENV*)>(thr_drl_find_function(lib, "govin_wexan_factory"));
  auto deleter = reinterpret_cast<void (*)(void*)>(thr_drl_find_function(lib, "govin_delete_govin"));
  ASSERT_NE(factory, nullptr);
  ASSERT_NE(deleter, nullptr);
  void* obj = factory(nullptr);
  EXPECT_EQ(host::counters::get("govin"), 1);
  deleter(obj);
  EXPECT_EQ(host::counters::get("govin"), 0);
  EXPECT_EQ(thr_drl_find_function(lib, "no_such_symbol"), nullptr);
  EXPECT_THAT(std::string(thr_drl_get_error()), ::testing::HasSubstr("no_such_symbol"));
  thr_drl_unload(lib);

  EXPECT_EQ(thr_drl_load("no_such_library"), nullptr);
  EXPECT_STREQ(thr_drl_get_error(), "thr_drl_load: library 'libno_such_library.so' not found");
  host::loader::hide("zarn_yun");
  EXPECT_EQ(thr_drl_load("zarn_yun"), nullptr);
  void* yun = thr_drl_load("zarn_yun");  // hidden for one load only
  ASSERT_NE(yun, nullptr);
  thr_drl_unload(yun);
}

TEST_F(ControlTest, FamilyTableDecidesCodesTraitsAndZotaChecks) {
  DEV_FAMILY_MANAGER m;
  EXPECT_TRUE(m.test_trait_of(46, 152));
  EXPECT_FALSE(m.test_trait_of(46, 151));
  EXPECT_TRUE(m.test_trait_of(48, 203));
  EXPECT_FALSE(m.test_trait_of(7, 152));

  host::testing::device(host::testing::Family::KY).build();
  EXPECT_TRUE(host::device::zota_check(0));
  EXPECT_TRUE(host::device::zota_check(1));
  host::testing::device(host::testing::Family::KY).zota_flow_supported(false).build();
  EXPECT_TRUE(host::device::zota_check(0));
  EXPECT_FALSE(host::device::zota_check(1));

  host::testing::device(host::testing::Family::KZ).base_family_override(46).part_trait(42).build();
  WEXAN_ENV env(nullptr, 0, nolt_device_factory_fn);
  EXPECT_EQ(WEXAN_ENV::get_env(), &env);
  EXPECT_EQ(env.get_base_family_code(), 46);
  EXPECT_EQ(env.get_internal_family_code(), 26);
  EXPECT_EQ(m.get_base_family_enum(static_cast<DEV_FAMILY_ENUM>(26)), 46);
  EXPECT_TRUE(host::device::part_trait(42));
  EXPECT_FALSE(host::device::part_trait(32));
}
