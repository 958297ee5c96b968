// A shell's own models: the netlist loaded again under the full ids, the
// routing model copied, and the directives filtered to the kept atoms.
#include <memory>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "jov/jov_design.h"
#include "kiv/kiv_database.h"
#include "kiv/kiv_model.h"
#include "msg/msg_base.h"
#include "r5t/r5t_directives.h"
#include "r5t/r5t_kiv_model.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "velmo_bbic_shell_models.h"
#include "vok/vok_atom_kiv_model.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_routing_model.h"
#include "wump/wump_die_info.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::NETLIST_BUILDER;
namespace scenes = host::testing::scenes;

namespace {

int count_lines(const std::string& text) {
  int n = 0;
  for (const auto& l : host::debug::texts()) n += l == text;
  return n;
}

class ShellCopyTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    s = scenes::partitioned();
    full = s.a->get_state(JOV_PARTITION::DEFAULT)->get_kiv_state();
    shell = s.a->add_state(JOV_PARTITION::BBIC_DEPOPULATED)->get_kiv_state();
    // The shell starts out sharing the full state's models.
    for (KIV_MODEL* m : full->get_models()) shell->add_model(m);
  }
  void TearDown() override {
    host::kiv::set_load_hook(nullptr);
    HostTest::TearDown();
  }
  scenes::PARTITIONED s{};
  KIV_STATE* full = nullptr;
  KIV_STATE* shell = nullptr;
};

TEST_F(ShellCopyTest, NetlistCopyCarriesTheFullIdsWithTheNextIdAndBanAsBefore) {
  for (bool ban : {false, true}) {
    if (ban) {
      cfg_set_on("forbid_atom_id_manipulation");
      VOK_ATOM_NODE::forbid_id_manipulation();
    }
    const int next = VOK_ATOM_NODE::s_next_id;
    const int models = host::kiv::live_models();
    VOK_ATOM_NETLIST* f = velmo_bbic_get_netlist(*full);
    velmo_bbic_copy_netlist_model(*shell, *full);
    VOK_ATOM_NETLIST* e = velmo_bbic_get_netlist(*shell);
    ASSERT_NE(e, f);
    EXPECT_EQ(VOK_ATOM_NODE::s_next_id, next) << ban;
    EXPECT_EQ(VOK_ATOM_NODE::is_id_manipulation_forbidden(), ban);
    // One more model: the shared one stays with the full state.
    EXPECT_EQ(host::kiv::live_models(), models + (ban ? 0 : 1));
    EXPECT_EQ(velmo_bbic_get_netlist(*full), f);
    EXPECT_EQ(e->get_namespace(), f->get_namespace());
    ASSERT_EQ(e->size(), f->size());
    auto fi = f->get_atom_list().begin();
    for (const VOK_ATOM_NODE* a : e->get_atom_list()) {
      const VOK_ATOM_NODE* b = *fi++;
      EXPECT_EQ(a->get_id(), b->get_id());
      EXPECT_EQ(a->get_instance_name_id(), b->get_instance_name_id());
      EXPECT_EQ(e->get_atom_by_id(a->get_id()), a);
      // Connections follow the copy.
      for (const VOK_ATOM_ITERM* t : a->citerms()) {
        const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
        const VOK_ATOM_OTERM* orig = b->get_input_term_by_type(t->get_port_type(), t->get_index())->get_source(VOK_TRAVERSE_AS_STORED);
        ASSERT_EQ(src == nullptr, orig == nullptr);
        if (src != nullptr && src->get_my_node() != nullptr) {
          EXPECT_EQ(src->get_my_node()->get_parent_netlist(), e);
          EXPECT_EQ(src->get_my_node()->get_id(), orig->get_my_node()->get_id());
        }
      }
    }
    EXPECT_EQ(count_lines("Reloading netlist from path: db/A/default/netlist"), ban ? 2 : 1);
  }
  // Each reload asks for the stored model with both flags clear.
  std::vector<std::string> loads;
  for (const auto& l : host::call_lines())
    if (l.rfind("KIV_DATABASE::load_model(", 0) == 0) loads.push_back(l);
  EXPECT_THAT(loads, ::testing::ElementsAre("KIV_DATABASE::load_model(\"db/A/default/netlist\", 0, 0)",
                                            "KIV_DATABASE::load_model(\"db/A/default/netlist\", 0, 0)"));
}

