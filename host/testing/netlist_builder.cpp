#include "testing/netlist_builder.h"

#include <string>

#include "wexan/wexan_pll_delay_chains_op.h"

namespace host::testing {

namespace {

[[noreturn]] void contradiction(const VOK_ATOM_NODE* atom, const std::string& what) {
  std::string who = atom ? "atom '" + atom->get_string_hpath() + "' (#" + std::to_string(atom->get_id()) + ")" : "netlist";
  throw NETLIST_BUILD_ERROR(who + ": " + what);
}

VOK_ATOM_OTERM* primary_output(VOK_ATOM_NODE* atom) {
  if (atom == nullptr) throw NETLIST_BUILD_ERROR("null atom used as a signal");
  for (VOK_ATOM_OTERM* o : atom->oterms()) return o;
  contradiction(atom, "has no output to use as a signal");
}

}  // namespace

// ---------------------------------------------------------------- signals, handles

SIG::SIG(VOK_ATOM_NODE* atom) : oterm(primary_output(atom)) {}
SIG::SIG(const ATOM_HANDLE& handle) : oterm(primary_output(handle.atom())) {}

SIG ATOM_HANDLE::out() const { return SIG(m_atom); }

SIG ATOM_HANDLE::out(DB_OUTPUT_PORT_TYPE type, int index) const {
  VOK_ATOM_OTERM* o = m_atom->get_output_term_by_type(type, index);
  if (o == nullptr)
    contradiction(m_atom, "has no output of type " + std::to_string(type) + " index " + std::to_string(index));
  return SIG(o);
}

VOK_ATOM_ITERM* ATOM_HANDLE::iterm(DB_INPUT_PORT_TYPE type, int index) const {
  return m_atom->get_input_term_by_type(type, index);
}

void ATOM_HANDLE::connect(DB_INPUT_PORT_TYPE type, int index, SIG sig, const char* role) const {
  const std::string what = std::string(role) + " (type " + std::to_string(type) + ", index " + std::to_string(index) + ")";
  if (sig.oterm == nullptr) contradiction(m_atom, what + ": no signal given");
  VOK_ATOM_NODE* driver = sig.oterm->get_my_node();
  VOK_ATOM_NETLIST* here = m_atom->get_parent_netlist();
  const bool same_netlist =
      driver ? driver->get_parent_netlist() == here : (here != nullptr && sig.oterm == here->get_ground_oterm());
  if (!same_netlist)
    contradiction(m_atom, what + ": the signal '" + sig.oterm->get_name() +
                              "' belongs to another netlist (cross black boxes through their ports)");
  VOK_ATOM_ITERM* t = m_atom->get_input_term_by_type(type, index);
  if (t == nullptr) t = m_atom->add_input_term(type, index);
  if (t->is_connected()) contradiction(m_atom, what + " is already connected");
  vok_connect(sig.oterm, t);
}

void ATOM_HANDLE::add_locked_constraint(const TIBEX_LOCKED_CONSTRAINT& c, unsigned sources) const {
  auto lc = host::constraints::get(m_atom->get_id());
  lc.add_locked(c, sources);
  host::constraints::set(m_atom->get_id(), lc);
}

void ATOM_HANDLE::add_floating_constraint(int tarnbay_id, unsigned sources) const {
  if (!host::constraints::regions() || !host::constraints::regions()->get_xr(tarnbay_id))
    contradiction(m_atom, "floats in Tarnbay region " + std::to_string(tarnbay_id) + ", which does not exist");
  auto lc = host::constraints::get(m_atom->get_id());
  lc.add_floating(tarnbay_id, sources);
  host::constraints::set(m_atom->get_id(), lc);
}

int region(const std::string& name, std::vector<TIBEX_ZARTO_REGION::RECT> rects, int id) {
  if (rects.empty()) throw NETLIST_BUILD_ERROR("region '" + name + "' without rectangles");
  for (const auto& r : rects)
    if (r.xmin > r.xmax || r.ymin > r.ymax) throw NETLIST_BUILD_ERROR("region '" + name + "' has an empty rectangle");
  TIBEX_ZARTO_REGION reg;
  reg.name = name;
  reg.rects = std::move(rects);
  return host::constraints::create_regions().add(std::move(reg), id);
}

void ATOM_HANDLE::tie_input(DB_INPUT_PORT_TYPE type, int index, bool low, const char* role) const {
  VOK_ATOM_ITERM* t = m_atom->get_input_term_by_type(type, index);
  if (t == nullptr) t = m_atom->add_input_term(type, index);
  if (t->is_connected())
    contradiction(m_atom, std::string(role) + " (type " + std::to_string(type) + ") is already connected");
  t->tie(low);
}

// ---------------------------------------------------------------- registers

REG_BUILDER& REG_BUILDER::clk(SIG s) {
  connect(DB_INPUT_PORT_CLK, 0, s, "clock");
  return *this;
}
REG_BUILDER& REG_BUILDER::d(SIG s) {
  connect(DB_INPUT_PORT_DATA_IN, 0, s, "data");
  return *this;
}
REG_BUILDER& REG_BUILDER::ce(SIG s) {
  connect(DB_INPUT_PORT_ENA, 0, s, "clock enable");
  return *this;
}
REG_BUILDER& REG_BUILDER::sclr(SIG s) {
  connect(DB_INPUT_PORT_SCLR, 0, s, "synchronous clear");
  return *this;
}
REG_BUILDER& REG_BUILDER::aclr(SIG s) {
  connect(DB_INPUT_PORT_ACLR, 0, s, "asynchronous clear");
  return *this;
}
REG_BUILDER& REG_BUILDER::powers_up(bool high) {
  m_atom->set_powers_up(high);
  return *this;
}

// ---------------------------------------------------------------- LUT-RAM, MAC, PLL

LUTRAM_BUILDER& LUTRAM_BUILDER::data_in(SIG s) {
  connect(DB_INPUT_PORT_LUTRAM_DATA_A, 0, s, "port A data");
  return *this;
}
LUTRAM_BUILDER& LUTRAM_BUILDER::clk(SIG s) {
  connect(DB_INPUT_PORT_CLK, 0, s, "clock");
  return *this;
}
LUTRAM_BUILDER& LUTRAM_BUILDER::we(SIG s) {
  connect(DB_INPUT_PORT_LUTRAM_WE, 0, s, "write enable");
  return *this;
}
LUTRAM_BUILDER& LUTRAM_BUILDER::addr(int i, SIG s) {
  connect(DB_INPUT_PORT_LUTRAM_ADDR, i, s, "address");
  return *this;
}

MAC_BUILDER& MAC_BUILDER::mode(int mode) {
  if (mode < 0 || mode > 34) contradiction(m_atom, "MAC mode " + std::to_string(mode) + " is not in 0-34");
  m_atom->get_mac_info().mode = mode;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::signedness(bool x, bool y) {
  m_atom->get_mac_info().signed_x = x;
  m_atom->get_mac_info().signed_y = y;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::widths(int x, int y, int result) {
  if (x < 1 || y < 1 || result < 1) contradiction(m_atom, "MAC widths must be positive");
  VOK_MAC_INFO& mac = m_atom->get_mac_info();
  if (result < mac.width_result) contradiction(m_atom, "MAC result width cannot shrink");
  for (int i = mac.width_result; i < result; ++i) m_atom->add_output_term(DB_OUTPUT_PORT_DATA, i);
  mac.width_x = x;
  mac.width_y = y;
  mac.width_result = result;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::clk(SIG s, int bank) {
  if (bank < 0 || bank > 3) contradiction(m_atom, "MAC register bank must be 0-3");
  connect(DB_INPUT_PORT_CLK, bank, s, "clock");
  if (bank < 3) m_atom->get_mac_info().clocks[bank] = bank + 1;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::ena(SIG s, int bank) {
  if (bank < 0 || bank > 3) contradiction(m_atom, "MAC register bank must be 0-3");
  connect(DB_INPUT_PORT_ENA, bank, s, "clock enable");
  if (bank < 3) m_atom->get_mac_info().enables[bank] = bank + 1;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::outputs(DB_OUTPUT_PORT_TYPE port, int width) {
  for (int i = 0; i < width; ++i)
    if (m_atom->get_output_term_by_type(port, i) == nullptr) m_atom->add_output_term(port, i);
  m_atom->get_mac_info().output_widths[port] = width;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::stage_clock(DB_INPUT_PORT_TYPE port, int stage, int clock) {
  m_atom->get_mac_info().stage_clocks[{port, stage}] = clock;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::stage_enable(DB_INPUT_PORT_TYPE port, int stage, int enable) {
  m_atom->get_mac_info().stage_enables[{port, stage}] = enable;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::output_clock(DB_OUTPUT_PORT_TYPE port, int clock) {
  m_atom->get_mac_info().output_clocks[port] = clock;
  return *this;
}

MAC_BUILDER& MAC_BUILDER::data(DB_INPUT_PORT_TYPE port, const std::vector<SIG>& bits, bool is_signed,
                               int natural_width) {
  for (std::size_t i = 0; i < bits.size(); ++i)
    if (bits[i].oterm != nullptr) connect(port, static_cast<int>(i), bits[i], "data");
  VOK_MAC_INFO& mac = m_atom->get_mac_info();
  mac.input_widths[port] = static_cast<int>(bits.size());
  mac.input_signed[port] = is_signed;
  mac.input_natural_widths[port] = natural_width;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::port_clock(DB_INPUT_PORT_TYPE port, int clock) {
  m_atom->get_mac_info().input_clocks[port] = clock;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::port_enable(DB_INPUT_PORT_TYPE port, int enable) {
  m_atom->get_mac_info().input_enables[port] = enable;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::clk_param_type(int type) {
  m_atom->get_mac_info().clk_param_type = type;
  return *this;
}
MAC_BUILDER& MAC_BUILDER::bool_param(int id, bool value) {
  m_atom->set_parameter(VOK_PARAMETER_TYPE::BOOL, id, value ? 1 : 0);
  return *this;
}
MAC_BUILDER& MAC_BUILDER::enum_param(int id, int value) {
  m_atom->set_parameter(VOK_PARAMETER_TYPE::ENUM, id, value);
  return *this;
}
MAC_BUILDER& MAC_BUILDER::feeds(VOK_ATOM_NODE* next, DB_OUTPUT_PORT_TYPE out, DB_INPUT_PORT_TYPE in, int width) {
  if (next == nullptr || next->get_parent_netlist() != m_atom->get_parent_netlist())
    contradiction(m_atom, "a chain link needs a MAC of the same netlist");
  for (int i = 0; i < width; ++i) {
    VOK_ATOM_OTERM* o = m_atom->get_output_term_by_type(out, i);
    if (o == nullptr) o = m_atom->add_output_term(out, i);
    VOK_ATOM_ITERM* t = next->get_input_term_by_type(in, i);
    if (t == nullptr) t = next->add_input_term(in, i);
    if (t->is_connected()) contradiction(next, "chain input connected twice");
    vok_connect(o, t);
  }
  return *this;
}

PLL_BUILDER& PLL_BUILDER::ref(SIG s) {
  connect(DB_INPUT_PORT_PLL_REFCLK, 0, s, "reference clock");
  return *this;
}
PLL_BUILDER& PLL_BUILDER::fb(SIG s) {
  connect(DB_INPUT_PORT_PLL_FBCLK, 0, s, "feedback clock");
  return *this;
}
PLL_BUILDER& PLL_BUILDER::compensation(int mode) {
  m_atom->set_parameter(VOK_PARAMETER_TYPE::ENUM, YOS_ENUM_PLL_COMPENSATION_MODE, mode);
  return *this;
}
PLL_BUILDER& PLL_BUILDER::outputs(int n) {
  const int have = static_cast<int>(m_atom->get_oterm_slot_count());
  if (n < have) contradiction(m_atom, "a PLL's outputs cannot shrink");
  for (int i = have; i < n; ++i) m_atom->add_output_term(DB_OUTPUT_PORT_DATA, i);
  return *this;
}

GENERIC_BUILDER CHAIN_HANDLE::cell(int i) const {
  if (i < 0 || i >= size()) throw NETLIST_BUILD_ERROR("carry chain has no cell " + std::to_string(i));
  return GENERIC_BUILDER(m_cells[static_cast<std::size_t>(i)]);
}

// ---------------------------------------------------------------- black boxes

BOX_BUILDER& BOX_BUILDER::in(const std::string& port, SIG s) {
  for (int i = 0; i < box()->get_port_count(); ++i) {
    if (box()->get_port_by_index(i) != port) continue;
    VOK_ATOM_ITERM* t = box()->get_input_term_by_type(DB_INPUT_PORT_BOX, i);
    if (t == nullptr) contradiction(m_atom, "port '" + port + "' is an output port");
    connect(DB_INPUT_PORT_BOX, i, s, ("port '" + port + "'").c_str());
    return *this;
  }
  contradiction(m_atom, "has no port '" + port + "'");
}

SIG BOX_BUILDER::out(const std::string& port) const {
  for (int i = 0; i < box()->get_port_count(); ++i) {
    if (box()->get_port_by_index(i) != port) continue;
    VOK_ATOM_OTERM* o = box()->get_output_term_by_type(DB_OUTPUT_PORT_DATA, i);
    if (o == nullptr) contradiction(m_atom, "port '" + port + "' is an input port");
    return SIG(o);
  }
  contradiction(m_atom, "has no port '" + port + "'");
}

// ---------------------------------------------------------------- NETLIST_BUILDER

NETLIST_BUILDER::NETLIST_BUILDER(VOK_ATOM_NETLIST* netlist) : NETLIST_BUILDER(netlist, nullptr, std::string()) {
  if (netlist != nullptr && netlist->get_parent_box() != nullptr) {
    m_box = netlist->get_parent_box();
    m_prefix = m_box->get_string_hpath() + "|";
  }
}

NETLIST_BUILDER::NETLIST_BUILDER(VOK_ATOM_NETLIST* netlist, VOK_ATOM_BLACKBOX* box, std::string prefix)
    : m_netlist(netlist), m_box(box), m_prefix(std::move(prefix)) {
  if (netlist == nullptr) throw NETLIST_BUILD_ERROR("no netlist to build into");
  for (const VOK_ATOM_NODE* a : netlist->get_atom_list()) m_names.insert(a->get_string_hpath());
}

VOK_ATOM_NODE* NETLIST_BUILDER::find(const std::string& name) const {
  const std::string path = m_prefix + name;
  for (VOK_ATOM_NODE* a : m_netlist->get_atom_list())
    if (a->get_string_hpath() == path) return a;
  return nullptr;
}

VOK_ATOM_NODE* NETLIST_BUILDER::make(VOK_ATOM_KIND kind, const std::string& name) {
  const std::string path = m_prefix + name;
  if (name.empty()) throw NETLIST_BUILD_ERROR("an atom needs a name");
  if (!m_names.insert(path).second) throw NETLIST_BUILD_ERROR("duplicate atom name '" + path + "'");
  VOK_ATOM_NODE* atom = VOK_ATOM_FACTORY::create_node(kind);
  atom->set_name(path);
  m_netlist->add_node(atom);
  return atom;
}

SIG NETLIST_BUILDER::input_port(const std::string& name) {
  VOK_ATOM_NODE* a = make(VOK_ATOM_KIND::INPUT_PORT, name);
  return SIG(a->add_output_term(DB_OUTPUT_PORT_DATA, 0));
}

GENERIC_BUILDER NETLIST_BUILDER::output_port(const std::string& name, SIG s) {
  GENERIC_BUILDER port(make(VOK_ATOM_KIND::OUTPUT_PORT, name));
  port.input(DB_INPUT_PORT_BOX, 0, s);
  return port;
}

GENERIC_BUILDER NETLIST_BUILDER::io_in(const std::string& name, const std::string& ibuf_name) {
  VOK_ATOM_NODE* pad = make(VOK_ATOM_KIND::PAD, name);
  pad->add_output_term(DB_OUTPUT_PORT_DATA, 0);
  pad->add_output_term(DB_OUTPUT_PORT_PAD_IO, 0);
  GENERIC_BUILDER ibuf(make(VOK_ATOM_KIND::IBUF, ibuf_name.empty() ? name + "~ibuf" : ibuf_name));
  ibuf->add_output_term(DB_OUTPUT_PORT_DATA, 0);
  ibuf.input(DB_INPUT_PORT_BOX, 0, SIG(pad));
  return ibuf;
}

GENERIC_BUILDER NETLIST_BUILDER::io_out(const std::string& name, SIG s, const std::string& obuf_name) {
  GENERIC_BUILDER obuf(make(VOK_ATOM_KIND::OBUF, obuf_name.empty() ? name + "~obuf" : obuf_name));
  obuf->add_output_term(DB_OUTPUT_PORT_DATA, 0);
  obuf.input(DB_INPUT_PORT_BOX, 0, s);
  GENERIC_BUILDER pad(make(VOK_ATOM_KIND::PAD, name));
  pad->add_output_term(DB_OUTPUT_PORT_PAD_IO, 0);
  pad.input(DB_INPUT_PORT_BOX, 0, obuf.out());
  return pad;
}

REG_BUILDER NETLIST_BUILDER::make_reg(VOK_ATOM_KIND kind, const std::string& name) {
  VOK_ATOM_NODE* a = make(kind, name);
  a->add_output_term(DB_OUTPUT_PORT_REG, 0);
  return REG_BUILDER(a);
}

REG_BUILDER NETLIST_BUILDER::reg(const std::string& name) { return make_reg(VOK_ATOM_KIND::CORE_REGISTER, name); }
REG_BUILDER NETLIST_BUILDER::zota_reg(const std::string& name) {
  return make_reg(VOK_ATOM_KIND::PIPELINE_REGISTER, name);
}

REG_BUILDER NETLIST_BUILDER::io_reg(const std::string& name, int register_kind) {
  if (register_kind < 396 || register_kind > 398)
    throw NETLIST_BUILD_ERROR("I/O register '" + name + "': register kind must be 396-398");
  REG_BUILDER r = make_reg(VOK_ATOM_KIND::IO_REGISTER, name);
  r->set_register_kind(register_kind);
  return r;
}

GENERIC_BUILDER NETLIST_BUILDER::lut(const std::string& name, std::initializer_list<SIG> inputs, std::uint64_t mask) {
  return lut(name, std::vector<SIG>(inputs), mask);
}

GENERIC_BUILDER NETLIST_BUILDER::lut(const std::string& name, const std::vector<SIG>& inputs, std::uint64_t mask) {
  const int n = static_cast<int>(inputs.size());
  if (n > 6) throw NETLIST_BUILD_ERROR("LUT '" + name + "': at most 6 inputs");
  if (n < 6 && (mask >> (1u << n)) != 0)
    throw NETLIST_BUILD_ERROR("LUT '" + name + "': mask has bits beyond the " + std::to_string(1 << n) +
                              " of a " + std::to_string(n) + "-input LUT");
  GENERIC_BUILDER l(make(VOK_ATOM_KIND::COMB_CELL, name));
  l->add_output_term(DB_OUTPUT_PORT_COMB, 0);
  for (int i = 0; i < n; ++i)
    l.input(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + i), 0, inputs[static_cast<std::size_t>(i)]);
  l->get_lutmask().set_value(n, mask);
  return l;
}

GENERIC_BUILDER NETLIST_BUILDER::lut_from(const std::string& name, const std::vector<SIG>& inputs,
                                          const std::function<bool(const LUT_INPUTS&)>& fn) {
  const int n = static_cast<int>(inputs.size());
  if (n > 6) throw NETLIST_BUILD_ERROR("LUT '" + name + "': at most 6 inputs");
  // Bit j holds the value for the natural inputs ~j.
  const unsigned all = (1u << n) - 1u;
  std::uint64_t mask = 0;
  for (unsigned j = 0; j <= all; ++j)
    if (fn(LUT_INPUTS{~j & all, n})) mask |= std::uint64_t{1} << j;
  return lut(name, inputs, mask);
}

CHAIN_HANDLE NETLIST_BUILDER::carry_chain(const std::string& name, int n) {
  if (n < 1) throw NETLIST_BUILD_ERROR("carry chain '" + name + "' needs at least one cell");
  std::vector<VOK_ATOM_NODE*> cells;
  for (int k = 0; k < n; ++k) {
    VOK_ATOM_NODE* cell = make(VOK_ATOM_KIND::ARITH_CELL, name + "[" + std::to_string(k) + "]");
    cell->add_output_term(DB_OUTPUT_PORT_SUM, 0);
    cell->add_output_term(DB_OUTPUT_PORT_CARRY_OUT, 0);
    VOK_ATOM_ITERM* cin = cell->add_input_term(DB_INPUT_PORT_CARRY_IN, 0);
    if (k > 0) vok_connect(cells.back()->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0), cin);
    cells.push_back(cell);
  }
  return CHAIN_HANDLE(std::move(cells));
}

LUTRAM_BUILDER NETLIST_BUILDER::lutram(const std::string& name) {
  VOK_ATOM_NODE* a = make(VOK_ATOM_KIND::LUTRAM, name);
  a->add_output_term(DB_OUTPUT_PORT_DATA, 0);
  return LUTRAM_BUILDER(a);
}

GENERIC_BUILDER NETLIST_BUILDER::ram(const std::string& name) { return atom(VOK_ATOM_KIND::RAM, name); }

MAC_BUILDER NETLIST_BUILDER::make_mac(VOK_ATOM_KIND kind, const std::string& name) {
  VOK_ATOM_NODE* a = make(kind, name);
  a->add_output_term(DB_OUTPUT_PORT_DATA, 0);
  VOK_MAC_INFO& mac = a->get_mac_info();
  mac.width_x = mac.width_y = mac.width_result = 1;
  // Every MAC says whether its Y signedness comes from a parameter (no).
  a->set_parameter(VOK_PARAMETER_TYPE::BOOL, 489, 0);
  return MAC_BUILDER(a);
}

MAC_BUILDER NETLIST_BUILDER::mac(const std::string& name) { return make_mac(VOK_ATOM_KIND::MAC, name); }
MAC_BUILDER NETLIST_BUILDER::fp_mac(const std::string& name) { return make_mac(VOK_ATOM_KIND::FP_MAC, name); }

PLL_BUILDER NETLIST_BUILDER::make_pll(VOK_ATOM_KIND kind, const std::string& name) {
  VOK_ATOM_NODE* a = make(kind, name);
  a->add_output_term(DB_OUTPUT_PORT_DATA, 0);
  return PLL_BUILDER(a);
}

PLL_BUILDER NETLIST_BUILDER::iopll(const std::string& name) { return make_pll(VOK_ATOM_KIND::IOPLL, name); }
PLL_BUILDER NETLIST_BUILDER::cmu_fpll(const std::string& name) { return make_pll(VOK_ATOM_KIND::CMU_FPLL, name); }

GENERIC_BUILDER NETLIST_BUILDER::atom(VOK_ATOM_KIND kind, const std::string& name) {
  if (kind == VOK_ATOM_KIND::BLACKBOX) throw NETLIST_BUILD_ERROR("'" + name + "': make black boxes with blackbox()");
  VOK_ATOM_NODE* a = make(kind, name);
  a->add_output_term(DB_OUTPUT_PORT_DATA, 0);
  return GENERIC_BUILDER(a);
}

BOX_BUILDER NETLIST_BUILDER::blackbox(const std::string& name) {
  return BOX_BUILDER(make(VOK_ATOM_KIND::BLACKBOX, name));
}

BOX_BUILDER NETLIST_BUILDER::blackbox(const std::string& name, const std::function<void(NETLIST_BUILDER&)>& body) {
  BOX_BUILDER b = blackbox(name);
  auto* child = new VOK_ATOM_NETLIST();
  b.box()->set_child_netlist(child, true);
  NETLIST_BUILDER inner(child, b.box(), m_prefix + name + "|");
  if (body) body(inner);
  return b;
}

SIG NETLIST_BUILDER::input(const std::string& port) {
  if (m_box == nullptr) throw NETLIST_BUILD_ERROR("input('" + port + "') outside a black box; use input_port()");
  VOK_ATOM_NODE* p = make(VOK_ATOM_KIND::INPUT_PORT, port);
  VOK_ATOM_OTERM* o = p->add_output_term(DB_OUTPUT_PORT_DATA, 0);
  m_box->add_input_port(port, p);
  return SIG(o);
}

GENERIC_BUILDER NETLIST_BUILDER::output(const std::string& port, SIG s) {
  if (m_box == nullptr) throw NETLIST_BUILD_ERROR("output('" + port + "') outside a black box; use output_port()");
  GENERIC_BUILDER p(make(VOK_ATOM_KIND::OUTPUT_PORT, port));
  p.input(DB_INPUT_PORT_BOX, 0, s);
  m_box->add_output_port(port, p);
  return p;
}

NETLIST_BUILDER netlist() { return NETLIST_BUILDER(host::vok::top_netlist()); }

}  // namespace host::testing
