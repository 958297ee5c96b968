// The retiming engine's pipeline-register (ZOTA) work: depopulated registers
// stay in the netlist ZOTA-marked and unplaced (the placer puts them into free
// pipeline slots and the router routes through them); repopulation re-creates
// each one as a placed register at its slot, under the same name.
#include "zarn_yun_zota.h"

#include <algorithm>
#include <cstdarg>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/host_call_log.h"
#include "common/host_control.h"
#include "common/host_script.h"
#include "dev/dev_family.h"
#include "hov/hov_utility.h"
#include "msg/msg_base.h"
#include "piz/piz_table.h"
#include "r5t/r5t_interface.h"
#include "siv/siv_atom_mod_utility.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_blacklisting.h"
#include "wump/wump_die_info.h"
#include "yos/yos_interface.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dev_zota_util.h"

namespace zarn_yun {

namespace {

constexpr int SLOT_ELEMENT = 282;        // a LAB input mux holding a pipeline slot
constexpr unsigned NO_GID = 0xFFFFFFFFu;
constexpr std::size_t SLOT_SEARCH_LIMIT = 20000;
constexpr int PULSE_LEVEL_0_TRAIT = 42;  // parts whose pulse latches go down to level 0

// One depopulated register: where to find it and its name.
struct RECORD {
  VOK_ATOM_NETLIST* netlist;
  int id;
  std::string name;
};

struct STORE {
  std::vector<RECORD> records;
  bool hooked = false;
};

STORE& store() {
  static STORE s;
  if (!s.hooked) {
    s.hooked = true;
    host_register_reset_hook("zarn_yun::store", [] { store().records.clear(); });
  }
  return s;
}

bool stored(const VOK_ATOM_NODE* atom) {
  for (const RECORD& r : store().records)
    if (r.id == atom->get_id() && r.netlist == atom->get_parent_netlist()) return true;
  return false;
}

void for_each_atom(VOK_ATOM_NETLIST* n, const std::function<void(VOK_ATOM_NODE*)>& fn) {
  if (n == nullptr) return;
  std::vector<VOK_ATOM_NODE*> atoms(n->get_atom_list().begin(), n->get_atom_list().end());
  for (VOK_ATOM_NODE* a : atoms) {
    if (a->is_box())
      for_each_atom(static_cast<VOK_ATOM_BLACKBOX*>(a)->get_child_netlist(), fn);
    else
      fn(a);
  }
}

bool locked(const VOK_ATOM_NODE* atom) {
  const R5T_INTERFACE* r5t = R5T_INTERFACE::get_instance();
  const PELK value = r5t->get_atom_metadata(atom->get_id(), PELK::intern(4, "RETIMER_NO_TOUCH"));
  return value == PELK::intern(4, "LOCKED");
}

void taint_neighbours(VOK_ATOM_NODE* reg, HOV_ATOM_NETLIST_TAINT_MANAGER* taints) {
  if (taints == nullptr) return;
  taints->taint_atom(static_cast<unsigned>(reg->get_id()));
  for (VOK_ATOM_ITERM* t : reg->iterms())
    if (VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_HIERARCHICAL))
      taints->taint_atom(static_cast<unsigned>(src->get_my_node()->get_id()));
  for (VOK_ATOM_OTERM* o : reg->oterms())
    for (VOK_ATOM_ITERM* t : o->fanout(VOK_TRAVERSE_HIERARCHICAL))
      taints->taint_atom(static_cast<unsigned>(t->get_my_node()->get_id()));
}

// Why a register cannot be implemented in a pipeline slot ("" when it can).
std::string restriction(const VOK_ATOM_NODE* reg) {
  if (!reg->is_modifiable()) return "not modifiable";
  if (locked(reg)) return "locked by RETIMER_NO_TOUCH";
  if (ZEL_ATOM_UTIL::is_periphery_ff(reg)) return "periphery register";
  if (!ZEL_ZOTA_UTIL::is_ff_atom_a_simple_ff(reg)) return "uses a clock enable or clear";
  return "";
}

// The slots holding a register now.
std::set<unsigned> occupied_slots() {
  std::set<unsigned> out;
  for_each_atom(host::vok::top_netlist(), [&](VOK_ATOM_NODE* a) {
    if (a->is_placed() && (a->get_location_gid() & 0x80000000u)) out.insert(a->get_location_gid());
  });
  return out;
}

}  // namespace