TEST_F(ShellCopyTest, ReloadFailuresAreInternalErrors) {
  KIV_MODEL* full_model = velmo_bbic_get_model<VOK_ATOM_KIV_MODEL>(*full, "netlist");
  auto failure = [&](std::function<KIV_MODEL*(const KIV_PATH&)> hook) {
    host::kiv::set_load_hook(std::move(hook));
    return host::testing::expect_internal_error([&] { velmo_bbic_copy_netlist_model(*shell, *full); }).condition;
  };
  EXPECT_EQ(failure([](const KIV_PATH&) { return nullptr; }), "empty_netlist_model");
  EXPECT_EQ(failure([&](const KIV_PATH&) { return full_model; }), "empty_netlist_model != full_kiv_netlist_model");
  std::unique_ptr<KIV_MODEL> routing(
      new VOK_ROUTING_MODEL({new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>()}));
  EXPECT_EQ(failure([&](const KIV_PATH&) { return routing.get(); }), "empty_netlist_model");
  EXPECT_EQ(failure([](const KIV_PATH&) { return new VOK_ATOM_KIV_MODEL(new VOK_ATOM_NETLIST(), true); }),
            "empty_netlist->size( VOK_TRAVERSE::LOCAL ) == full_netlist->size( VOK_TRAVERSE::LOCAL )");
  EXPECT_EQ(failure([](const KIV_PATH&) { return new VOK_ATOM_KIV_MODEL(nullptr, true); }), "empty_netlist");
  VOK_ATOM_NETLIST* full_netlist = velmo_bbic_get_netlist(*full);
  EXPECT_EQ(failure([&](const KIV_PATH&) { return new VOK_ATOM_KIV_MODEL(full_netlist, false); }),
            "empty_netlist != full_netlist");
  host::kiv::set_load_hook(nullptr);
  velmo_bbic_get_netlist(*full)->set_namespace("");
  EXPECT_EQ(host::testing::expect_internal_error([&] { velmo_bbic_copy_netlist_model(*shell, *full); }).condition,
            "m_namespace != nullptr");
  KIV_STATE bare;
  EXPECT_EQ(host::testing::expect_internal_error([&] { velmo_bbic_copy_netlist_model(*shell, bare); }).condition,
            "full_kiv_netlist_model");
}

