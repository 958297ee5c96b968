#include "tawn/tawn_netlist_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "common/host_call_log.h"
#include "tawn/tawn_names.h"
#include "vok/vok_atom_netlist.h"
#include "zel/zel_atom_util.h"

namespace {

using host::tawn::LANG;

LANG language(int netlist_type) {
  switch (netlist_type) {
    case 2: return LANG::VHDL;
    case 4: return LANG::SYSTEM_VERILOG;
    default: return LANG::VERILOG;
  }
}

// What an atom becomes in the netlist.
enum class ROLE { INPUT_PORT, OUTPUT_PORT, BUFFER, LUT, ARITH, REGISTER, INSTANCE };

struct ITEM {
  const VOK_ATOM_NODE* atom;
  std::string name;  // flattened hierarchical name
  ROLE role;
};

bool has_connected_input(const VOK_ATOM_NODE* a) {
  for (const VOK_ATOM_ITERM* t : a->citerms())
    if (t->is_connected()) return true;
  return false;
}

ROLE role_of(const VOK_ATOM_NODE* a, bool top) {
  switch (a->get_kind()) {
    case VOK_ATOM_KIND::PAD: return has_connected_input(a) ? ROLE::OUTPUT_PORT : ROLE::INPUT_PORT;
    case VOK_ATOM_KIND::INPUT_PORT:
      if (top) return ROLE::INPUT_PORT;
      return ROLE::INSTANCE;
    case VOK_ATOM_KIND::OUTPUT_PORT:
      if (top) return ROLE::OUTPUT_PORT;
      return ROLE::INSTANCE;
    case VOK_ATOM_KIND::IBUF:
    case VOK_ATOM_KIND::OBUF: return ROLE::BUFFER;
    case VOK_ATOM_KIND::COMB_CELL: return ROLE::LUT;
    case VOK_ATOM_KIND::ARITH_CELL: return ROLE::ARITH;
    case VOK_ATOM_KIND::CORE_REGISTER:
    case VOK_ATOM_KIND::PIPELINE_REGISTER:
    case VOK_ATOM_KIND::IO_REGISTER: return ZEL_ZOTA_UTIL::is_ff_bypassed(a) ? ROLE::BUFFER : ROLE::REGISTER;
    default: return ROLE::INSTANCE;
  }
}

const char* kind_name(VOK_ATOM_KIND kind) {
  switch (kind) {
    case VOK_ATOM_KIND::CORE_REGISTER: return "core_register";
    case VOK_ATOM_KIND::PIPELINE_REGISTER: return "pipeline_register";
    case VOK_ATOM_KIND::IO_REGISTER: return "io_register";
    case VOK_ATOM_KIND::COMB_CELL: return "comb_cell";
    case VOK_ATOM_KIND::ARITH_CELL: return "arith_cell";
    case VOK_ATOM_KIND::LOGIC_MODULE: return "logic_module";
    case VOK_ATOM_KIND::LUTRAM: return "lutram";
    case VOK_ATOM_KIND::RAM: return "ram";
    case VOK_ATOM_KIND::MAC: return "mac";
    case VOK_ATOM_KIND::FP_MAC: return "fp_mac";
    case VOK_ATOM_KIND::PAD: return "pad";
    case VOK_ATOM_KIND::IBUF: return "ibuf";
    case VOK_ATOM_KIND::OBUF: return "obuf";
    case VOK_ATOM_KIND::IOPLL: return "iopll";
    case VOK_ATOM_KIND::CMU_FPLL: return "cmu_fpll";
    case VOK_ATOM_KIND::CLKBUF: return "clkbuf";
    case VOK_ATOM_KIND::CLK_GATE: return "clk_gate";
    case VOK_ATOM_KIND::SECTOR_CLK_GATE: return "sector_clk_gate";
    case VOK_ATOM_KIND::CLK_BURST: return "clk_burst";
    case VOK_ATOM_KIND::CLK_DIVIDER: return "clk_divider";
    case VOK_ATOM_KIND::UFIND4H_UIB: return "ufind4h_uib";
    case VOK_ATOM_KIND::UFI_ESRAM: return "ufi_esram";
    case VOK_ATOM_KIND::UFI_UIB: return "ufi_uib";
    case VOK_ATOM_KIND::UIBSSM: return "uibssm";
    case VOK_ATOM_KIND::UIB_IO_PHY: return "uib_io_phy";
    case VOK_ATOM_KIND::UIB_RDRC: return "uib_rdrc";
    case VOK_ATOM_KIND::UIB_WDRC: return "uib_wdrc";
    case VOK_ATOM_KIND::PRBLOCK: return "prblock";
    case VOK_ATOM_KIND::TILE_CTRL: return "tile_ctrl";
    case VOK_ATOM_KIND::INPUT_PORT: return "input_port";
    case VOK_ATOM_KIND::OUTPUT_PORT: return "output_port";
    case VOK_ATOM_KIND::BIDIR_PORT: return "bidir_port";
    case VOK_ATOM_KIND::BLACKBOX: return "blackbox";
  }
  return "atom";
}

// The atoms in list order, a box with contents replaced by its child's
// atoms (recursively) and the port atoms inside a child left out: the
// box's terminals and the child's ports are the same signals, which the
// hierarchical source walk already joins.
void flatten(const VOK_ATOM_NETLIST& netlist, const std::string& prefix, bool top, std::vector<ITEM>* out) {
  for (const VOK_ATOM_NODE* a : netlist.get_atom_list()) {
    std::string name = a->get_string_hpath();
    if (!prefix.empty() && name.compare(0, prefix.size(), prefix) != 0) name = prefix + name;
    if (a->is_box()) {
      const auto* box = static_cast<const VOK_ATOM_BLACKBOX*>(a);
      const VOK_ATOM_NETLIST* child = box->get_child_netlist();
      if (child != nullptr && !child->empty()) {
        flatten(*child, name + "|", false, out);
        continue;
      }
    }
    if (!top && a->get_basic_type() == 284) continue;
    out->push_back({a, name, role_of(a, top)});
  }
}

// A signal an input reads: a constant, or a net read straight or inverted.
struct SIG {
  int constant = -1;  // 0 or 1; -1 for a net
  std::string net;
  bool inverted = false;
  SIG negated() const {
    SIG s = *this;
    if (constant >= 0)
      s.constant = 1 - constant;
    else
      s.inverted = !inverted;
    return s;
  }
};

// An empty module's port: direction, port type and index.
struct PORT {
  bool output;
  int type;
  int index;
  bool operator<(const PORT& o) const {
    return std::tie(output, type, index) < std::tie(o.output, o.type, o.index);
  }
};

std::string port_name(const PORT& p) {
  return std::string(p.output ? "o" : "i") + std::to_string(p.type) + "_" + std::to_string(p.index);
}

class WRITER {
public:
  WRITER(const VOK_ATOM_NETLIST& netlist, const std::string& name, LANG lang) : m_lang(lang), m_names(lang) {
    flatten(netlist, "", true, &m_items);
    gather_pins();
    // Every name the atoms bring and the names written after them, so that
    // a name renamed for a clash takes a suffix no other name has, and a
    // name with bytes replaced takes none the design spells.
    for (const ITEM& it : m_items) {
      m_names.add_name(it.name);
      for (const char* derived : {"~cout", "~f0", "~f1", "~inst"}) m_names.add_name(it.name + derived);
    }
    for (const host::tawn::PIN& pin : m_pin_names) m_names.add_port_name(pin.name);
    for (const host::tawn::BUS& bus : m_buses) m_names.add_port_name(bus.base);
    // Modules are named apart from ports and nets: a port may have its
    // module's name (a bench binds .coll(coll) to module coll), as it may
    // in the source.
    host::tawn::NAME_TABLE modules(lang);
    m_module = modules.take(name);
    for (const ITEM& it : m_items)
      if (it.role == ROLE::INSTANCE && !m_module_of.count(it.atom->get_kind()))
        m_module_of[it.atom->get_kind()] = modules.take(std::string("velmo_") + kind_name(it.atom->get_kind()));
    // Ports first, so that pins keep their names and a net named as a pin
    // is the one renamed; a net named as the module is renamed too (in
    // VHDL it would hide the entity).
    name_ports();
    m_names.hold(m_module);
    for (const ITEM& it : m_items) {
      switch (it.role) {
        case ROLE::INPUT_PORT:
        case ROLE::OUTPUT_PORT: break;
        case ROLE::BUFFER:
        case ROLE::LUT:
        case ROLE::REGISTER:
        case ROLE::ARITH: {
          const std::string value = take(it.name);
          m_value[it.atom] = value;
          m_nets.push_back({value, it.role == ROLE::REGISTER, it.atom->powers_up()});
          std::string carry;
          for (const VOK_ATOM_OTERM* o : it.atom->coterms()) {
            if (it.role == ROLE::ARITH && o->get_port_type() == DB_OUTPUT_PORT_CARRY_OUT) {
              if (carry.empty()) {
                carry = take(it.name + "~cout");
                m_carry[it.atom] = carry;
                m_nets.push_back({carry, false, false});
              }
              m_net[o] = carry;
            } else {
              m_net[o] = value;
            }
          }
          if (it.role == ROLE::ARITH) {
            m_f[it.atom] = {take(it.name + "~f0"), take(it.name + "~f1")};
            m_nets.push_back({m_f[it.atom].first, false, false});
            m_nets.push_back({m_f[it.atom].second, false, false});
          }
          break;
        }
        case ROLE::INSTANCE: {
          m_instance_id[it.atom] = take(it.name + "~inst");
          std::set<PORT>& ports = m_ports[it.atom->get_kind()];
          for (const VOK_ATOM_ITERM* t : it.atom->citerms()) ports.insert({false, t->get_port_type(), t->get_index()});
          for (const VOK_ATOM_OTERM* o : it.atom->coterms()) {
            ports.insert({true, o->get_port_type(), o->get_index()});
            const std::string net = take(o == it.atom->get_oterm_slot(0) ? it.name
                                                                          : it.name + "~" + host::vok::output_port_name(
                                                                                                 o->get_port_type(), o->get_index()));
            m_net[o] = net;
            m_nets.push_back({net, false, false});
          }
          break;
        }
      }
    }
  }

