#include "testing/partition_builder.h"

#include <algorithm>
#include <vector>

#include "jov/jov_design.h"
#include "kiv/kiv_model.h"
#include "moz/moz_assignment.h"
#include "vok/vok_atom_kiv_model.h"

namespace host::testing {

namespace {
const char* state_name(const JOV_PARTITION* p, const JOV_STATE* s) {
  return p->get_state(JOV_PARTITION::BBIC_DEPOPULATED) == s ? "bbic_depopulated" : "default";
}
}  // namespace

void set_state_netlist(JOV_PARTITION* partition, JOV_STATE* state, VOK_ATOM_NETLIST* netlist, bool owned) {
  // A partition's netlist names its atoms in the partition's name space.
  if (netlist->get_namespace().empty()) netlist->set_namespace(partition->get_name());
  auto* model = new VOK_ATOM_KIV_MODEL(netlist, owned);
  model->set_path(KIV_PATH({"db", partition->get_name(), state_name(partition, state), "netlist"}));
  state->get_kiv_state()->add_model(model);
}

PARTITION_BUILDER& PARTITION_BUILDER::preserved(const std::string& snapshot) {
  JOV_STATE* s = m_partition->get_state(JOV_PARTITION::DEFAULT);
  s->set_snapshot_name(snapshot);
  s->get_atom_netlist()->set_modifiable(false);
  m_partition->set_kind(0);
  return *this;
}

PARTITION_BUILDER& PARTITION_BUILDER::recompiled(const std::string& snapshot) {
  JOV_STATE* s = m_partition->get_state(JOV_PARTITION::DEFAULT);
  s->set_snapshot_name(snapshot);
  s->get_atom_netlist()->set_modifiable(true);
  m_partition->set_kind(1);
  return *this;
}

PARTITION_BUILDER& PARTITION_BUILDER::assignment(int variable, const std::string& value) {
  host::moz::assign(m_partition->get_instance_name()->path(), variable, value);
  return *this;
}

PARTITION_BUILDER& PARTITION_BUILDER::clock_routing(bool on) {
  m_partition->set_clock_routing(on);
  return *this;
}

PARTITION_BUILDER partition(const std::string& name, const BOX_BUILDER& box, JOV_PARTITION* parent) {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  if (design->find_partition_by_name(name) != nullptr)
    throw NETLIST_BUILD_ERROR("partition '" + name + "' exists already");
  VOK_ATOM_BLACKBOX* b = box.box();
  VOK_ATOM_NETLIST* child = b->get_child_netlist();
  if (child == nullptr) throw NETLIST_BUILD_ERROR("partition '" + name + "': the box has no child netlist");
  JOV_PARTITION* p = design->add_partition(name, parent);
  b->set_child_netlist(child, false);
  set_state_netlist(p, p->get_state(JOV_PARTITION::DEFAULT), child, true);
  p->set_box(b);
  return PARTITION_BUILDER(p);
}

PARTITION_BUILDER top_partition() {
  JOV_PARTITION* top = JOV_ROOT::get()->get_design("")->get_top_partition();
  JOV_STATE* s = top->get_state(JOV_PARTITION::DEFAULT);
  bool has_model = false;
  for (const KIV_MODEL* m : s->get_kiv_state()->get_models()) has_model = has_model || m->get_name() == "netlist";
  if (!has_model) set_state_netlist(top, s, host::vok::top_netlist(), false);
  return PARTITION_BUILDER(top);
}

std::vector<std::string> routing_texts(const VOK_RE_ROUTING& r) {
  std::vector<std::string> out;
  for (int root = r.forest().first_root(); root != -1; root = r.forest().next_sibling(root))
    if (!r.is_zota_q_root(root)) out.push_back(routing_text(r, root));
  std::sort(out.begin(), out.end());
  return out;
}

namespace {
// One node of a routing text: the terminal's port and side, or the wire value.
std::string node_text(const VOK_RE_ROUTING& r, int id) {
  std::string self;
  const std::int32_t v = r.get_value(id);
  if (v >= 0) {
    const VOK_RE_TERMINAL& t = r.get_terminal(v);
    self = "t" + std::to_string(t.port.get_atom_id()) + "." + std::to_string(t.port.get_port().index()) + "." +
           std::to_string(t.port.get_index()) + "." + std::to_string(t.name_space);
  } else {
    self = "w" + std::to_string(static_cast<unsigned>(v));
  }
  if (r.is_zota_node(id)) self += "z";
  return self;
}

// routing_text without the branches whose every leaf is a virtual node; ""
// when that is the whole subtree.
std::string connections_below(const VOK_RE_ROUTING& r, int id) {
  const std::vector<int> children = r.get_walk_children(id);
  if (children.empty() && r.get_value(id) == VOK_RE_ROUTING::VIRTUAL_VALUE) return std::string();
  std::vector<std::string> kids;
  for (int c : children)
    if (std::string k = connections_below(r, c); !k.empty()) kids.push_back(std::move(k));
  if (!children.empty() && kids.empty()) return std::string();
  std::sort(kids.begin(), kids.end());
  std::string out = node_text(r, id) + "(";
  for (const auto& k : kids) out += k + ",";
  return out + ")";
}
}  // namespace

std::string routing_text(const VOK_RE_ROUTING& r, int id) {
  std::vector<std::string> kids;
  for (int c : r.get_walk_children(id)) kids.push_back(routing_text(r, c));
  std::sort(kids.begin(), kids.end());
  std::string out = node_text(r, id) + "(";
  for (const auto& k : kids) out += k + ",";
  return out + ")";
}

std::string connections_text(const VOK_RE_ROUTING& r, int root) {
  if (r.get_value(root) == VOK_RE_ROUTING::VIRTUAL_VALUE) return std::string();
  return connections_below(r, root);
}

namespace scenes {

PARTITIONED partitioned() {
  NETLIST_BUILDER n = netlist();
  auto clk = n.io_in("clk");
  auto in = n.io_in("in");
  auto r0 = n.reg("r0").clk(clk).d(in);
  auto box_a = n.blackbox("A", [](NETLIST_BUILDER& c) {
    auto c_clk = c.input("clk");
    auto a1 = c.reg("a1").clk(c_clk).d(c.input("d"));
    auto l = c.lut("la", {a1}, [](const LUT_INPUTS& x) { return !x[0]; });
    auto box_c = c.blackbox("C", [](NETLIST_BUILDER& cc) {
      cc.output("q", cc.reg("c1").clk(cc.input("clk")).d(cc.input("d")));
    });
    box_c.in("clk", c_clk).in("d", l);
    c.output("q", c.reg("a2").clk(c_clk).d(box_c.out("q")));
  });
  box_a.in("clk", clk).in("d", r0);
  auto box_b = n.blackbox("B", [](NETLIST_BUILDER& c) {
    auto b_clk = c.input("clk");
    c.output("q", c.reg("b1").clk(b_clk).d(c.lut("lb", {c.input("d")}, [](const LUT_INPUTS& x) { return x[0]; })));
  });
  box_b.in("clk", clk).in("d", box_a.out("q"));
  n.io_out("out", n.reg("r1").clk(clk).d(box_b.out("q")));

  PARTITIONED s{};
  s.top = top_partition().preserved("final");
  s.a = partition("A", box_a).preserved("final").assignment(1773, "AUTO");
  s.b = partition("B", box_b).recompiled();
  VOK_ATOM_BLACKBOX* box_c = nullptr;
  for (VOK_ATOM_NODE* atom : box_a.child()->get_atom_list())
    if (atom->is_box() && atom->get_string_hpath() == "A|C") box_c = static_cast<VOK_ATOM_BLACKBOX*>(atom);
  if (box_c == nullptr) throw NETLIST_BUILD_ERROR("scene: box C not found");
  s.c = partition("C", BOX_BUILDER(box_c), s.a).preserved("final");
  return s;
}

}  // namespace scenes

}  // namespace host::testing
