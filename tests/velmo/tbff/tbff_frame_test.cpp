// The time-borrowing optimiser's frame, pulse-value table and register
// discovery on small family-46 designs whose pipeline registers are clocked
// through the routing (PMUX, LAB clock mux).
#include <algorithm>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "msg/msg_base.h"
#include "common/host_call_log.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "kem/kem_manager.h"
#include "korrin/korrin_router.h"
#include "sta/sta_analysis.h"
#include "sta/sta_db_mgr.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/own_process.h"
#include "testing/route_helpers.h"
#include "tbff_fixture.h"
#include "velmo_tbff_autoborrow.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"
#include "yos/yos_interface.h"

using host::testing::expect_internal_error;
using host::testing::Family;
using host::testing::HostTest;
using host::testing::place_at;
using host::testing::place_in_slot;
using host::testing::SIG;

namespace {

using tbff_test::set_level;
using tbff_test::TbffTest;

// ---------------------------------------------------------------- pulse table

TEST_F(TbffTest, PulseTableFollowsCornerNamesAndGuardbands) {
  // "1_slow_900mv_-40c" has its own block; a fast corner at 100 C falls back
  // to the hot block, one at 0 C to the cold block.
  // Every other named block, cold and hot, as raw (rise, fall) per pulse
  // level, PMUX then LAB clock.
  struct Named {
    DeviceCorner corner;
    int raw[6][2];
  };
  const Named named_blocks[] = {
      {{1, 0, 900, 0, false}, {{112, 149}, {144, 182}, {160, 197}, {130, 144}, {165, 179}, {181, 195}}},
      {{1, 0, 900, 110, false}, {{101, 136}, {129, 165}, {144, 180}, {122, 136}, {154, 168}, {170, 184}}},
      {{2, 0, 850, -40, false}, {{138, 179}, {179, 220}, {197, 238}, {161, 175}, {206, 220}, {224, 238}}},
      {{2, 0, 850, 0, false}, {{138, 179}, {179, 220}, {197, 238}, {161, 175}, {206, 220}, {224, 238}}},
      {{2, 0, 850, 110, false}, {{114, 153}, {146, 185}, {163, 202}, {142, 157}, {179, 194}, {197, 212}}},
      {{2, 0, 900, 0, false}, {{133, 177}, {172, 215}, {190, 234}, {146, 160}, {185, 200}, {202, 217}}},
      {{2, 0, 900, 100, false}, {{118, 159}, {152, 193}, {169, 210}, {136, 150}, {171, 186}, {188, 203}}},
      {{3, 0, 850, -40, false}, {{162, 209}, {210, 257}, {230, 278}, {195, 211}, {251, 267}, {271, 287}}},
      {{3, 0, 850, 100, false}, {{128, 170}, {164, 207}, {182, 225}, {162, 179}, {206, 222}, {225, 242}}},
      {{3, 0, 900, 0, false}, {{147, 196}, {191, 240}, {211, 259}, {155, 171}, {197, 213}, {215, 231}}},
      {{3, 0, 900, 110, false}, {{131, 175}, {168, 213}, {187, 231}, {144, 159}, {181, 197}, {199, 215}}},
  };
  std::vector<DeviceCorner> corners = {DeviceCorner{1, DeviceCorner::SLOW, 900, -40, false},
                                       DeviceCorner{1, DeviceCorner::FAST, 900, 100, false},
                                       DeviceCorner{1, DeviceCorner::FAST, 900, 0, true}};
  for (const Named& b : named_blocks) corners.push_back(b.corner);
  build({3}, corners);
  TBFF_OPTIMIZATION_KY ky(m_env);
  ASSERT_TRUE(ky.prerequisites_met());
  KEM_CORNER_MANAGER* cm = KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager();
  KEM_CORNER* named = cm->get_internal_corner(KEM_TIMING_MODEL(1, 0, 900, -40));
  KEM_CORNER* hot = cm->get_internal_corner(KEM_TIMING_MODEL(1, 1, 900, 100));
  KEM_CORNER* cold = cm->get_internal_corner(KEM_TIMING_MODEL(1, 1, 900, 0));
  ASSERT_NE(named, nullptr);
  ASSERT_NE(hot, nullptr);
  ASSERT_NE(cold, nullptr);
  auto& values = const_cast<TBFF_OPTIMIZATION_KY::PULSE_VALUES&>(ky.pulse_values());
  using T = TBFF_OPTIMIZATION_KY;
  EXPECT_EQ(values[named][T::TBFF_TYPE_PMUX][HOV_PULSE_WIDTH_0], std::make_pair(108, 151));
  EXPECT_EQ(values[hot][T::TBFF_TYPE_PMUX][HOV_PULSE_WIDTH_0], std::make_pair(64, 93));
  EXPECT_EQ(values[hot][T::TBFF_TYPE_LAB_CLOCK][HOV_PULSE_WIDTH_2], std::make_pair(103, 119));
  // The cold fallback: (86, 94) at (1, 0) with 3 % off and 1 % on.
  EXPECT_EQ(values[cold][T::TBFF_TYPE_LAB_CLOCK][HOV_PULSE_WIDTH_0], std::make_pair(83, 95));
  // Each named block with the default guardbands: 3 % off the low value,
  // 1 % onto the high one, rounded up.
  for (const Named& b : named_blocks) {
    KEM_CORNER* corner = cm->get_internal_corner(KEM_TIMING_MODEL::from_corner(b.corner));
    ASSERT_NE(corner, nullptr);
    for (int type = 0; type < 2; ++type)
      for (int level = 0; level < 3; ++level) {
        const int* raw = b.raw[type * 3 + level];
        EXPECT_EQ(values[corner][static_cast<T::TBFF_TYPE>(type)][static_cast<HOV_PULSE_WIDTH_ENUM>(level)],
                  std::make_pair(97 * raw[0] / 100, (101 * raw[1] + 99) / 100))
            << KEM_TIMING_MODEL::from_corner(b.corner).get_name() << " type " << type << " level " << level;
      }
  }
  const std::size_t all = 3 + std::size(named_blocks);
  EXPECT_EQ(values.size(), all);
  // The hold-only corner is loaded: the KY models include it.
  EXPECT_EQ(ky.timing_models().size(), all);
}

TEST_F(TbffTest, CornerBetweenColdAndHotIsAnInternalError) {
  build({3}, {DeviceCorner::slow(), DeviceCorner{1, DeviceCorner::FAST, 900, 50, false}});
  const auto e = expect_internal_error([&] { TBFF_OPTIMIZATION_KY ky(m_env); });
  EXPECT_EQ(e.condition, "Unexpected corner when computing optimal borrow values");
  EXPECT_EQ(e.tag, "VELMO");
  EXPECT_EQ(e.file, "velmo_tbff_autoborrow");
}

// ---------------------------------------------------------------- frame

TEST_F(TbffTest, SparFlowOffSkipsWithOneLine) {
  build({3});
  cfg_set_off("velmo_finalize_spar_flow");
  TBFF_OPTIMIZATION_ANALYSIS_ONLY a(m_env);
  host::clear_calls();
  a.optimize();
  EXPECT_FALSE(a.prerequisites_met());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("TBFF: Skipping TBFF optimization because prerequisites were not met"));
  EXPECT_THAT(host::call_names(), ::testing::Not(::testing::Contains("STA_DB_MGR::set_analysis_state")));
  // The finalize stage's hold fixing off is the same.
  cfg_set_on("velmo_finalize_spar_flow");
  cfg_set_off("fit_finalize_runs_parasitics_hold_fixing");
  TBFF_OPTIMIZATION_ANALYSIS_ONLY b(m_env);
  EXPECT_FALSE(b.prerequisites_met());
  cfg_set_on("fit_finalize_runs_parasitics_hold_fixing");
  TBFF_OPTIMIZATION_ANALYSIS_ONLY c(m_env);
  EXPECT_TRUE(c.prerequisites_met());
}

