#pragma once
// Builders of atom netlists for tests, benchmarks and velmo-fit:
//
//   auto n   = host::testing::netlist();             // the design's top netlist
//   auto clk = n.input_port("clk");
//   auto a   = n.reg("a").clk(clk).d(n.input_port("in"));
//   auto l   = n.lut("l", {a, n.reg("b").clk(clk)}, [](auto x) { return x[0] ^ x[1]; });
//   auto q   = n.reg("q").clk(clk).d(l).ce(n.input_port("en"));
//   auto p   = n.zota_reg("p").clk(clk).d(q);
//   auto add = n.carry_chain("add", 8);
//   n.lutram("m").data_in(p).clk(clk); n.mac("m0").mode(2).clk(clk); n.iopll("pll0");
//   n.io_out("out", q);
//   auto box = n.blackbox("u_sub", [](auto& c) { c.output("o", c.reg("r").clk(c.input("c"))); });
//   box.in("c", clk);  n.reg("after").clk(clk).d(box.out("o"));
//
// Builders never fail silently: a contradiction (an input connected twice, a
// signal from another netlist, a duplicate name, a mask wider than the LUT,
// ...) throws NETLIST_BUILD_ERROR with a message naming the atom.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "tibex/tibex_location_constraint.h"
#include "vok/vok_atom_netlist.h"

class WEXAN_HOV_UTILITY;

