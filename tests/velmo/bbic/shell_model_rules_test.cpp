// A shell's netlist copy takes the full netlist's name space and refuses a
// full model without a netlist; the directive filter's local feedback is
// bounded by the location group of six sub-locations and by locations the
// die knows.
#include <memory>
#include <string>
#include <vector>

#include "jov/jov_design.h"
#include "kiv/kiv_database.h"
#include "kiv/kiv_model.h"
#include "r5t/r5t_directives.h"
#include "r5t/r5t_kiv_model.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "velmo_bbic_shell_models.h"
#include "vok/vok_atom_kiv_model.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_logical_port.h"
#include "wump/wump_die_info.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::NETLIST_BUILDER;

namespace {

class ShellNetlistCopyRuleTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    s = host::testing::scenes::partitioned();
    full = s.a->get_state(JOV_PARTITION::DEFAULT)->get_kiv_state();
    shell = s.a->add_state(JOV_PARTITION::BBIC_DEPOPULATED)->get_kiv_state();
    for (KIV_MODEL* m : full->get_models()) shell->add_model(m);
  }
  void TearDown() override {
    host::kiv::set_load_hook(nullptr);
    HostTest::TearDown();
  }
  host::testing::scenes::PARTITIONED s{};
  KIV_STATE* full = nullptr;
  KIV_STATE* shell = nullptr;
};

TEST_F(ShellNetlistCopyRuleTest, ShellTakesTheFullNameSpaceWhateverTheReloadCarries) {
  VOK_ATOM_NETLIST* f = velmo_bbic_get_netlist(*full);
  f->set_namespace("A_space");
  // What storage gives back knows nothing of the name space the full
  // netlist has now.
  host::kiv::set_load_hook([f](const KIV_PATH& path) -> KIV_MODEL* {
    VOK_ATOM_NETLIST* stored = f->deep_copy();
    stored->set_namespace("");
    auto* model = new VOK_ATOM_KIV_MODEL(stored, true);
    model->set_path(path);
    return model;
  });
  velmo_bbic_copy_netlist_model(*shell, *full);
  VOK_ATOM_NETLIST* e = velmo_bbic_get_netlist(*shell);
  ASSERT_NE(e, f);
  EXPECT_EQ(e->get_namespace(), "A_space");
  EXPECT_EQ(f->get_namespace(), "A_space");
  ASSERT_EQ(e->size(), f->size());
  auto fi = f->get_atom_list().begin();
  for (const VOK_ATOM_NODE* a : e->get_atom_list()) EXPECT_EQ(a->get_id(), (*fi++)->get_id());
}

// A reloaded netlist whose atom carries another name than the full
// netlist's atom of that id is an internal error.
TEST_F(ShellNetlistCopyRuleTest, AReloadWithAnotherAtomNameIsRefused) {
  VOK_ATOM_NETLIST* f = velmo_bbic_get_netlist(*full);
  host::kiv::set_load_hook([f](const KIV_PATH& path) -> KIV_MODEL* {
    VOK_ATOM_NETLIST* stored = f->deep_copy();
    stored->get_atom_list().back()->set_name("renamed_in_storage");
    auto* model = new VOK_ATOM_KIV_MODEL(stored, true);
    model->set_path(path);
    return model;
  });
  const auto e = host::testing::expect_internal_error([&] { velmo_bbic_copy_netlist_model(*shell, *full); });
  EXPECT_EQ(e.condition, "find_it->second == node->get_instance_name_id()");
}

TEST_F(ShellNetlistCopyRuleTest, FullModelWithoutANetlistIsRefusedBeforeAnyReload) {
  KIV_STATE bare;
  auto* model = new VOK_ATOM_KIV_MODEL(nullptr, false);
  model->set_path(KIV_PATH({"db", "A", "default", "netlist"}));
  bare.add_model(model);
  int loads = 0;
  host::kiv::set_load_hook([&loads](const KIV_PATH&) -> KIV_MODEL* {
    ++loads;
    return nullptr;
  });
  const auto e = host::testing::expect_internal_error([&] { velmo_bbic_copy_netlist_model(*shell, bare); });
  EXPECT_EQ(e.condition, "full_netlist");
  EXPECT_EQ(e.tag, "VELMO");
  EXPECT_EQ(e.file, "velmo_bbic");
  EXPECT_EQ(loads, 0);
}