  std::string text() {
    std::ostringstream out;
    if (m_lang == LANG::VHDL)
      write_vhdl(out);
    else
      write_verilog(out);
    return out.str();
  }

private:
  struct NET {
    std::string id;
    bool is_register;
    bool power_up;
  };

  // A port of the module: a pin, or the pins of a bus as one vector.
  struct PORT_DECL {
    std::string id;
    bool output;
    bool vector;
    int left, right;
  };

  // The pins in the design's order, their names and the buses they form.
  void gather_pins() {
    for (const ITEM& it : m_items)
      if (it.role == ROLE::INPUT_PORT || it.role == ROLE::OUTPUT_PORT) {
        m_pins.push_back(&it);
        m_pin_names.push_back({pin_name(it), it.role == ROLE::OUTPUT_PORT});
      }
    m_buses = host::tawn::gather_buses(m_pin_names, &m_places);
  }

  // The ports in the pins' order, a bus where its first bit is. A bit of a
  // bus is read and driven as its element of the vector; its own name (as a
  // scalar) is taken too, so that a net named as a bit is renamed as a net
  // named as a pin is.
  void name_ports() {
    const std::vector<const ITEM*>& pins = m_pins;
    const std::vector<host::tawn::PIN>& names = m_pin_names;
    const std::vector<host::tawn::PIN_PLACE>& places = m_places;
    const std::vector<host::tawn::BUS>& buses = m_buses;
    std::vector<std::string> bus_id(buses.size());
    for (std::size_t k = 0; k < pins.size(); ++k) {
      const int b = places[k].bus;
      std::string ref;
      if (b < 0) {
        ref = m_names.take_port(names[k].name);
        m_port_decls.push_back({ref, names[k].output, false, 0, 0});
      } else {
        if (bus_id[b].empty()) {
          bus_id[b] = m_names.take_port(buses[b].base);
          m_port_decls.push_back({bus_id[b], buses[b].output, true, buses[b].left, buses[b].right});
        }
        take(names[k].name);
        const std::string bit = std::to_string(places[k].bit);
        ref = m_lang == LANG::VHDL ? bus_id[b] + "(" + bit + ")" : bus_id[b] + "[" + bit + "]";
      }
      m_port_id[pins[k]->atom] = ref;
      if (!names[k].output)
        for (const VOK_ATOM_OTERM* o : pins[k]->atom->coterms()) m_net[o] = ref;
    }
  }