TEST_F(TbffTest, OptimizeIsOneShotUntilReverted) {
  build({3});
  TBFF_OPTIMIZATION_ANALYSIS_ONLY a(m_env);
  a.optimize();
  EXPECT_EQ(expect_internal_error([&] { a.optimize(); }).condition, "!m_already_ran");
  a.revert();
  EXPECT_FALSE(a.already_ran());
  a.optimize();
  EXPECT_TRUE(a.already_ran());
}

TEST_F(TbffTest, StaleOrMissingNetlistIsRecreated) {
  // The retimer-disabled notice is printed once per process.
  if (!host::testing::in_own_process()) return;
  build({3});
  hov_get_atom_netlist_taint_manager()->taint_atom(static_cast<unsigned>(m_regs[0]->get_id()));
  host::clear_calls();
  TBFF_OPTIMIZATION_ANALYSIS_ONLY stale(m_env);
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("VELMO_TBFF: Timing netlist doesn't match atom netlist, attempting to recreate"));
  EXPECT_THAT(host::call_lines(), ::testing::Contains(::testing::HasSubstr(
                                      "get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, true, true")));
  // No netlist in memory nor on disk: read, then create.
  KEM_MANAGER::get()->delete_kem_netlist_in_memory();
  host::clear_calls();
  TBFF_OPTIMIZATION_ANALYSIS_ONLY missing(m_env);
  EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{
                                      "KEM_MANAGER::read_kem_netlist_from_disk",
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary"}));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("VELMO_TBFF: Still no netlist, attempting to create"));
  EXPECT_NE(KEM_MANAGER::get()->get_kem_netlist(), nullptr);
  // With the retimer disabled a netlist is re-created whether it was in
  // memory or just read from disk; the notice comes once per process.
  cfg_set_on("force_disable_zento_retimer");
  const auto recreations = [] {
    const auto names = host::call_names();
    return std::count(names.begin(), names.end(), std::string("WEXAN_ENV::get_hov_utility_or_create_if_necessary"));
  };
  const auto notices = [] {
    const auto lines = host::debug::texts();
    return std::count(lines.begin(), lines.end(), std::string("****** HACK WARNING ******"));
  };
  const auto notices_before = notices();
  host::clear_calls();
  { TBFF_OPTIMIZATION_ANALYSIS_ONLY in_memory(m_env); }
  EXPECT_EQ(recreations(), 1);
  ASSERT_TRUE(KEM_MANAGER::get()->write_kem_netlist_to_disk());
  KEM_MANAGER::get()->delete_kem_netlist_in_memory();
  host::clear_calls();
  const std::size_t mark = host::debug::texts().size();
  { TBFF_OPTIMIZATION_ANALYSIS_ONLY from_disk(m_env); }
  EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{
                                      "KEM_MANAGER::read_kem_netlist_from_disk",
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary"}));
  const auto lines = host::debug::texts();
  EXPECT_EQ(std::count(lines.begin() + static_cast<std::ptrdiff_t>(mark), lines.end(),
                       std::string("VELMO_TBFF: Still no netlist, attempting to create")), 0);
  EXPECT_EQ(notices() - notices_before, 1);
  // Without the re-creation switch the netlist read stays.
  cfg_set_off("velmo_tbff_recreate_netlist_when_no_retimer");
  KEM_MANAGER::get()->delete_kem_netlist_in_memory();
  host::clear_calls();
  { TBFF_OPTIMIZATION_ANALYSIS_ONLY kept(m_env); }
  EXPECT_EQ(recreations(), 0);
  EXPECT_NE(KEM_MANAGER::get()->get_kem_netlist(), nullptr);
}

// ---------------------------------------------------------------- discovery

TEST_F(TbffTest, AbsentLevelIsZeroAndAboveTwoStops) {
  build({3});
  {
    TBFF_OPTIMIZATION_KY ky(m_env);
    ky.find_all_interested_regs();
    ASSERT_EQ(ky.tlb_to_pw().size(), 1u);
    EXPECT_EQ(ky.tlb_to_pw().begin().value(), HOV_PULSE_WIDTH_0);
  }
  set_level(m_regs[0], 4);
  {
    TBFF_OPTIMIZATION_KY ky(m_env);
    EXPECT_EQ(expect_internal_error([&] { ky.find_all_interested_regs(); }).condition,
              "existing_pulse <= HOV_PULSE_WIDTH_ENUM::HOV_PULSE_WIDTH_2");
  }
  // A pipeline register without a clock input stops before its routing is
  // read.
  set_level(m_regs[0], 1);
  m_regs[0]->remove_input_term(m_regs[0]->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
  TBFF_OPTIMIZATION_KY ky(m_env);
  EXPECT_EQ(expect_internal_error([&] { ky.find_all_interested_regs(); }).condition, "iterm");
}

TEST_F(TbffTest, MissingCornersAreLoadedOnceWithTheWholeList) {
  build({3}, {DeviceCorner::slow(), DeviceCorner::fast(), DeviceCorner{2, DeviceCorner::SLOW, 850, 0, false}});
  host::clear_calls();
  TBFF_OPTIMIZATION_KY ky(m_env);
  const auto lines = host::call_lines();
  const auto builds = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("XAB_DELAY_ANNOTATOR::build_multicorner", 0) == 0;
  });
  EXPECT_EQ(builds, 1);
  EXPECT_THAT(lines, ::testing::Contains(::testing::HasSubstr(
                         "build_multicorner(2, false, \"1_slow_900mv_100c,1_fast_900mv_-40c,2_slow_850mv_0c\", false)")));
  EXPECT_TRUE(KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager()->has_corner(KEM_TIMING_MODEL(2, 0, 850, 0)));
  // All corners now loaded: a second object builds nothing.
  host::clear_calls();
  TBFF_OPTIMIZATION_KY again(m_env);
  EXPECT_THAT(host::call_names(), ::testing::Not(::testing::Contains("XAB_DELAY_ANNOTATOR::build_multicorner")));
}

