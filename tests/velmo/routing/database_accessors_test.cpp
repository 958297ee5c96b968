// Terminal lookups of the routing, the routing model, the directive store,
// the compile database and the remaining one-line accessors.
#include <malloc.h>

#include <string>
#include <vector>

#include "jov/jov_design.h"
#include "jov/jov_enum.h"
#include "kiv/kiv_model.h"
#include "omz/omz_ip_basic_info.h"
#include "r5t/r5t_directives.h"
#include "routing_zoo.h"
#include "testing/design_builder.h"
#include "testing/routing_builder.h"
#include "vok/vok_routing_model.h"
#include "wexan/wexan_utilities.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "wump/wump_route_objects.h"
#include "yeb/yeb_timing_model.h"
#include "zel/zel_zota_util.h"

using host::testing::expect_internal_error;
using routing_zoo::RoutingFixture;
using routing_zoo::ZOTA_FORM;

namespace {

const VOK_RE_ROUTING_ZOTA_SKIP SKIP;

class TerminalLookupTest : public RoutingFixture {};

TEST_F(TerminalLookupTest, SinksAndSourcesAreFoundOnlyForTheirOwnPort) {
  VOK_RE_ROUTING r;
  build_split_net(r, ZOTA_FORM::SHORT);
  const VOK_ATOM_LOGICAL_PORT p0 = vok_get_logical_port(sinks[0]);
  const VOK_ATOM_OTERM* out = src->get_oterm_slot(0);
  auto e = expect_internal_error([&] { r.get_iterm_mappings(sinks[0], p0, SKIP); });
  EXPECT_EQ(e.condition, "m_atom_netlist");
  expect_internal_error([&] { r.get_oterm_mapping(out, vok_get_logical_port(out), SKIP); });

  host::testing::routing(&r).attach();
  const ZMP_TINY_VECTOR<int> found = r.get_iterm_mappings(sinks[0], p0, SKIP);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], S0);
  EXPECT_EQ(r.get_oterm_mapping(out, vok_get_logical_port(out), SKIP), SRC);
  // Another port's record, an unrouted term.
  EXPECT_TRUE(r.get_iterm_mappings(sinks[0], vok_get_logical_port(sinks[1]), SKIP).empty());
  EXPECT_TRUE(r.get_iterm_mappings(sinks[4], vok_get_logical_port(sinks[4]), SKIP).empty());
  EXPECT_EQ(r.get_oterm_mapping(other->get_oterm_slot(0), vok_get_logical_port(other->get_oterm_slot(0)), SKIP), -1);

  // A sink whose first node is a pipeline-register node is not reported.
  VOK_RE_ROUTING z;
  const int root = z.new_source(out);
  const int sink = z.append_sink(root, sinks[5]);
  const int q = z.new_root(static_cast<int>(0x80000020u));
  z.set_zota_pair(sink, q);
  host::testing::routing(&z).attach();
  EXPECT_EQ(z.get_sink_nodes(sinks[5]), std::vector<int>{sink});
  EXPECT_TRUE(z.get_iterm_mappings(sinks[5], vok_get_logical_port(sinks[5]), SKIP).empty());
}

class DatabaseAccessorTest : public host::testing::HostTest {};

// A routing element of the device's graph answers its own column and row.
TEST_F(DatabaseAccessorTest, RouteElementsAnswerTheirColumnAndRow) {
  host::testing::device(host::testing::Family::KY).build();
  const WUMP_ROUTE_INFO* ri = host::device::die_info()->get_route_info();
  for (const auto& [x, y] : {std::pair<int, int>{2, 5}, {6, 3}}) {
    const WUMP_ROUTE_ELEMENT* e = ri->get_element_by_gid(host::testing::gid_of(host::testing::h(x, y)) | 0x80000000u);
    ASSERT_NE(e, nullptr) << x << "," << y;
    const WUMP_ROUTE_NODE n = e->get_route_node();
    EXPECT_EQ(n.x, x);
    EXPECT_EQ(n.y, y);
  }
}

TEST_F(DatabaseAccessorTest, ARoutingModelTakesExactlyThreeNetworks) {
  for (std::size_t n : {2u, 4u}) {
    auto e = expect_internal_error([&] { VOK_ROUTING_MODEL model(std::vector<JUK::FOREST<int, int>*>(n, nullptr)); });
    EXPECT_EQ(e.condition, "m_networks.size() == NUM_NETWORK_TYPES");
    EXPECT_EQ(e.file, "vok_re_network_sys");
    EXPECT_EQ(e.line, 314);
  }
  EXPECT_EQ(host::kiv::live_models(), 0);
  // The refused model frees the networks it was given.
  auto in_use = [] {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;  // small blocks and mapped large ones
  };
  const std::size_t before = in_use();
  expect_internal_error([] {
    std::vector<JUK::FOREST<int, int>*> two;
    for (int f = 0; f < 2; ++f) {
      two.push_back(new JUK::FOREST<int, int>());
      for (int i = 0; i < 50000; ++i) two.back()->append_root(two.back()->create_node(i));
    }
    VOK_ROUTING_MODEL model(two);
  });
  EXPECT_LT(in_use(), before + 100000) << "the forests of a refused model leak";
  auto* blc = new JUK::FOREST<int, int>();
  blc->append_root(blc->create_node(7));
  VOK_ROUTING_MODEL model({blc, nullptr, new JUK::FOREST<int, int>()});
  EXPECT_EQ(model.get_type(), VOK_ROUTING_MODEL::s_model_type_string);
  EXPECT_EQ(model.get_network(0), blc);
  EXPECT_EQ(model.get_network(1), nullptr);
  EXPECT_EQ(model.get_routing(), nullptr);
  model.set_path(KIV_PATH({"design", "final", "routing"}));
  EXPECT_EQ(model.get_name(), "routing");
  EXPECT_EQ(model.get_path().get_trie().as_string(), "design/final/routing");
}