namespace host::testing {

class NETLIST_BUILD_ERROR : public std::logic_error {
public:
  using std::logic_error::logic_error;
};

class ATOM_HANDLE;

// A signal: an output term. Made from an output term, an atom (its primary
// output, slot 0) or any handle.
struct SIG {
  VOK_ATOM_OTERM* oterm = nullptr;
  SIG() = default;
  SIG(VOK_ATOM_OTERM* o) : oterm(o) {}
  SIG(VOK_ATOM_NODE* atom);
  SIG(const ATOM_HANDLE& handle);
};

// The natural inputs of a LUT function: x[i] is input i.
struct LUT_INPUTS {
  unsigned bits = 0;
  int n = 0;
  bool operator[](int i) const { return ((bits >> i) & 1u) != 0; }
};

// An atom made by a builder.
class ATOM_HANDLE {
public:
  explicit ATOM_HANDLE(VOK_ATOM_NODE* atom) : m_atom(atom) {}
  VOK_ATOM_NODE* atom() const { return m_atom; }
  operator VOK_ATOM_NODE*() const { return m_atom; }
  VOK_ATOM_NODE* operator->() const { return m_atom; }
  int id() const { return m_atom->get_id(); }
  // The primary output, or the output of the given type and index.
  SIG out() const;
  SIG out(DB_OUTPUT_PORT_TYPE type, int index = 0) const;
  // The input of the given type and index (null when absent).
  VOK_ATOM_ITERM* iterm(DB_INPUT_PORT_TYPE type, int index = 0) const;

protected:
  // Connects input (type, index), creating it when absent.
  void connect(DB_INPUT_PORT_TYPE type, int index, SIG sig, const char* role) const;
  void tie_input(DB_INPUT_PORT_TYPE type, int index, bool low, const char* role) const;
  void add_locked_constraint(const TIBEX_LOCKED_CONSTRAINT& c, unsigned sources) const;
  void add_floating_constraint(int tarnbay_id, unsigned sources) const;
  VOK_ATOM_NODE* m_atom;
};

// Chainable setters; each returns the handle itself.
template <class SELF> class ATOM_BUILDER : public ATOM_HANDLE {
public:
  using ATOM_HANDLE::ATOM_HANDLE;
  SELF& input(DB_INPUT_PORT_TYPE type, int index, SIG sig) {
    connect(type, index, sig, "input");
    return self();
  }
  SELF& tie(DB_INPUT_PORT_TYPE type, int index, bool low) {
    tie_input(type, index, low, "input");
    return self();
  }
  // Places the atom: a location gid and the site's element kind.
  SELF& placed(std::uint32_t gid, int element) {
    m_atom->set_location(gid, element);
    return self();
  }
  SELF& analytic(float x, float y) {
    m_atom->set_analytic_xy(x, y);
    return self();
  }
  // Location constraints (asserted by the user, design and I/O packing
  // unless `sources` says otherwise).
  SELF& locked(int x, int y, int sub, unsigned sources = host::constraints::SOURCE_DEFAULT) {
    add_locked_constraint(TIBEX_LOCKED_CONSTRAINT::exact(x, y, sub), sources);
    return self();
  }
  SELF& locked_box(int xmin, int ymin, int xmax, int ymax, unsigned sources = host::constraints::SOURCE_DEFAULT) {
    add_locked_constraint(TIBEX_LOCKED_CONSTRAINT::box(xmin, ymin, xmax, ymax), sources);
    return self();
  }
  // Floats in a Tarnbay region (see region()).
  SELF& floating(int tarnbay_id, unsigned sources = host::constraints::SOURCE_DEFAULT) {
    add_floating_constraint(tarnbay_id, sources);
    return self();
  }

protected:
  SELF& self() { return static_cast<SELF&>(*this); }
};

class REG_BUILDER : public ATOM_BUILDER<REG_BUILDER> {
public:
  using ATOM_BUILDER::ATOM_BUILDER;
  REG_BUILDER& clk(SIG s);
  REG_BUILDER& d(SIG s);
  REG_BUILDER& ce(SIG s);
  REG_BUILDER& sclr(SIG s);
  REG_BUILDER& aclr(SIG s);
  REG_BUILDER& powers_up(bool high);
};

class LUTRAM_BUILDER : public ATOM_BUILDER<LUTRAM_BUILDER> {
public:
  using ATOM_BUILDER::ATOM_BUILDER;
  LUTRAM_BUILDER& data_in(SIG s);  // port A data input
  LUTRAM_BUILDER& clk(SIG s);
  LUTRAM_BUILDER& we(SIG s);
  LUTRAM_BUILDER& addr(int i, SIG s);
};

class MAC_BUILDER : public ATOM_BUILDER<MAC_BUILDER> {
public:
  using ATOM_BUILDER::ATOM_BUILDER;
  MAC_BUILDER& mode(int mode);  // 0-34
  MAC_BUILDER& signedness(bool x, bool y);
  // Operand and result widths; the result width is the number of data outputs.
  MAC_BUILDER& widths(int x, int y, int result);
  // Clock / enable input `bank` (0-3): clock k and enable k are bit k-1 of
  // the clock and enable inputs.
  MAC_BUILDER& clk(SIG s, int bank = 0);
  MAC_BUILDER& ena(SIG s, int bank = 0);
  // Output port `port` with bits 0..width-1 (its width recorded).
  MAC_BUILDER& outputs(DB_OUTPUT_PORT_TYPE port, int width);
  // Clock / enable of an input port's pipeline register at stage >= 1, and
  // the clock of an output port's register.
  MAC_BUILDER& stage_clock(DB_INPUT_PORT_TYPE port, int stage, int clock);
  MAC_BUILDER& stage_enable(DB_INPUT_PORT_TYPE port, int stage, int enable);
  MAC_BUILDER& output_clock(DB_OUTPUT_PORT_TYPE port, int clock);
  // A data port: bit i driven by bits[i] (a null signal leaves the bit
  // without a term); records the port's width (bits.size()), signedness and
  // natural width.
  MAC_BUILDER& data(DB_INPUT_PORT_TYPE port, const std::vector<SIG>& bits, bool is_signed, int natural_width);
  // Clock / clock enable of a port's register (0 = none) and the MAC's
  // clock parameter type (0: clocks, otherwise enables).
  MAC_BUILDER& port_clock(DB_INPUT_PORT_TYPE port, int clock);
  MAC_BUILDER& port_enable(DB_INPUT_PORT_TYPE port, int enable);
  MAC_BUILDER& clk_param_type(int type);
  // Configurable parameters.
  MAC_BUILDER& bool_param(int id, bool value);
  MAC_BUILDER& enum_param(int id, int value);
  // Connects bits 0..width-1 of this MAC's output `out` to the same bits of
  // `next`'s input `in` (chain and scan-chain links).
  MAC_BUILDER& feeds(VOK_ATOM_NODE* next, DB_OUTPUT_PORT_TYPE out, DB_INPUT_PORT_TYPE in, int width = 1);
};

class PLL_BUILDER : public ATOM_BUILDER<PLL_BUILDER> {
public:
  using ATOM_BUILDER::ATOM_BUILDER;
  PLL_BUILDER& ref(SIG s);
  // Number of output clocks (data outputs 0..n-1, the C counters); one by
  // default.
  PLL_BUILDER& outputs(int n);
  // The feedback clock input and the compensation mode (enum parameter
  // YOS_ENUM_PLL_COMPENSATION_MODE; 0 direct, others compensate).
  PLL_BUILDER& fb(SIG s);
  PLL_BUILDER& compensation(int mode);
};

class GENERIC_BUILDER : public ATOM_BUILDER<GENERIC_BUILDER> {
public:
  using ATOM_BUILDER::ATOM_BUILDER;
};

// The cells of a carry chain, head first.
class CHAIN_HANDLE {
public:
  explicit CHAIN_HANDLE(std::vector<VOK_ATOM_NODE*> cells) : m_cells(std::move(cells)) {}
  int size() const { return static_cast<int>(m_cells.size()); }
  GENERIC_BUILDER cell(int i) const;
  GENERIC_BUILDER head() const { return cell(0); }
  const std::vector<VOK_ATOM_NODE*>& cells() const { return m_cells; }

private:
  std::vector<VOK_ATOM_NODE*> m_cells;
};

class BOX_BUILDER : public ATOM_BUILDER<BOX_BUILDER> {
public:
  using ATOM_BUILDER::ATOM_BUILDER;
  VOK_ATOM_BLACKBOX* box() const { return static_cast<VOK_ATOM_BLACKBOX*>(m_atom); }
  VOK_ATOM_NETLIST* child() const { return box()->get_child_netlist(); }
  // Drives the box's input port `port` from a signal of the box's netlist.
  BOX_BUILDER& in(const std::string& port, SIG s);
  // The box's output port `port`, as a signal of the box's netlist.
  SIG out(const std::string& port) const;
  using ATOM_HANDLE::out;
};

class NETLIST_BUILDER {
public:
  explicit NETLIST_BUILDER(VOK_ATOM_NETLIST* netlist);