// One kept driver and one kept register it feeds, the register's input
// mapped to the feedback cell port: the driver's own mapping goes exactly
// when the two sit in one location group.
class FeedbackGroupTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    place = host::device::die_info()->get_place_info();
  }
  unsigned site(int x, int y, int sub) const {
    const unsigned gid = place->get_global_id(0, x, y, sub);
    EXPECT_NE(gid, 0xFFFFFFFFu) << x << "," << y << "," << sub;
    return gid;
  }
  // Whether the driver keeps its output mapping after the filter, with the
  // driver placed at driver_gid and its register at sink_gid (0xFFFFFFFF:
  // unplaced).
  bool driver_keeps_mapping(unsigned driver_gid, unsigned sink_gid, bool pipeline_sink = false) {
    NETLIST_BUILDER n = host::testing::netlist();
    const std::string k = std::to_string(++pairs);
    auto d = n.lut("d" + k, {n.io_in("i" + k)}, [](const host::testing::LUT_INPUTS& x) { return x[0]; }).placed(driver_gid, 643);
    auto r = pipeline_sink ? n.zota_reg("r" + k).d(d) : n.reg("r" + k).d(d);
    if (sink_gid != 0xFFFFFFFFu) r.placed(sink_gid, 643);
    VELMO_BBIC_KEEP_SET keep;
    keep.insert(d);
    keep.insert(r);
    auto dirs = std::make_unique<R5T_DIRECTIVES>();
    VOK_ATOM_OTERM* out = host::testing::SIG(d).oterm;
    dirs->add_atom_mapping(vok_get_logical_port(out), PELK::intern(1, "C"));
    dirs->add_atom_mapping(vok_get_logical_port(r.iterm(DB_INPUT_PORT_DATA_IN)), PELK::intern(1, "QFB"));
    KIV_STATE state;
    auto* model = new R5T_KIV_MODEL(dirs.release());
    model->set_path(KIV_PATH({"db", "A", "r5t"}));
    state.add_model(model);
    const VELMO_BBIC_ITERM_SET boundary;
    velmo_bbic_filter_directives(state, *host::vok::top_netlist(), keep, boundary);
    const R5T_DIRECTIVES* now = velmo_bbic_get_model<R5T_KIV_MODEL>(state, "r5t")->get_r5t();
    const auto* m = now->get_atom_mapping(vok_get_logical_port(out));
    return m != nullptr && !m->empty();
  }
  const WUMP_PLACE_INFO* place = nullptr;
  int pairs = 0;
};

TEST_F(FeedbackGroupTest, OnlyTheSameGroupOfSixSubLocationsIsLocal) {
  struct CASE {
    int driver_sub, sink_sub;
    bool local;
  };
  // Groups are sub-locations 0-5, 6-11, 12-17: membership is decided for
  // both atoms alike, at each edge of a group.
  const std::vector<CASE> cases{{0, 5, true},  {0, 6, false}, {5, 6, false},  {6, 11, true},
                                {11, 6, true}, {6, 5, false}, {14, 12, true}, {12, 11, false}};
  for (const CASE& c : cases) {
    SCOPED_TRACE(std::to_string(c.driver_sub) + " -> " + std::to_string(c.sink_sub));
    EXPECT_EQ(driver_keeps_mapping(site(3, 3, c.driver_sub), site(3, 3, c.sink_sub)), !c.local);
  }
  // Another column or row is never local, whatever the sub-location.
  EXPECT_TRUE(driver_keeps_mapping(site(3, 3, 1), site(5, 3, 1)));
  EXPECT_TRUE(driver_keeps_mapping(site(3, 3, 1), site(3, 5, 1)));
}

TEST_F(FeedbackGroupTest, AnAtomWithoutAKnownLocationIsNeverLocal) {
  // Unplaced, and placed at an id the die has no location for.
  EXPECT_TRUE(driver_keeps_mapping(site(3, 3, 0), 0xFFFFFFFFu));
  const unsigned beyond = static_cast<unsigned>(place->get_location_table().size()) + 3;
  EXPECT_TRUE(driver_keeps_mapping(site(3, 3, 0), beyond));
  EXPECT_TRUE(driver_keeps_mapping(beyond, site(3, 3, 0)));
  // The same pair at known locations of one group is local.
  EXPECT_FALSE(driver_keeps_mapping(site(3, 3, 0), site(3, 3, 1)));
}

// A pipeline register fed in the same group is no local feedback: the
// driver keeps its mapping.
TEST_F(FeedbackGroupTest, APipelineRegisterSinkIsNeverLocal) {
  EXPECT_TRUE(driver_keeps_mapping(site(3, 3, 0), site(3, 3, 1), true));
  EXPECT_FALSE(driver_keeps_mapping(site(3, 3, 0), site(3, 3, 1), false));
}

}  // namespace