  // The design's name of a pin: an output pad is named "out:<output>" in
  // the atom netlist, and the port carries the output's own name so that a
  // test bench written for the design binds to the netlist unchanged.
  static std::string pin_name(const ITEM& it) {
    static const std::string prefix = "out:";
    if (it.role == ROLE::OUTPUT_PORT && it.name.size() > prefix.size() && it.name.compare(0, prefix.size(), prefix) == 0)
      return it.name.substr(prefix.size());
    return it.name;
  }

  // A fresh identifier of a net (NAME_TABLE::take).
  std::string take(const std::string& raw) { return m_names.take(raw); }

  // What an input reads.
  SIG read(const VOK_ATOM_ITERM* t) {
    SIG s;
    if (t == nullptr || !t->is_connected()) {
      s.constant = 0;
      return s;
    }
    const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_HIERARCHICAL);
    if (src == nullptr) {
      s.constant = (t->is_tie_low() ? 0 : 1) ^ (t->is_inverted() ? 1 : 0);
      return s;
    }
    if (src->get_my_node() == nullptr) {  // the netlist's ground
      s.constant = t->is_inverted() ? 1 : 0;
      return s;
    }
    s.net = net_of(src);
    s.inverted = t->is_inverted();
    return s;
  }

  // The net of a source outside the written atoms (an undriven wire).
  std::string net_of(const VOK_ATOM_OTERM* o) {
    auto it = m_net.find(o);
    if (it != m_net.end()) return it->second;
    const std::string net = take(o->get_name());
    m_net[o] = net;
    m_nets.push_back({net, false, false});
    return net;
  }