  VOK_ATOM_NETLIST* get_netlist() const { return m_netlist; }
  // The atom of that name in this netlist, or null.
  VOK_ATOM_NODE* find(const std::string& name) const;

  // ---- design I/O of the top netlist: port atoms.
  SIG input_port(const std::string& name);
  GENERIC_BUILDER output_port(const std::string& name, SIG s);
  // ---- I/O pads: pad -> input buffer (returns the buffer) and output
  // buffer -> pad (returns the pad).
  // The buffer is named name + "~ibuf" / "~obuf" unless a name is given.
  GENERIC_BUILDER io_in(const std::string& name, const std::string& ibuf_name = "");
  GENERIC_BUILDER io_out(const std::string& name, SIG s, const std::string& obuf_name = "");

  // ---- registers
  REG_BUILDER reg(const std::string& name);
  REG_BUILDER zota_reg(const std::string& name);  // a pipeline register (ZOTA-marked)
  REG_BUILDER io_reg(const std::string& name, int register_kind = 396);

  // ---- LUTs (combinational cells): input i is port type 12 + i. The mask
  // is raw; the function form is over the natural inputs.
  GENERIC_BUILDER lut(const std::string& name, std::initializer_list<SIG> inputs, std::uint64_t mask);
  template <class F>
    requires std::is_invocable_r_v<bool, F, const LUT_INPUTS&>
  GENERIC_BUILDER lut(const std::string& name, std::initializer_list<SIG> inputs, F fn) {
    return lut_from(name, std::vector<SIG>(inputs), std::function<bool(const LUT_INPUTS&)>(fn));
  }
  GENERIC_BUILDER lut(const std::string& name, const std::vector<SIG>& inputs, std::uint64_t mask);
  template <class F>
    requires std::is_invocable_r_v<bool, F, const LUT_INPUTS&>
  GENERIC_BUILDER lut(const std::string& name, const std::vector<SIG>& inputs, F fn) {
    return lut_from(name, inputs, std::function<bool(const LUT_INPUTS&)>(fn));
  }