TEST_F(TbffTest, AnalysisOnlyRestoresCornersAndFillsTheBorrowDatabase) {
  build({3, 5});
  const KEM_TIMING_MODEL slow(1, 0, 900, 100);
  sta_set_corners_for_analysis({slow}, {STA_SHORT_PATH_ANALYSIS});
  TBFF_OPTIMIZATION_ANALYSIS_ONLY a(m_env);
  a.optimize();
  EXPECT_EQ(host::sta::analysis_states(), (std::vector<int>{1, 2}));
  ASSERT_EQ(sta_get_corners().size(), 1u);
  EXPECT_EQ(sta_get_corners()[0]->get_timing_model(), slow);
  EXPECT_EQ(sta_get_long_or_short_path_types(), std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>{STA_SHORT_PATH_ANALYSIS});
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  KEM_CORNER_MANAGER* cm = kem->get_corner_manager();
  // One entry per pipeline register at every default corner, within its
  // pulse width (level 0: 30 ps scaled).
  for (KEM_CORNER* c : {cm->get_internal_corner(slow), cm->get_internal_corner(KEM_TIMING_MODEL(1, 1, 900, -40))}) {
    const KEM_BORROW_DB& db = cm->get_current_borrow_db(c);
    EXPECT_EQ(db.size(), 2u);
    for (auto it = db.begin(); it != db.end(); ++it) {
      EXPECT_EQ(kem->get_node(static_cast<int>(it.key()))->get_pulse_level(), 0);
      EXPECT_GE(it.value()[0][0], 0);
      EXPECT_LE(it.value()[0][0], 30);
    }
  }
  a.revert();
  EXPECT_EQ(cm->get_current_borrow_db(cm->get_internal_corner(slow)).size(), 0u);
}