  // ---- expressions
  std::string constant(int v) const {
    if (m_lang == LANG::VHDL) return v ? "'1'" : "'0'";
    return v ? "1'b1" : "1'b0";
  }
  std::string expr(const SIG& s) const {
    if (s.constant >= 0) return constant(s.constant);
    if (!s.inverted) return s.net;
    return m_lang == LANG::VHDL ? "(not " + s.net + ")" : "~" + s.net;
  }
  const char* op_and() const { return m_lang == LANG::VHDL ? " and " : " & "; }
  const char* op_or() const { return m_lang == LANG::VHDL ? " or " : " | "; }
  const char* op_xor() const { return m_lang == LANG::VHDL ? " xor " : " ^ "; }
  // The operand in parentheses of its own: VHDL's "not" binds tighter than
  // any binary operator, so "not (p1) or (p2)" would negate p1 alone.
  std::string op_not(const std::string& e) const {
    return m_lang == LANG::VHDL ? "(not (" + e + "))" : "~(" + e + ")";
  }
  // A condition: the signal is 1. In VHDL a constant is written as the
  // boolean itself: "'0' = '1'" is ambiguous (the literals are characters,
  // bits and std_ulogic values at once).
  std::string cond(const SIG& s) const {
    if (m_lang != LANG::VHDL) return expr(s);
    if (s.constant >= 0) return s.constant ? "true" : "false";
    return expr(s) + " = '1'";
  }

  // The function over the inputs as a lookup of its table by the inputs,
  // input 0 the index's lowest bit: the table written from its last entry
  // down to entry 0, shifted right by the index in Verilog (the 1-bit net
  // takes bit 0), given to velmo_lut with the inputs in VHDL. A function
  // constant over its inputs is written as the constant.
  template <class F> std::string lookup(const std::vector<SIG>& in, F&& value) {
    const unsigned count = 1u << in.size();
    std::vector<bool> table(count);
    unsigned ones = 0;
    for (unsigned v = 0; v < count; ++v) {
      table[v] = value(v);
      ones += table[v] ? 1 : 0;
    }
    if (ones == count) return constant(1);
    if (ones == 0) return constant(0);
    std::string digits;  // count >= 2
    const unsigned per_digit = count == 2 ? 1 : 4;
    for (unsigned v = count; v >= per_digit; v -= per_digit) {
      unsigned d = 0;
      for (unsigned b = per_digit; b-- > 0;) d = d << 1 | (table[v - per_digit + b] ? 1u : 0u);
      digits += "0123456789abcdef"[d];
    }
    std::string index;
    for (std::size_t i = in.size(); i-- > 0;) index += (index.empty() ? "" : ", ") + expr(in[i]);
    m_lookup_used = true;
    if (m_lang == LANG::VHDL)
      return std::string("velmo_lut(") + (count == 2 ? "" : "X") + "\"" + digits + "\", (" +
             (in.size() == 1 ? "0 => " : "") + index + "))";
    return "(" + std::to_string(count) + (count == 2 ? "'b" : "'h") + digits + " >> {" + index + "})";
  }