  // ---- carry chain of n arithmetic cells: cell k's carry-in (input 2) is
  // cell k-1's carry-out (output 0); each cell's primary output is its sum.
  CHAIN_HANDLE carry_chain(const std::string& name, int n);

  // ---- memories, DSP, clocking
  LUTRAM_BUILDER lutram(const std::string& name);
  GENERIC_BUILDER ram(const std::string& name);
  MAC_BUILDER mac(const std::string& name);
  MAC_BUILDER fp_mac(const std::string& name);
  PLL_BUILDER iopll(const std::string& name);
  PLL_BUILDER cmu_fpll(const std::string& name);
  // Any other kind, with one data output.
  GENERIC_BUILDER atom(VOK_ATOM_KIND kind, const std::string& name);

  // ---- black boxes. Without a body the box has no child netlist; with one,
  // the body builds the child (possibly nothing: an empty child).
  BOX_BUILDER blackbox(const std::string& name);
  BOX_BUILDER blackbox(const std::string& name, const std::function<void(NETLIST_BUILDER&)>& body);
  // Inside a box body: a new input port of the box, as a signal of the child,
  // and a new output port of the box driven by a signal of the child.
  SIG input(const std::string& port);
  GENERIC_BUILDER output(const std::string& port, SIG s);

  // ---- timing (timing_builder.cpp): declares a clock with its period and
  // source; builds the timing netlist afresh and analyses it (a global
  // taint, then request 0 with set 5).
  NETLIST_BUILDER& clock(const std::string& name, int period_ps, SIG source);
  WEXAN_HOV_UTILITY* timing();

private:
  NETLIST_BUILDER(VOK_ATOM_NETLIST* netlist, VOK_ATOM_BLACKBOX* box, std::string prefix);
  VOK_ATOM_NODE* make(VOK_ATOM_KIND kind, const std::string& name);
  GENERIC_BUILDER lut_from(const std::string& name, const std::vector<SIG>& inputs,
                           const std::function<bool(const LUT_INPUTS&)>& fn);
  REG_BUILDER make_reg(VOK_ATOM_KIND kind, const std::string& name);
  MAC_BUILDER make_mac(VOK_ATOM_KIND kind, const std::string& name);
  PLL_BUILDER make_pll(VOK_ATOM_KIND kind, const std::string& name);

  VOK_ATOM_NETLIST* m_netlist;
  VOK_ATOM_BLACKBOX* m_box = nullptr;  // when building a box's child
  std::string m_prefix;                // hierarchical path prefix ("u_sub|")
  std::unordered_set<std::string> m_names;
};

// A builder over the design's top-level netlist.
NETLIST_BUILDER netlist();

// Adds a placement (Tarnbay) region with the given rectangles (x and y
// inclusive) under the next id, or under `id`; returns the id.
int region(const std::string& name, std::vector<TIBEX_ZARTO_REGION::RECT> rects, int id = -1);

}  // namespace host::testing