TEST_F(DatabaseAccessorTest, PathsStatesAndTheirVirtualBase) {
  EXPECT_EQ(KIV_PATH({"only"}).get_trie().as_string(), "only");
  EXPECT_EQ(KIV_PATH().get_trie().as_string(), "");
  EXPECT_EQ(KIV_PATH::from_string("/a//b/").get_trie().as_string(), "a/b");

  KIV_STATE a, b;
  KIV_BASIC_STATE& base_a = a;  // reached through the virtual base
  auto* shared = new KIV_MODEL();
  shared->set_path(KIV_PATH({"x"}));
  auto* own = new KIV_MODEL();
  a.add_model(shared);
  a.add_model(own);
  b.add_model(shared);
  EXPECT_EQ(base_a.get_models().size(), 2u);
  EXPECT_EQ(*base_a.begin_model(), shared);
  EXPECT_EQ(std::next(base_a.begin_model(), 2), base_a.end_model());
  EXPECT_EQ(a.find_model(KIV_PATH({"x"})), shared);

  base_a.dont_delete_models_when_cleared();
  EXPECT_FALSE(a.deletes_models_when_cleared());
  base_a.delete_models_when_cleared();
  EXPECT_TRUE(a.deletes_models_when_cleared());
  EXPECT_EQ(host::kiv::live_models(), 2);
  a.clear();  // the shared model stays with b
  EXPECT_EQ(host::kiv::live_models(), 1);
  b.clear();
  EXPECT_EQ(host::kiv::live_models(), 0);

  // The last holder deletes a model whatever its flag.
  KIV_STATE keeper;
  keeper.dont_delete_models_when_cleared();
  keeper.add_model(new KIV_MODEL());
  EXPECT_EQ(host::kiv::live_models(), 1);
  keeper.clear();
  EXPECT_EQ(host::kiv::live_models(), 0);
}

TEST_F(DatabaseAccessorTest, DeletingAnAtomMappingEmptiesTheListAndLowersTheCount) {
  R5T_DIRECTIVES d;
  EXPECT_EQ(d.get_flag(), 1);
  EXPECT_EQ(d.get_mappings().bucket_count(), zmp_hash_lite_get_next_prime(60));
  const VOK_ATOM_LOGICAL_PORT a(17, vok_input_port_symbol(DB_INPUT_PORT_DATA_IN), 0);
  const VOK_ATOM_LOGICAL_PORT b(17, vok_input_port_symbol(DB_INPUT_PORT_CLK), 0);
  const VOK_ATOM_LOGICAL_PORT none(18, vok_input_port_symbol(DB_INPUT_PORT_CLK), 0);
  d.add_atom_mapping(a, PELK::intern(4, "LAB_DATA_IN"));
  d.add_atom_mapping(a, PELK::intern(4, "LAB_DATA_IN2"));
  d.add_atom_mapping(b, PELK::intern(4, "LAB_CLK"));
  EXPECT_EQ(d.get_reference_count(17), 2u);

  // No directives: false, no count changed, an empty entry left behind.
  EXPECT_FALSE(d.delete_atom_mapping(none));
  ASSERT_NE(d.get_atom_mapping(none), nullptr);
  EXPECT_TRUE(d.get_atom_mapping(none)->empty());
  EXPECT_FALSE(d.has_reference_count_entry(18));

  EXPECT_TRUE(d.delete_atom_mapping(a));
  EXPECT_TRUE(d.get_atom_mapping(a)->empty());
  EXPECT_TRUE(d.get_atom_mapping(a)->is_inline());
  EXPECT_EQ(d.get_reference_count(17), 1u);
  EXPECT_FALSE(d.delete_atom_mapping(a));
  EXPECT_EQ(d.get_reference_count(17), 1u);
  EXPECT_TRUE(d.delete_atom_mapping(b));
  EXPECT_EQ(d.get_reference_count(17), 0u);

  // A read-only netlist refuses the change.
  VOK_ATOM_NETLIST ro;
  ro.set_modifiable(false);
  d.set_atom_netlist(&ro);
  d.add_atom_mapping(b, PELK::intern(4, "LAB_CLK"));
  expect_internal_error([&] { d.delete_atom_mapping(b); });
  EXPECT_EQ(d.get_atom_mapping(b)->size(), 1u);
}