TEST_F(ShellCopyTest, RoutingCopyIsIndependentOfTheFullModel) {
  auto* forest = new JUK::FOREST<int, int>();
  forest->append_root(forest->create_node(7));
  auto* model = new VOK_ROUTING_MODEL({forest, nullptr, new JUK::FOREST<int, int>()});
  model->set_path(KIV_PATH({"db", "A", "default", "routing"}));
  auto r = std::make_unique<VOK_RE_ROUTING>();
  r->new_root(static_cast<std::int32_t>(0x80000005u));
  r->attach_atom_netlist(velmo_bbic_get_netlist(*full), 0);
  model->set_routing(std::move(r));
  model->set_value_list(std::make_unique<std::vector<std::uint32_t>>(std::vector<std::uint32_t>{1, 2}));
  model->levels() = {{{1, 2}, {3}}};
  full->add_model(model);
  shell->add_model(model);
  KIV_STATE bare;
  EXPECT_EQ(host::testing::expect_internal_error([&] { velmo_bbic_copy_routing_model(bare, *full); }).condition, "nm");
  velmo_bbic_copy_netlist_model(*shell, *full);
  const int models = host::kiv::live_models();
  velmo_bbic_copy_routing_model(*shell, *full);
  EXPECT_EQ(host::kiv::live_models(), models + 1);
  VOK_ROUTING_MODEL* copy = velmo_bbic_get_model<VOK_ROUTING_MODEL>(*shell, "routing");
  ASSERT_NE(copy, model);
  EXPECT_EQ(velmo_bbic_get_model<VOK_ROUTING_MODEL>(*full, "routing"), model);
  EXPECT_EQ(copy->get_path(), model->get_path());
  EXPECT_EQ(copy->get_atom_netlist(), velmo_bbic_get_netlist(*shell));
  EXPECT_EQ(copy->get_network(1), nullptr);
  ASSERT_NE(copy->get_network(0), forest);
  EXPECT_EQ(copy->get_network(0)->payload(0), 7);
  ASSERT_NE(copy->get_routing(), model->get_routing());
  EXPECT_EQ(copy->get_routing()->get_atom_netlist(), nullptr);
  EXPECT_EQ(copy->get_routing()->get_live_node_count(), 1);
  EXPECT_EQ(*copy->get_value_list(), (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(copy->get_bit_set(), nullptr);
  EXPECT_EQ(copy->levels(), model->levels());
  // Edits of the full model do not reach the copy.
  model->get_routing()->new_root(static_cast<std::int32_t>(0x80000006u));
  forest->append_root(forest->create_node(8));
  model->get_value_list()->push_back(3);
  EXPECT_EQ(copy->get_routing()->get_live_node_count(), 1);
  EXPECT_EQ(copy->get_network(0)->num_slots(), 1);
  EXPECT_EQ(copy->get_value_list()->size(), 2u);
}

// ---- directive filter ----------------------------------------------------

class DirectiveFilterTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    place = host::device::die_info()->get_place_info();
  }
  host::testing::ATOM_HANDLE lut(NETLIST_BUILDER& n, const std::string& name, int x, int y, int sub) {
    return n.lut(name, {n.io_in(name + "_i")}, [](const host::testing::LUT_INPUTS& i) { return i[0]; })
        .placed(place->get_global_id(0, x, y, sub), 643);
  }
  VOK_ATOM_ITERM* reg(NETLIST_BUILDER& n, const std::string& name, host::testing::SIG d, int x, int y, int sub) {
    auto r = n.reg(name).d(d).placed(place->get_global_id(0, x, y, sub), 643);
    keep.insert(r);
    return r.iterm(DB_INPUT_PORT_DATA_IN);
  }
  const WUMP_PLACE_INFO* place = nullptr;
  VELMO_BBIC_KEEP_SET keep;
};