void debug_line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  msg_local_vdebug("YUN", 2, format, args);
  va_end(args);
}

ENGINE::ENGINE(YUN_ENV* env) : m_env(env) {}

bool ENGINE::depopulate(VOK_ATOM_NODE* reg, HOV_ATOM_NETLIST_TAINT_MANAGER* taints) {
  if (reg == nullptr || !reg->is_ff() || stored(reg)) return false;
  if (!ZEL_ZOTA_UTIL::is_ff_atom_a_simple_ff(reg) || ZEL_ATOM_UTIL::is_periphery_ff(reg)) {
    host::log_call("YUN_UTILITY::depopulate_skipped", host::vok::arg(reg));
    return false;
  }
  reg->apply_operation(VOK_ATOM_OPERATION_FORCE_ZOTA);
  reg->clear_location();
  store().records.push_back(RECORD{reg->get_parent_netlist(), reg->get_id(), reg->get_string_hpath()});
  taint_neighbours(reg, taints);
  return true;
}

bool ENGINE::depopulate_registers(const std::vector<VOK_ATOM_NODE*>& registers,
                                  HOV_ATOM_NETLIST_TAINT_MANAGER* taints) {
  host::log_call("YUN_UTILITY::depopulate_registers", static_cast<int>(registers.size()));
  int done = 0;
  for (VOK_ATOM_NODE* r : registers) done += depopulate(r, taints) ? 1 : 0;
  debug_line("depopulate_registers: %d of %d registers depopulated", done, static_cast<int>(registers.size()));
  return host::script::next<bool>("YUN_UTILITY::depopulate_registers", true);
}

bool ENGINE::depopulate_netlist(HOV_ATOM_NETLIST_TAINT_MANAGER* taints) {
  host::log_call("YUN_UTILITY::depopulate_netlist");
  int registers = 0, done = 0;
  for_each_atom(m_env->get_atom_netlist(), [&](VOK_ATOM_NODE* a) {
    if (a->is_ff()) ++registers;
    if (ZEL_ATOM_UTIL::is_zota_marked_reg(a) && a->is_modifiable() && !locked(a)) done += depopulate(a, taints) ? 1 : 0;
  });
  debug_line("depopulate_netlist: %d of %d registers depopulated", done, registers);
  return host::script::next<bool>("YUN_UTILITY::depopulate_netlist", true);
}

bool ENGINE::collect_candidates(HOV_ATOM_NETLIST_TAINT_MANAGER*, YUN_UTILITY::ATOM_LIST& out) {
  host::log_call("YUN_UTILITY::collect_candidates");
  for_each_atom(m_env->get_atom_netlist(), [&](VOK_ATOM_NODE* a) {
    if (ZEL_ATOM_UTIL::is_zota_marked_reg(a) && a->is_modifiable()) out.push_back(a);
  });
  return host::script::next<bool>("YUN_UTILITY::collect_candidates", true);
}

void ENGINE::fill_register_restriction_table(PIZ_TABLE* table) {
  host::log_call("YUN_UTILITY::fill_register_restriction_table");
  if (table == nullptr) return;
  table->set_title("Zento-Register Restrictions");
  table->set_header({"Register", "Restriction"});
  int rows = 0, restricted = 0;
  for_each_atom(m_env->get_atom_netlist(), [&](VOK_ATOM_NODE* a) {
    if (!a->is_ff()) return;
    const std::string why = restriction(a);
    table->add_row({a->get_string_hpath(), why.empty() ? "none" : why});
    ++rows;
    restricted += why.empty() ? 0 : 1;
  });
  debug_line("register restriction table: %d registers, %d restricted", rows, restricted);
}