TEST_F(DatabaseAccessorTest, SnapshotNamesParseToTheirPosition) {
  int n = 0;
  const char* const* names = JOV_SNAPSHOT_BASE::get_strings_and_size(&n);
  ASSERT_EQ(n, 17);
  for (int i = 0; i < n; ++i) {
    JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> e;
    EXPECT_TRUE(e.set_from_str(names[i], true));
    EXPECT_EQ(static_cast<int>(e.get_value()), i);
  }
  JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> e;
  auto empty = expect_internal_error([&] { e.set_from_str("", true); });
  EXPECT_EQ(empty.condition, "!str.empty()");
  EXPECT_EQ(empty.line, 207);
  auto bad = expect_internal_error([&] { e.set_from_str("Routed", true); });
  EXPECT_EQ(bad.condition, "Parse error: invalid enum string 'Routed'.");
  EXPECT_EQ(bad.line, 227);
  auto longer = expect_internal_error([&] { e.set_from_str(std::string(5000, 'q'), true); });
  EXPECT_EQ(longer.condition.size(), 4095u);
}

TEST_F(DatabaseAccessorTest, OneLinersOfTheDesignTimingModelAndUtilities) {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  ASSERT_NE(design, nullptr);
  JOV_PARTITION* sub = design->add_partition("u_sub");
  EXPECT_EQ(design->get_top_partition(), design->get_partitions().front().get());
  EXPECT_EQ(design->get_top_partition()->get_name(), "|");
  EXPECT_EQ(sub->get_parent(), design->get_top_partition());

  YEB_TIMING_MODEL model;
  std::vector<YEB_DELAY> delays{YEB_DELAY{{1, 2, 0, 0}}, YEB_DELAY{{3, 4, 0, 0}}};
  model.get_switch_delays(5, delays);
  ASSERT_EQ(delays.size(), 2u);
  EXPECT_EQ(delays[1].values[1], 4);

  WEXAN_PDC_UTILITY pdc;
  EXPECT_FALSE(pdc.extra_effort_pdc_is_on());
  pdc.set_pdc_mode(2);
  EXPECT_TRUE(pdc.extra_effort_pdc_is_on());
  pdc.set_pdc_mode(3);
  EXPECT_FALSE(pdc.extra_effort_pdc_is_on());
}

// The records keep their parameters and pipeline-register indexes in the
// component's hash tables: every entry a table holds is destroyed once, when
// it is erased, cleared or when the table goes, and a copy destroys its own.
struct LIVE_VALUE {
  static int live;
  std::string text;
  LIVE_VALUE() { ++live; }
  LIVE_VALUE(const LIVE_VALUE& o) : text(o.text) { ++live; }
  LIVE_VALUE& operator=(const LIVE_VALUE&) = default;
  ~LIVE_VALUE() { --live; }
};
int LIVE_VALUE::live = 0;

TEST_F(DatabaseAccessorTest, RecordsReleaseTheirTablesAndStrings) {
  LIVE_VALUE::live = 0;
  {
    ZMP_HASH_LITE<int, LIVE_VALUE> table;
    for (int i = 0; i < 200; ++i) table[i].text = std::string(40, 'v');
    EXPECT_EQ(LIVE_VALUE::live, 200);
    for (int i = 0; i < 50; ++i) table.erase(i);
    EXPECT_EQ(LIVE_VALUE::live, 150);
    {
      ZMP_HASH_LITE<int, LIVE_VALUE> copy(table);
      EXPECT_EQ(LIVE_VALUE::live, 300);
    }
    EXPECT_EQ(LIVE_VALUE::live, 150);
    ZMP_HASH_LITE<int, LIVE_VALUE> cleared(table);
    cleared.clear(true, true);
    EXPECT_EQ(LIVE_VALUE::live, 150);
    for (int i = 0; i < 10; ++i) cleared[i];  // reuses the kept nodes
    EXPECT_EQ(LIVE_VALUE::live, 160);
  }
  EXPECT_EQ(LIVE_VALUE::live, 0);
  // The records themselves (a sanitizer build also sees a record that keeps
  // memory).
  auto* ip = new OMZ_IP_BASIC_INFO();
  ip->name = std::string(100, 'n');
  ip->files.assign(3, std::string(64, 'f'));
  for (int i = 0; i < 200; ++i) ip->parameters[std::to_string(i)] = std::string(40, 'v');
  EXPECT_EQ(ip->parameters.size(), 200u);
  delete ip;
  auto* util = new ZOTA::UTIL();
  for (int i = 0; i < 500; ++i) util->zota_z_by_atom[i] = i;
  util->groups.push_back({std::string(80, 'g'), {1, 2, 3}});
  EXPECT_EQ(util->zota_z_by_atom.size(), 500u);
  delete util;
}

}  // namespace