  std::vector<SIG> lut_inputs(const VOK_ATOM_NODE* a, int count) {
    std::vector<SIG> in;
    for (int k = 0; k < count; ++k)
      in.push_back(read(a->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + k), 0)));
    return in;
  }

  // The LUT's function over its inputs (8 with atom bit 44, else up to its
  // highest LUT input).
  std::string lut_logic(const VOK_ATOM_NODE* a) {
    int width = 8;
    if (!a->test_bit(44)) {
      width = 0;
      for (int k = 0; k < 6; ++k)
        if (a->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + k), 0)) width = k + 1;
    }
    const std::uint64_t mask = a->get_lutmask().get_value();
    return lookup(lut_inputs(a, width), [&](unsigned v) { return host::lut_eval(mask, width, v); });
  }

  // ---- statements
  void assign(std::ostream& out, const std::string& target, const std::string& value) const {
    if (m_lang == LANG::VHDL)
      out << "  " << target << " <= " << value << ";\n";
    else
      out << "  assign " << target << " = " << value << ";\n";
  }

  void comb_statements(std::ostream& out) {
    for (const ITEM& it : m_items) {
      const VOK_ATOM_NODE* a = it.atom;
      switch (it.role) {
        case ROLE::OUTPUT_PORT:
          assign(out, m_port_id.at(a), expr(read(a->get_input_term_by_type(DB_INPUT_PORT_BOX, 0))));
          break;
        case ROLE::BUFFER: {
          const VOK_ATOM_ITERM* in = a->is_ff() ? a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)
                                                : a->get_input_term_by_type(DB_INPUT_PORT_BOX, 0);
          assign(out, m_value.at(a), expr(read(in)));
          break;
        }
        case ROLE::LUT: assign(out, m_value.at(a), lut_logic(a)); break;
        case ROLE::ARITH: {
          const std::uint64_t mask = a->get_lutmask().get_value();
          const std::vector<SIG> in = lut_inputs(a, 4);
          const auto& [f0, f1] = m_f.at(a);
          assign(out, f0, lookup(in, [&](unsigned v) { return host::lut_eval(mask & 0xFFFFu, 4, v); }));
          assign(out, f1, lookup(in, [&](unsigned v) { return host::lut_eval(mask >> 16, 4, v); }));
          const std::string cin = expr(read(a->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0)));
          assign(out, m_value.at(a), "(" + f0 + op_xor() + cin + ")");
          if (m_carry.count(a))
            assign(out, m_carry.at(a),
                   "((" + f0 + op_and() + cin + ")" + op_or() + "(" + op_not(f0) + op_and() + f1 + "))");
          break;
        }
        default: break;
      }
    }
  }

  // The register's next value at its clock edge (without the asynchronous
  // clear).
  struct REG_INPUTS {
    bool clocked = false;
    SIG clk;
    bool has_aclr = false;
    SIG aclr;
    bool has_sclr = false;
    SIG sclr;
    bool has_ena = false;
    SIG ena;
    SIG d;
  };
  REG_INPUTS reg_inputs(const VOK_ATOM_NODE* a) {
    REG_INPUTS r;
    auto connected = [&](DB_INPUT_PORT_TYPE type) {
      const VOK_ATOM_ITERM* t = a->get_input_term_by_type(type, 0);
      return t != nullptr && t->is_connected() ? t : nullptr;
    };
    r.clk = read(a->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
    r.clocked = r.clk.constant < 0;
    if (const VOK_ATOM_ITERM* t = connected(DB_INPUT_PORT_ACLR)) {
      r.aclr = read(t);
      r.has_aclr = r.aclr.constant != 0;
    }
    if (const VOK_ATOM_ITERM* t = connected(DB_INPUT_PORT_SCLR)) {
      r.sclr = read(t);
      r.has_sclr = r.sclr.constant != 0;
    }
    if (const VOK_ATOM_ITERM* t = connected(DB_INPUT_PORT_ENA)) {
      r.ena = read(t);
      r.has_ena = r.ena.constant != 1;
    }
    r.d = read(a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
    return r;
  }

  void verilog_register(std::ostream& out, const VOK_ATOM_NODE* a) {
    const std::string q = m_value.at(a);
    const REG_INPUTS r = reg_inputs(a);
    const std::string zero = constant(0);
    if (!r.clocked && !r.has_aclr) {
      out << "  // " << q << ": no clock; keeps its power-up value\n";
      return;
    }
    // At the clock edge: cleared, else loaded when enabled, else kept.
    std::string next = expr(r.d);
    if (r.has_ena) next = "(" + cond(r.ena) + " ? " + next + " : " + q + ")";
    if (r.has_sclr) next = "(" + cond(r.sclr) + " ? " + zero + " : " + next + ")";
    std::string events;
    if (r.clocked) events = std::string(r.clk.inverted ? "negedge " : "posedge ") + r.clk.net;
    if (r.has_aclr && r.aclr.constant < 0)
      events += (events.empty() ? "" : " or ") + std::string(r.aclr.inverted ? "negedge " : "posedge ") + r.aclr.net;
    out << "  " << (m_lang == LANG::SYSTEM_VERILOG ? "always_ff" : "always") << " @(" << events << ")\n";
    if (r.has_aclr) {
      out << "    if (" << cond(r.aclr) << ") " << q << " <= " << zero << ";\n";
      if (r.clocked) out << "    else " << q << " <= " << next << ";\n";
    } else {
      out << "    " << q << " <= " << next << ";\n";
    }
  }

  void vhdl_register(std::ostream& out, const VOK_ATOM_NODE* a) {
    const std::string q = m_value.at(a);
    const REG_INPUTS r = reg_inputs(a);
    if (!r.clocked && !r.has_aclr) {
      out << "  -- " << q << ": no clock; keeps its power-up value\n";
      return;
    }
    std::string sensitivity;
    if (r.clocked) sensitivity = r.clk.net;
    if (r.has_aclr && r.aclr.constant < 0) sensitivity += (sensitivity.empty() ? "" : ", ") + r.aclr.net;
    out << "  process (" << sensitivity << ")\n  begin\n";
    std::string edge_if = "if";
    if (r.has_aclr) {
      out << "    if " << cond(r.aclr) << " then\n      " << q << " <= '0';\n";
      edge_if = "elsif";
    }
    if (r.clocked) {
      out << "    " << edge_if << " " << (r.clk.inverted ? "falling_edge(" : "rising_edge(") << r.clk.net << ") then\n";
      std::string body = q + " <= " + expr(r.d) + ";";
      if (r.has_ena) body = "if " + cond(r.ena) + " then " + body + " end if;";
      if (r.has_sclr)
        out << "      if " << cond(r.sclr) << " then " << q << " <= '0'; else " << body << " end if;\n";
      else
        out << "      " << body << "\n";
    }
    out << "    end if;\n  end process;\n";
  }

  // The ports an instance connects: inputs with what they read, outputs
  // with their nets.
  std::vector<std::pair<std::string, SIG>> instance_connections(const VOK_ATOM_NODE* a) {
    std::vector<std::pair<std::string, SIG>> c;
    for (const VOK_ATOM_ITERM* t : a->citerms())
      if (t->is_connected()) c.emplace_back(port_name({false, t->get_port_type(), t->get_index()}), read(t));
    for (const VOK_ATOM_OTERM* o : a->coterms()) {
      SIG s;
      s.net = m_net.at(o);
      c.emplace_back(port_name({true, o->get_port_type(), o->get_index()}), s);
    }
    return c;
  }

  void write_verilog(std::ostream& out) {
    const bool sv = m_lang == LANG::SYSTEM_VERILOG;
    const char* net_type = sv ? "logic" : "wire";
    out << "// Structural netlist of " << m_module << " (atoms, pins as ports).\n";
    for (const auto& [kind, ports] : m_ports) {
      out << "\nmodule " << m_module_of.at(kind);
      if (!ports.empty()) {
        out << " (";
        bool first = true;
        for (const PORT& p : ports) {
          out << (first ? "\n  " : ",\n  ") << (p.output ? "output " : "input ") << net_type << " " << port_name(p);
          first = false;
        }
        out << "\n)";
      }
      out << ";\nendmodule\n";
    }
    out << "\nmodule " << m_module << " (";
    bool first = true;
    for (const PORT_DECL& p : m_port_decls) {
      out << (first ? "\n  " : ",\n  ") << (p.output ? "output " : "input ") << net_type << " ";
      if (p.vector) out << "[" << p.left << ":" << p.right << "] ";
      out << p.id;
      first = false;
    }
    out << "\n);\n";
    std::ostringstream body;
    comb_statements(body);
    for (const ITEM& it : m_items)
      if (it.role == ROLE::REGISTER) verilog_register(body, it.atom);
    for (const ITEM& it : m_items) {
      if (it.role != ROLE::INSTANCE) continue;
      body << "  " << m_module_of.at(it.atom->get_kind()) << " " << m_instance_id.at(it.atom) << " (";
      bool first_port = true;
      for (const auto& [port, sig] : instance_connections(it.atom)) {
        body << (first_port ? "" : ", ") << "." << port << "(" << expr(sig) << ")";
        first_port = false;
      }
      body << ");\n";
    }
    // Declarations after the body: reading an input may have named an
    // outside source.
    for (const NET& n : m_nets) {
      if (n.is_register)
        out << "  " << (sv ? "logic " : "reg ") << n.id << " = " << constant(n.power_up ? 1 : 0) << ";\n";
      else
        out << "  " << net_type << " " << n.id << ";\n";
    }
    out << body.str() << "endmodule\n";
  }

  void write_vhdl(std::ostream& out) {
    out << "-- Structural netlist of " << m_module << " (atoms, pins as ports).\n";
    for (const auto& [kind, ports] : m_ports) {
      const std::string& entity = m_module_of.at(kind);
      out << "\nlibrary ieee;\nuse ieee.std_logic_1164.all;\n\nentity " << entity << " is\n";
      if (!ports.empty()) {
        out << "  port (";
        bool first = true;
        for (const PORT& p : ports) {
          out << (first ? "\n    " : ";\n    ") << port_name(p)
              << (p.output ? " : out std_logic" : " : in std_logic := '0'");
          first = false;
        }
        out << "\n  );\n";
      }
      out << "end entity " << entity << ";\n\narchitecture empty of " << entity << " is\nbegin\nend architecture empty;\n";
    }
    out << "\nlibrary ieee;\nuse ieee.std_logic_1164.all;\n\nentity " << m_module << " is\n";
    bool any_port = false;
    for (const PORT_DECL& p : m_port_decls) {
      out << (any_port ? ";\n    " : "  port (\n    ") << p.id << (p.output ? " : out std_logic" : " : in std_logic");
      if (p.vector)
        out << "_vector(" << p.left << (p.left < p.right ? " to " : " downto ") << p.right << ")";
      any_port = true;
    }
    if (any_port) out << "\n  );\n";
    out << "end entity " << m_module << ";\n\narchitecture structure of " << m_module << " is\n";
    std::ostringstream body;
    comb_statements(body);
    for (const ITEM& it : m_items)
      if (it.role == ROLE::REGISTER) vhdl_register(body, it.atom);
    // An instance's inputs through signals of their own: a port map takes
    // no expressions.
    std::vector<std::string> port_signals;
    for (const ITEM& it : m_items) {
      if (it.role != ROLE::INSTANCE) continue;
      std::string map;
      for (const auto& [port, sig] : instance_connections(it.atom)) {
        std::string actual = sig.net;
        if (sig.constant >= 0 || sig.inverted) {
          actual = take(it.name + "~" + port);
          port_signals.push_back(actual);
          assign(body, actual, expr(sig));
        }
        map += (map.empty() ? "" : ", ") + port + " => " + actual;
      }
      body << "  " << m_instance_id.at(it.atom) << ": entity work." << m_module_of.at(it.atom->get_kind());
      if (!map.empty()) body << " port map (" << map << ")";
      body << ";\n";
    }
    for (const NET& n : m_nets)
      out << "  signal " << n.id << " : std_logic" << (n.is_register ? (n.power_up ? " := '1'" : " := '0'") : "")
          << ";\n";
    for (const std::string& s : port_signals) out << "  signal " << s << " : std_logic;\n";
    // The entry of a LUT's table (its last entry leftmost) that the inputs
    // select, the leftmost input the index's highest bit; 'X' when an input
    // is neither 0 nor 1.
    if (m_lookup_used)
      out << "  function velmo_lut(table : std_logic_vector; index : std_logic_vector) return std_logic is\n"
             "    variable t : std_logic_vector(table'length - 1 downto 0) := table;\n"
             "    variable k : natural := 0;\n"
             "  begin\n"
             "    for i in index'range loop\n"
             "      case index(i) is\n"
             "        when '0' | 'L' => k := 2 * k;\n"
             "        when '1' | 'H' => k := 2 * k + 1;\n"
             "        when others => return 'X';\n"
             "      end case;\n"
             "    end loop;\n"
             "    return t(k);\n"
             "  end function velmo_lut;\n";
    out << "begin\n" << body.str() << "end architecture structure;\n";
  }

  LANG m_lang;
  bool m_lookup_used = false;  // a table lookup is written (VHDL declares velmo_lut)
  std::vector<ITEM> m_items;
  host::tawn::NAME_TABLE m_names;  // ports and nets
  // The pins in the design's order, their names and buses.
  std::vector<const ITEM*> m_pins;
  std::vector<host::tawn::PIN> m_pin_names;
  std::vector<host::tawn::PIN_PLACE> m_places;
  std::vector<host::tawn::BUS> m_buses;
  std::vector<PORT_DECL> m_port_decls;
  std::string m_module;
  std::map<VOK_ATOM_KIND, std::string> m_module_of;
  std::map<VOK_ATOM_KIND, std::set<PORT>> m_ports;
  std::unordered_map<const VOK_ATOM_NODE*, std::string> m_port_id;
  std::unordered_map<const VOK_ATOM_NODE*, std::string> m_value;
  std::unordered_map<const VOK_ATOM_NODE*, std::string> m_carry;
  std::unordered_map<const VOK_ATOM_NODE*, std::pair<std::string, std::string>> m_f;
  std::unordered_map<const VOK_ATOM_NODE*, std::string> m_instance_id;
  std::unordered_map<const VOK_ATOM_OTERM*, std::string> m_net;
  std::vector<NET> m_nets;
};

}  // namespace