VOK_ATOM_NODE* ENGINE::recreate(VOK_ATOM_NODE* old, bool placed) {
  VOK_ATOM_NETLIST* netlist = old->get_parent_netlist();
  VOK_ATOM_NODE* fresh =
      VOK_ATOM_FACTORY::create_node(placed ? VOK_ATOM_KIND::PIPELINE_REGISTER : VOK_ATOM_KIND::CORE_REGISTER);
  fresh->set_name(old->get_string_hpath());
  netlist->add_node(fresh);
  SIV_ATOM_MOD_UTILITY* amu = m_env->get_atom_mod_utility();
  for (VOK_ATOM_ITERM* t : old->iterms()) {
    VOK_ATOM_ITERM* nt = fresh->get_input_term_by_type(t->get_port_type(), t->get_index());
    if (nt == nullptr) nt = fresh->add_input_term(t->get_port_type(), t->get_index());
    if (amu != nullptr) {
      amu->copy_input_connection(t, fresh, t->get_port_type(), t->get_index());
    } else if (VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED)) {
      vok_connect(src, nt);
    } else if (t->is_connected()) {
      nt->tie(t->is_tie_low());
    }
    nt->set_usage(t->get_any_usage_as());
    nt->set_state(t->get_state());
  }
  for (VOK_ATOM_OTERM* o : old->oterms()) {
    VOK_ATOM_OTERM* no = fresh->get_output_term_by_type(o->get_port_type(), o->get_index());
    if (no == nullptr) no = fresh->add_output_term(o->get_port_type(), o->get_index());
    std::vector<VOK_ATOM_ITERM*> loads;
    for (VOK_ATOM_ITERM* t = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); t != nullptr;
         t = t->get_next_fanout(VOK_TRAVERSE_AS_STORED))
      loads.push_back(t);
    for (VOK_ATOM_ITERM* t : loads) vok_connect(no, t);
  }
  fresh->set_powers_up(old->powers_up());
  fresh->set_modifiable(old->is_modifiable());
  m_env->copy_atom_location_constraints(old, fresh, false, false);
  if (placed) {
    fresh->set_location(old->get_location_gid(), old->get_location_element());
    // A pipeline register starts at the tightest pulse the part allows (level
    // 1 on a part without level 0), the level an undo of the time borrowing
    // comes back to.
    yos_current_interface()->set_enum_data(fresh, static_cast<YOS_ENUM_DATA_ENUM>(YOS_PULSE_WIDTH_LEVEL),
                                           host::device::part_trait(PULSE_LEVEL_0_TRAIT) ? 0 : 1);
  }
  VOK_CHIP_DB_ENTRY::current()->get_routing()->rebind_atom_terminals(static_cast<std::uint32_t>(old->get_id()),
                                                                    static_cast<std::uint32_t>(fresh->get_id()));
  netlist->remove(old);
  return fresh;
}

bool ENGINE::repopulate(YUN_UTILITY::ATOM_LIST& out) {
  host::log_call("YUN_UTILITY::repopulate", static_cast<int>(store().records.size()));
  const WUMP_DIE_INFO* die = host::device::die_info();
  std::vector<RECORD>& records = store().records;
  std::size_t done = 0;
  bool ok = true;
  for (; done < records.size(); ++done) {
    const RECORD& r = records[done];
    VOK_ATOM_NODE* atom = r.netlist ? r.netlist->get_atom_by_id(r.id) : nullptr;
    if (atom == nullptr) continue;  // merged away or deleted since
    const unsigned gid = atom->get_location_gid();
    if (!atom->is_placed() || !(gid & 0x80000000u) || !ZEL_DEV_ZOTA_UTIL::is_zota_gid(die, gid)) {
      host::log_call("YUN_UTILITY::repopulate_no_slot", r.name);
      ok = false;
      break;
    }
    out.push_back(recreate(atom, true));
  }
  records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(done));
  return ok;
}