TEST_F(TbffTest, RegistersAreGroupedBehindThePmuxOfTheirClock) {
  build({3, 5, 7});
  set_level(m_regs[0], 1);
  set_level(m_regs[1], 1);
  set_level(m_regs[2], 1);
  TBFF_OPTIMIZATION_KY ky(m_env);
  ky.find_all_interested_regs();
  // One routing top-level block, not all of its PMUXes used: merged into
  // its first group.
  EXPECT_EQ(ky.tlb_to_pw().size(), 1u);  // the router feeds the three LABs from one PMUX
  ASSERT_EQ(ky.pmux_groups().size(), 1u);
  auto it = ky.pmux_groups().begin();
  EXPECT_EQ(kind_of_key(it.key()), 1929);
  EXPECT_EQ(it.value().size(), 3u);
  for (const auto& info : it.value()) {
    EXPECT_EQ(info.type, TBFF_OPTIMIZATION_KY::TBFF_TYPE_PMUX);
    EXPECT_EQ(info.pmux_id, it.key());
    EXPECT_NE(std::find(m_regs.begin(), m_regs.end(), info.atom), m_regs.end());
  }
  for (auto pw = ky.tlb_to_pw().begin(); pw != ky.tlb_to_pw().end(); ++pw) EXPECT_EQ(pw.value(), HOV_PULSE_WIDTH_1);
  EXPECT_TRUE(ky.fix_up_registers().empty());
}

TEST_F(TbffTest, OneGroupWithTwoLevelsStops) {
  build({3, 3});
  set_level(m_regs[0], 1);
  set_level(m_regs[1], 2);
  TBFF_OPTIMIZATION_KY ky(m_env);
  EXPECT_EQ(expect_internal_error([&] { ky.find_all_interested_regs(); }).condition,
            "existing_pulse == insert.first.value()");
}