const char* TAWN_NETLIST_WRITER::extension(int netlist_type) {
  switch (netlist_type) {
    case 2: return ".vho";
    case 4: return ".sv";
    default: return ".vo";
  }
}

std::string TAWN_NETLIST_WRITER::netlist_text(const VOK_ATOM_NETLIST& netlist, const std::string& name,
                                              int netlist_type) {
  return WRITER(netlist, name, language(netlist_type)).text();
}

bool TAWN_NETLIST_WRITER::write(const VOK_ATOM_NETLIST* netlist, const char* directory, const char* name) {
  return write(netlist, directory, name, 3);
}

namespace {

// Writes the text to a new file beside `path` and renames it to `path` once
// every byte is written and the file closed without error, so that a reader
// never finds a partial netlist under the final name (a full disk, a file
// size limit). On failure the new file is removed and `path` is untouched.
bool write_whole(const std::string& path, const std::string& text) {
  static std::atomic<unsigned> serial{0};
  const std::size_t slash = path.rfind('/');
  const std::string folder = path.substr(0, slash + 1), base = path.substr(slash + 1);
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = folder + "." + base + "." + std::to_string(::getpid()) + "." + std::to_string(serial++) + ".tmp";
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else if (n < 0 && errno == EINTR)
      continue;
    else
      ok = false;  // EFBIG past a file size limit, ENOSPC, EIO
  }
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

}  // namespace

bool TAWN_NETLIST_WRITER::write(const VOK_ATOM_NETLIST* netlist, const char* directory, const char* name,
                                int netlist_type) {
  host::log_call("TAWN_NETLIST_WRITER::write", netlist, directory, name);
  if (netlist == nullptr) return false;
  const std::string module = name ? name : "netlist";
  const std::string path = std::string(directory && *directory ? directory : ".") + "/" + module + extension(netlist_type);
  return write_whole(path, netlist_text(*netlist, module, netlist_type));
}