TEST_F(DirectiveFilterTest, LocalFeedbackMappingsAndGroundedBoundaryInputsGo) {
  NETLIST_BUILDER n = host::testing::netlist();
  auto dirs = std::make_unique<R5T_DIRECTIVES>();
  const PELK qfb = PELK::intern(1, "QFB");
  const PELK other = PELK::intern(1, "X");
  auto map = [&](auto* term, PELK cell) { dirs->add_atom_mapping(vok_get_logical_port(term), cell); };
  std::vector<VOK_ATOM_OTERM*> drivers;
  auto driver = [&](const char* name, int x, int y) {
    auto d = lut(n, name, x, y, 0);
    keep.insert(d);
    VOK_ATOM_OTERM* o = host::testing::SIG(d).oterm;
    map(o, PELK::intern(1, "C"));
    drivers.push_back(o);
    return d;
  };
  // 0: every fanout a QFB feedback in the group.
  auto d0 = driver("d0", 3, 3);
  map(reg(n, "f0a", d0, 3, 3, 1), qfb);
  map(reg(n, "f0b", d0, 3, 3, 2), qfb);
  // 1: one fanout in the next group of six.
  auto d1 = driver("d1", 3, 5);
  map(reg(n, "f1a", d1, 3, 5, 1), qfb);
  map(reg(n, "f1b", d1, 3, 5, 7), qfb);
  // 2: mapped to something other than QFB.
  auto d2 = driver("d2", 3, 7);
  map(reg(n, "f2", d2, 3, 7, 1), other);
  // 3: unmapped and not routed; 4: unmapped but routed.
  auto d3 = driver("d3", 5, 3);
  reg(n, "f3", d3, 5, 3, 1);
  auto d4 = driver("d4", 5, 5);
  VOK_ATOM_ITERM* f4 = reg(n, "f4", d4, 5, 5, 1);
  // 5: its only fanout is a boundary term (usage 18: mapping kept);
  // another boundary term (no port-side usage) loses its mapping.
  auto d5 = driver("d5", 5, 7);
  VOK_ATOM_ITERM* b18 = reg(n, "b18", d5, 9, 9, 1);
  b18->set_usage(18);
  map(b18, other);
  VOK_ATOM_ITERM* b0 = reg(n, "b0", n.io_in("b0_i"), 9, 9, 2);
  map(b0, other);
  VELMO_BBIC_ITERM_SET boundary;
  boundary.insert(b18);
  boundary.insert(b0);

  VOK_ATOM_NETLIST* netlist = host::vok::top_netlist();
  KIV_STATE state;
  auto* old_model = new R5T_KIV_MODEL(dirs.release());
  old_model->set_path(KIV_PATH({"db", "A", "r5t"}));
  state.add_model(old_model);
  auto* routing_model =
      new VOK_ROUTING_MODEL({new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>()});
  routing_model->set_path(KIV_PATH({"db", "A", "routing"}));
  auto r = std::make_unique<VOK_RE_ROUTING>();
  r->append_sink(r->new_source(drivers[4]), f4);
  routing_model->set_routing(std::move(r));
  state.add_model(routing_model);

  velmo_bbic_filter_directives(state, *netlist, keep, boundary);
  R5T_KIV_MODEL* now = velmo_bbic_get_model<R5T_KIV_MODEL>(state, "r5t");
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(now->get_path(), KIV_PATH({"db", "A", "r5t"}));
  EXPECT_EQ(now->get_atom_netlist(), netlist);
  const R5T_DIRECTIVES* d = now->get_r5t();
  auto mapped = [&](auto* term) {
    const auto* m = d->get_atom_mapping(vok_get_logical_port(term));
    return m != nullptr && !m->empty();
  };
  const std::vector<bool> kept{false, true, true, false, true, false};
  for (std::size_t i = 0; i < drivers.size(); ++i) EXPECT_EQ(mapped(drivers[i]), kept[i]) << i;
  EXPECT_TRUE(mapped(b18));
  EXPECT_FALSE(mapped(b0));
  EXPECT_EQ(velmo_bbic_get_disconnect_state_for_iterm(b18), VOK_NET_ITERM::OPEN);
  EXPECT_EQ(velmo_bbic_get_disconnect_state_for_iterm(b0), VOK_NET_ITERM::GROUND);
  EXPECT_EQ(count_lines("Removed iterm mapping for 1 of 2 disconnected iterms and 3 oterms"), 1);
}

TEST_F(DirectiveFilterTest, ShellWithoutDirectivesIsLeftAlone) {
  KIV_STATE state;
  auto* model = new R5T_KIV_MODEL(static_cast<R5T_DIRECTIVES*>(nullptr));
  model->set_path(KIV_PATH({"db", "A", "r5t"}));
  state.add_model(model);
  VELMO_BBIC_ITERM_SET boundary;
  velmo_bbic_filter_directives(state, *host::vok::top_netlist(), keep, boundary);
  EXPECT_EQ(velmo_bbic_get_model<R5T_KIV_MODEL>(state, "r5t"), model);
  KIV_STATE none;
  velmo_bbic_filter_directives(none, *host::vok::top_netlist(), keep, boundary);
  EXPECT_TRUE(none.get_models().empty());
}

}  // namespace