unsigned ENGINE::dedicated_slot(unsigned port_gid, bool from_port, std::set<unsigned>& taken) const {
  const WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_BLACKLISTING* blacklist = die->get_blacklisting();
  std::deque<unsigned> wave{port_gid};
  std::set<unsigned> seen{port_gid};
  std::vector<unsigned> next;
  while (!wave.empty() && seen.size() < SLOT_SEARCH_LIMIT) {
    const unsigned g = wave.front();
    wave.pop_front();
    if (g != port_gid && ZEL_DEV_ZOTA_UTIL::is_zota_gid(die, g) && !taken.count(g) &&
        !blacklist->is_routing_gid_blacklisted(g)) {
      taken.insert(g);
      return g;
    }
    if (from_port)
      die->get_fanout_gids(g, next);
    else
      die->get_fanin_gids(g, next);
    std::sort(next.begin(), next.end());
    for (unsigned n : next)
      if (seen.insert(n).second) wave.push_back(n);
  }
  return NO_GID;
}

namespace {
// The periphery atom at the other end of a transfer register: the driver of
// its data input (periphery to core) or the load of its output.
std::string periphery_end(const VOK_ATOM_NODE* reg, bool p2c_side) {
  const VOK_ATOM_NODE* end = nullptr;
  if (p2c_side) {
    const VOK_ATOM_ITERM* d = reg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
    const VOK_ATOM_OTERM* src = d ? d->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
    end = src ? src->get_my_node() : nullptr;
  } else if (const VOK_ATOM_OTERM* q = reg->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0)) {
    const VOK_ATOM_ITERM* load = q->get_first_fanout(VOK_TRAVERSE_AS_STORED);
    end = load ? load->get_my_node() : nullptr;
  }
  return end ? end->get_string_hpath() : std::string("?");
}
}  // namespace

bool ENGINE::repopulate_periphery_transfer_registers(const std::vector<VOK_ATOM_NODE*>& p2c,
                                                     const YUN_UTILITY::PORT_GID_MAP& p2c_ports,
                                                     const std::vector<VOK_ATOM_NODE*>& c2p,
                                                     const YUN_UTILITY::PORT_GID_MAP& c2p_ports) {
  host::log_call("YUN_UTILITY::repopulate_periphery_transfer_registers", static_cast<int>(p2c.size()),
                 static_cast<int>(c2p.size()));
  std::set<unsigned> taken = occupied_slots();
  auto place = [&](const std::vector<VOK_ATOM_NODE*>& regs, const YUN_UTILITY::PORT_GID_MAP& ports, bool p2c_side) {
    for (VOK_ATOM_NODE* reg : regs) {
      const unsigned* port = ports.lookup(reg);
      if (port == nullptr) return false;
      unsigned slot = dedicated_slot(*port | 0x80000000u, p2c_side, taken);
      // A core-to-periphery port is reached from the fabric; its slot is the
      // nearest one the port's own fan-out reaches when none drives it.
      if (slot == NO_GID && !p2c_side) slot = dedicated_slot(*port | 0x80000000u, true, taken);
      if (slot == NO_GID) {
        host::yun::note_failure("no free pipeline slot next to the port of '" + periphery_end(reg, p2c_side) +
                                "' for register '" + reg->get_string_hpath() + "' (its " +
                                (p2c_side ? "periphery-to-core" : "core-to-periphery") +
                                " transfer): the register cannot be placed at the port");
        return false;
      }
      reg->set_location(slot, SLOT_ELEMENT);
      host::log_call("YUN_UTILITY::placed_at_port_slot", host::vok::arg(reg), slot);
    }
    return true;
  };
  const bool ok = place(p2c, p2c_ports, true) && place(c2p, c2p_ports, false);
  return host::script::next<bool>("YUN_UTILITY::repopulate_periphery_transfer_registers", ok) && ok;
}

YUN_UTILITY::ATOM_LIST ENGINE::repopulate_uib_esram_c2p_registers(const YUN_UTILITY::ATOM_LIST& registers,
                                                                  VOK_RE_ROUTING_MODIFIER&) {
  host::log_call("YUN_UTILITY::repopulate_uib_esram_c2p_registers", static_cast<int>(registers.size()));
  YUN_UTILITY::ATOM_LIST out;
  for (VOK_ATOM_NODE* r : registers)
    if (r != nullptr && r->is_ff()) out.push_back(recreate(r, false));
  return out;
}

}  // namespace zarn_yun
