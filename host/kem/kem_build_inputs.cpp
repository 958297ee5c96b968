#include "kem/kem_build_inputs.h"

#include <cstring>

#include "common/host_world.h"
#include "kem/kem_manager.h"
#include "kem/kem_netlist.h"
#include "sta/sta_io_constraints.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"
#include "yeb/yeb_timing_model.h"
#include "yos/yos_interface.h"

namespace {

// Two independent 64-bit lanes: a chance collision of both is out of reach.
class DIGEST {
public:
  void add(std::uint64_t v) {
    m_a = mix(m_a ^ (v + 0x9e3779b97f4a7c15ull));
    m_b = mix(m_b + v * 0xc2b2ae3d27d4eb4full + 0x165667b19e3779f9ull);
  }
  void add_ptr(const void* p) { add(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p))); }
  host::kem::BUILD_INPUTS_DIGEST value() const { return {m_a, m_b}; }

private:
  static std::uint64_t mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  std::uint64_t m_a = 0x243f6a8885a308d3ull;
  std::uint64_t m_b = 0x13198a2e03707344ull;
};

// The two digests a build's inputs fold into: of everything, and of all but
// what the routing says (the sink nodes each input has, the forest).
struct BOTH {
  DIGEST all, atoms;
  void add(std::uint64_t v) {
    all.add(v);
    atoms.add(v);
  }
  void add_ptr(const void* p) { add(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p))); }
};

void add_atom(BOTH& d, const VOK_ATOM_NODE* atom, const VOK_RE_ROUTING* routing) {
  d.add_ptr(atom);
  d.add(static_cast<std::uint64_t>(atom->get_id()));
  const VOK_ATOM_NETLIST* parent = atom->get_parent_netlist();
  d.add_ptr(parent);
  d.add_ptr(parent ? parent->get_parent_box() : nullptr);
  d.add(parent && parent->is_modifiable() ? 1 : 0);
  d.add(atom->is_modifiable() ? 1 : 0);
  d.add(static_cast<std::uint64_t>(atom->get_kind()));
  const bool kinds[] = {atom->is_io_pad(), atom->is_port(),       atom->is_pin(),         atom->is_box(),
                        atom->is_ff(),     atom->is_lutram(),     atom->is_ram(),         atom->is_mac(),
                        atom->is_fp_mac(), atom->is_lcell_comb(), atom->is_logic_module(), atom->is_pll()};
  std::uint64_t bits = 0;
  for (bool k : kinds) bits = bits << 1 | (k ? 1 : 0);
  d.add(bits);
  d.add(atom->get_io_roles());
  d.add(atom->get_location_gid());
  d.add(atom->is_placed() ? 1 : 0);
  if (host::kem::is_pulse_latch(atom)) {
    int level = -1;
    const bool has = yos_current_interface()->get_enum_data(atom, static_cast<YOS_ENUM_DATA_ENUM>(YOS_PULSE_WIDTH_LEVEL), &level);
    d.add(has ? 1 : 0);
    d.add(static_cast<std::uint64_t>(level));
  }
  d.add(atom->get_iterm_slot_count());
  for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i) {
    const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i);
    d.add_ptr(t);
    if (!t) continue;
    d.add_ptr(t->get_my_node());
    d.add(static_cast<std::uint64_t>(t->get_port_type()));
    d.add(static_cast<std::uint64_t>(t->get_index()));
    d.add_ptr(t->get_source(VOK_TRAVERSE_HIERARCHICAL));
    const std::vector<int> sinks = routing->get_sink_nodes(t);
    d.all.add(sinks.size());
    for (int s : sinks) d.all.add(static_cast<std::uint64_t>(s));
  }
  d.add(atom->get_oterm_slot_count());
  for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i) {
    const VOK_ATOM_OTERM* t = atom->get_oterm_slot(i);
    d.add_ptr(t);
    if (!t) continue;
    d.add_ptr(t->get_my_node());
    d.add(static_cast<std::uint64_t>(t->get_port_type()));
    d.add(static_cast<std::uint64_t>(t->get_index()));
    // A pin's cell depends on the roles of the atoms its outputs feed.
    if (atom->is_pin())
      for (const VOK_ATOM_ITERM* f = t->get_first_fanout(VOK_TRAVERSE_HIERARCHICAL); f;
           f = f->get_next_fanout(VOK_TRAVERSE_HIERARCHICAL)) {
        d.add_ptr(f);
        d.add(f->get_my_node() ? f->get_my_node()->get_io_roles() : 0);
      }
  }
}