// The group is a PMUX group, which the block loop drops whole anyway. The
// register loop's own drop of the group matters only for a LAB-clock group
// with a modifiable register met before the unmodifiable one, and routed
// designs here never make one: LAB clock inputs are fed only by PMUXes (or
// spine taps), so the walk up from a register's clock always ends at a PMUX.
TEST_F(TbffTest, UnmodifiableRegisterDropsItsWholeGroup) {
  build({3, 3, 3});
  m_regs[1]->set_modifiable(false);
  TBFF_OPTIMIZATION_KY ky(m_env);
  ky.find_all_interested_regs();
  EXPECT_TRUE(ky.pmux_groups().empty());
  EXPECT_TRUE(ky.tlb_to_pw().empty());
}

TEST_F(TbffTest, PartialRecompileSkipsEveryBlock) {
  build({3, 5});
  JOV_ROOT::get()->get_design("")->find_partition_by_name("|")->set_partial_recompile(true);
  TBFF_OPTIMIZATION_KY ky(m_env);
  ky.find_all_interested_regs();
  EXPECT_TRUE(ky.pmux_groups().empty());
  EXPECT_FALSE(ky.tlb_to_pw().empty());
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("TBFF: Skipping all routing top level block because this is a partial recompile design"));
}

TEST_F(TbffTest, GatheredBorrowValuesKeyTheRegisterNodes) {
  build({3, 5});
  TBFF_OPTIMIZATION_KY ky(m_env);
  sta_set_corners_for_analysis(ky.timing_models(), std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>(
                                                       ky.timing_models().size(), STA_LONG_PATH_ANALYSIS));
  sta_compute_optimal_time_borrowing(false);
  ky.gather_optimal_borrow_values();
  EXPECT_EQ(ky.optimal_borrow_values().size(), 2u);
  for (auto it = ky.optimal_borrow_values().begin(); it != ky.optimal_borrow_values().end(); ++it) {
    EXPECT_NE(std::find(m_regs.begin(), m_regs.end(), it.key()->get_atom()), m_regs.end());
    EXPECT_EQ(it.value().size(), 2u);  // slow and fast (the hold-only corner is the fast one)
  }
  // Several entries give the largest rise and the largest fall over all of
  // them; a record without entries says nothing; a value already gathered
  // for a corner stays.
  std::vector<KEM_NODE*> nodes;
  for (auto it = ky.optimal_borrow_values().begin(); it != ky.optimal_borrow_values().end(); ++it) nodes.push_back(it.key());
  KEM_CORNER_MANAGER* cm = KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager();
  KEM_CORNER* slow = cm->get_internal_corner(KEM_TIMING_MODEL(1, 0, 900, 100));
  KEM_CORNER* fast = cm->get_internal_corner(KEM_TIMING_MODEL(1, 1, 900, -40));
  const auto id = [](const KEM_NODE* n) { return static_cast<unsigned>(n->get_id()); };
  cm->get_current_borrow_db(slow)[id(nodes[0])] = {{9, 1, 7, 0}, {1, 2, 3, 4}};
  cm->get_current_borrow_db(fast)[id(nodes[0])] = {};
  cm->get_current_borrow_db(slow)[id(nodes[1])] = {{5, 5, 5, 5}};
  cm->get_current_borrow_db(fast)[id(nodes[1])] = {{6, 6, 6, 6}};
  ky.optimal_borrow_values().clear();
  ky.optimal_borrow_values()[nodes[1]][fast] = {1, 1};
  ky.gather_optimal_borrow_values();
  const auto& first = ky.optimal_borrow_values().find(nodes[0]).value();
  EXPECT_EQ(first.size(), 1u);
  EXPECT_EQ(first.find(slow).value(), (std::array<int, 2>{9, 7}));
  const auto& second = ky.optimal_borrow_values().find(nodes[1]).value();
  EXPECT_EQ(second.find(slow).value(), (std::array<int, 2>{5, 5}));
  EXPECT_EQ(second.find(fast).value(), (std::array<int, 2>{1, 1}));
}

TEST_F(TbffTest, GroupsOfOneBlockMergeIntoTheFirst) {
  // Two clocks take two PMUXes of the same row segment.
  build({3, 5, 7}, {}, {0, 1, 1});
  TBFF_OPTIMIZATION_KY ky(m_env);
  ky.find_all_interested_regs();
  EXPECT_EQ(ky.tlb_to_pw().size(), 2u);
  ASSERT_EQ(ky.pmux_groups().size(), 1u);
  auto it = ky.pmux_groups().begin();
  EXPECT_EQ(it.value().size(), 3u);
  for (const auto& info : it.value()) EXPECT_EQ(info.pmux_id, it.key());
}

TEST_F(TbffTest, UnmodifiableGroupFixesUpItsBlock) {
  build({3, 5, 7}, {}, {0, 1, 1});
  m_regs[0]->set_modifiable(false);
  set_level(m_regs[0], 1);
  set_level(m_regs[1], 2);
  set_level(m_regs[2], 2);
  TBFF_OPTIMIZATION_KY ky(m_env);
  ky.find_all_interested_regs();
  // The block is left out of the optimisation; the modifiable group takes the
  // unmodifiable group's level and its registers go to the fix-up list.
  EXPECT_TRUE(ky.pmux_groups().empty());
  ASSERT_EQ(ky.fix_up_registers().size(), 2u);
  for (const auto& info : ky.fix_up_registers()) {
    EXPECT_NE(info.atom, m_regs[0]);
    const auto level = ky.tlb_to_pw().find(info.pmux_id);
    ASSERT_NE(level, ky.tlb_to_pw().end());
    EXPECT_EQ(level.value(), HOV_PULSE_WIDTH_1);
  }
  // Already at the unmodifiable group's level: nothing to fix up.
  set_level(m_regs[1], 1);
  set_level(m_regs[2], 1);
  TBFF_OPTIMIZATION_KY again(m_env);
  again.find_all_interested_regs();
  EXPECT_TRUE(again.pmux_groups().empty());
  EXPECT_TRUE(again.fix_up_registers().empty());
  // Both groups of the block unmodifiable: at one level the block is
  // skipped; at two levels nothing can satisfy both.
  m_regs[1]->set_modifiable(false);
  m_regs[2]->set_modifiable(false);
  TBFF_OPTIMIZATION_KY both(m_env);
  both.find_all_interested_regs();
  EXPECT_TRUE(both.pmux_groups().empty());
  EXPECT_TRUE(both.fix_up_registers().empty());
  set_level(m_regs[1], 2);
  set_level(m_regs[2], 2);
  TBFF_OPTIMIZATION_KY clash(m_env);
  EXPECT_EQ(expect_internal_error([&] { clash.find_all_interested_regs(); }).condition,
            "unmodifiable_pw == unmodifiable_found.value()");
}

TEST_F(TbffTest, PulseWidthFollowsTheLevelTheCellWasBuiltWith) {
  build({3});
  auto micro = [&](int kind) {
    KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
    const KEM_NODE* pin = kem->get_kem_node_from_iterm(m_regs[0]->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
    KEM_CORNER* slow = kem->get_corner_manager()->get_internal_corner(KEM_TIMING_MODEL(1, 0, 900, 100));
    KEM_CORNER* fast = kem->get_corner_manager()->get_internal_corner(KEM_TIMING_MODEL(1, 1, 900, -40));
    return std::make_pair(pin->get_micro_delay(kind, slow), pin->get_micro_delay(kind, fast));
  };
  EXPECT_EQ(micro(3), std::make_pair(30, 20));  // fast scales by 0.65
  EXPECT_EQ(micro(1), std::make_pair(0, 0));
  const int hold_before = host::sta::node_worst_hold_slack(
      KEM_MANAGER::get()->get_kem_netlist()->get_kem_node_from_iterm(
          m_regs[0]->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))->get_id(), 0);
  set_level(m_regs[0], 2);
  hov_get_atom_netlist_taint_manager()->taint_all();
  host::testing::netlist().timing();
  EXPECT_EQ(micro(4), std::make_pair(120, 78));
  // The wider pulse costs its extra width in hold slack at the data input.
  const int hold_after = host::sta::node_worst_hold_slack(
      KEM_MANAGER::get()->get_kem_netlist()->get_kem_node_from_iterm(
          m_regs[0]->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))->get_id(), 0);
  EXPECT_EQ(hold_before - hold_after, 90);
}

}  // namespace