void add_routing(DIGEST& d, const VOK_RE_ROUTING* routing) {
  const auto& forest = routing->forest();
  d.add(static_cast<std::uint64_t>(forest.num_slots()));
  d.add(static_cast<std::uint64_t>(forest.first_root()));
  for (int id = 0; id < forest.num_slots(); ++id) {
    if (!routing->is_live(id)) {
      d.add(0xdeadull);
      continue;
    }
    d.add(static_cast<std::uint64_t>(forest.parent(id)));
    d.add(static_cast<std::uint64_t>(forest.first_child(id)));
    d.add(static_cast<std::uint64_t>(forest.next_sibling(id)));
    const std::int32_t value = routing->get_value(id);
    d.add(static_cast<std::uint64_t>(value));
    d.add(routing->is_zota_node(id) ? 1 : 0);
    if (value >= 0) {
      const VOK_RE_TERMINAL& t = routing->get_node_terminal(id);
      d.add(t.port.get_atom_id());
      d.add(static_cast<std::uint64_t>(vok_port_type_of_symbol(t.port.get_port())));
      d.add(t.port.get_index());
      d.add(static_cast<std::uint64_t>(t.name_space));
    }
  }
}

}  // namespace

namespace host::kem {

namespace {
BUILD_INPUTS_DIGEST routing_digest() {
  DIGEST d;
  const VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  const WUMP_DIE_INFO* die = host::device::die_info();
  d.add_ptr(routing);
  d.add_ptr(die);
  d.add_ptr(die->get_route_info());
  add_routing(d, routing);
  return d.value();
}

// The netlist a whole build made (by the manager's count of netlists set,
// so that another netlist at the same address does not pass) and the
// digest of the routing it read.
struct ROUTING_FOLLOWED {
  const KEM_NETLIST* netlist = nullptr;
  std::uint64_t set = 0;
  BUILD_INPUTS_DIGEST digest;
};
ROUTING_FOLLOWED& followed() { return host_world_slot<ROUTING_FOLLOWED>(); }
}  // namespace

void note_routing_followed() {
  KEM_MANAGER* mgr = KEM_MANAGER::get();
  followed() = ROUTING_FOLLOWED{mgr->get_kem_netlist(), netlists_set(), routing_digest()};
}

bool routing_followed() {
  const ROUTING_FOLLOWED& f = followed();
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  return kem != nullptr && kem == f.netlist && netlists_set() == f.set && routing_digest() == f.digest;
}

BUILD_INPUTS_DIGEST build_inputs_digest(VOK_ATOM_NETLIST* top) {
  BOTH d;
  const VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  const WUMP_DIE_INFO* die = host::device::die_info();
  d.add_ptr(top);
  d.add_ptr(routing);
  d.add_ptr(die);
  d.add_ptr(die->get_route_info());
  d.add(host::timing::older_pin_form() ? 1 : 0);
  for (YEB_CELL_KIND kind : {YEB_CELL_KIND::LUT, YEB_CELL_KIND::ARITH, YEB_CELL_KIND::REGISTER, YEB_CELL_KIND::MEMORY,
                             YEB_CELL_KIND::BUFFER})
    for (float v : host::yeb::cell_delay(kind).values) {
      std::uint32_t bits;
      std::memcpy(&bits, &v, sizeof bits);
      d.add(bits);
    }
  const std::vector<VOK_ATOM_NODE*> atoms = timing_atoms(top);
  d.add(atoms.size());
  for (const VOK_ATOM_NODE* atom : atoms) add_atom(d, atom, routing);
  add_routing(d.all, routing);
  BUILD_INPUTS_DIGEST out = d.all.value();
  const BUILD_INPUTS_DIGEST atoms_only = d.atoms.value();
  out.atoms_a = atoms_only.a;
  out.atoms_b = atoms_only.b;
  return out;
}

}  // namespace host::kem
