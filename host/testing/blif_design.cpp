#include "testing/blif_design.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "dev/dev_grid.h"
#include "testing/netlist_builder.h"

namespace host::testing {

namespace {

class LOADER {
public:
  LOADER(const BLIF_DESIGN& d, std::string file) : m_d(d), m_file(std::move(file)), m_b(&m_netlist) {}

  LOADED_DESIGN load() {
    LOADED_DESIGN res;
    res.name = m_d.model;
    res.file = m_file;
    // Every name the design gives keeps its atom; the loader's own atoms
    // (buffers, output pads, register helpers) take names no design net has.
    for (const std::string& in : m_d.inputs) m_user.insert(in);
    for (const BLIF_FF& ff : m_d.ffs) m_user.insert(ff.q);
    for (const BLIF_LUT& l : m_d.luts) m_user.insert(l.output);
    for (const std::string& in : m_d.inputs) {
      m_line = 0;
      m_nets[in] = SIG(m_b.io_in(in, own_name(in + "~ibuf")));
      ++res.inputs;
    }
    // Registers first (their outputs feed LUTs), unconnected; then the LUTs
    // in an order where every LUT input is already driven; then the
    // registers' inputs and the output pins.
    std::vector<VOK_ATOM_NODE*> regs;
    for (const BLIF_FF& ff : m_d.ffs) {
      m_line = ff.line;
      REG_BUILDER r = m_b.reg(ff.q);
      m_nets[ff.q] = SIG(r);
      regs.push_back(r.atom());
      ++res.registers;
    }
    for (std::size_t i : lut_order()) {
      const BLIF_LUT& l = m_d.luts[i];
      m_line = l.line;
      std::vector<SIG> ins;
      for (const std::string& n : l.inputs) ins.push_back(net(n));
      const std::uint64_t truth = l.truth;
      m_nets[l.output] =
          SIG(m_b.lut(l.output, ins, [truth](const LUT_INPUTS& x) { return ((truth >> x.bits) & 1u) != 0; }));
      ++res.luts;
      if (l.inputs.empty()) ++res.constants;
    }
    for (std::size_t i = 0; i < m_d.ffs.size(); ++i) res.helper_luts += connect_register(m_d.ffs[i], regs[i]);
    for (const std::string& out : m_d.outputs) {
      m_line = 0;
      const std::string pad = own_name("out:" + out);
      const std::string obuf = own_name(pad + "~obuf");
      auto pin = m_b.io_out(pad, net(out), obuf);
      // The buffer's data input is used as the pin's data (usage 9): the
      // output-side delay chains act on it. (The buffer drives the pad.)
      VOK_ATOM_NODE* buffer =
          pin->get_input_term_by_type(DB_INPUT_PORT_BOX, 0)->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node();
      buffer->get_input_term_by_type(DB_INPUT_PORT_BOX, 0)->set_usage(9);
      ++res.outputs;
    }
    // An input reaches the logic it feeds through the pin's pad-to-core
    // delay chain (clock inputs excepted).
    for (const std::string& in : m_d.inputs)
      for (VOK_ATOM_ITERM* t = m_nets[in].oterm->get_first_fanout(VOK_TRAVERSE_AS_STORED); t;
           t = t->get_next_fanout(VOK_TRAVERSE_AS_STORED))
        if (t->get_port_type() != DB_INPUT_PORT_CLK) t->set_delay_chain_connection(8, 0);
    return res;
  }

  VOK_ATOM_NETLIST& netlist() { return m_netlist; }
  int line() const { return m_line; }

private:
  // `base`, or base~1, base~2, ... when the design or the loader already
  // has that name.
  std::string own_name(const std::string& base) {
    std::string name = base;
    for (int n = 1; m_user.count(name) || m_own.count(name); ++n) name = base + "~" + std::to_string(n);
    m_own.insert(name);
    return name;
  }

  SIG net(const std::string& name) const {
    auto it = m_nets.find(name);
    if (it == m_nets.end()) throw NETLIST_BUILD_ERROR("net '" + name + "' is not driven");
    return it->second;
  }

  // LUT indices such that each LUT comes after the LUTs driving its inputs;
  // otherwise in file order.
  std::vector<std::size_t> lut_order() {
    std::map<std::string, std::size_t> by_output;
    for (std::size_t i = 0; i < m_d.luts.size(); ++i) by_output[m_d.luts[i].output] = i;
    enum : char { NEW, OPEN, DONE };
    std::vector<char> state(m_d.luts.size(), NEW);
    std::vector<std::size_t> order;
    order.reserve(m_d.luts.size());
    for (std::size_t root = 0; root < m_d.luts.size(); ++root) {
      if (state[root] != NEW) continue;
      std::vector<std::pair<std::size_t, std::size_t>> stack{{root, 0}};  // (lut, next input)
      state[root] = OPEN;
      while (!stack.empty()) {
        auto& [i, k] = stack.back();
        const BLIF_LUT& l = m_d.luts[i];
        if (k == l.inputs.size()) {
          state[i] = DONE;
          order.push_back(i);
          stack.pop_back();
          continue;
        }
        auto it = by_output.find(l.inputs[k++]);
        if (it == by_output.end()) continue;
        const std::size_t j = it->second;
        if (state[j] == OPEN) {
          m_line = m_d.luts[j].line;
          throw NETLIST_BUILD_ERROR("combinational loop through net '" + m_d.luts[j].output + "'");
        }
        if (state[j] == NEW) {
          state[j] = OPEN;
          stack.emplace_back(j, 0);
        }
      }
    }
    return order;
  }

  // Connects a register as the stand-in model has it; returns the number of
  // helper LUTs made.
  int connect_register(const BLIF_FF& ff, VOK_ATOM_NODE* atom) {
    m_line = ff.line;
    REG_BUILDER r(atom);
    r.clk(net(ff.clock));
    if (ff.clock_falling) r.iterm(DB_INPUT_PORT_CLK)->set_inverted(true);
    if (ff.init == 1) r.powers_up(true);
    const bool has_enable = !ff.enable.empty();
    const bool has_reset = !ff.reset.empty();
    if (has_reset && ff.reset_needs_enable) {
      // The reset acts only while the enable does: it goes in front of D
      // (reset ? value : D) and the enable stays the register's own.
      const bool r_low = ff.reset_active_low, one = ff.reset_value == 1;
      r.d(m_b.lut(own_name(ff.q + "~d"), std::vector<SIG>{net(ff.d), net(ff.reset)},
                  [r_low, one](const LUT_INPUTS& x) { return (x[1] != r_low) ? one : x[0]; }));
      r.ce(net(ff.enable));
      if (ff.enable_active_low) r.iterm(DB_INPUT_PORT_ENA)->set_inverted(true);
      return 1;
    }
    if (has_reset && ff.reset_value == 1) {
      // No synchronous set in the model: reset ? 1 : D in front of D, and the
      // reset also enables the register.
      const bool r_low = ff.reset_active_low;
      r.d(m_b.lut(own_name(ff.q + "~d"), std::vector<SIG>{net(ff.d), net(ff.reset)},
                  [r_low](const LUT_INPUTS& x) { return (x[1] != r_low) || x[0]; }));
      if (!has_enable) return 1;
      const bool e_low = ff.enable_active_low;
      r.ce(m_b.lut(own_name(ff.q + "~ce"), std::vector<SIG>{net(ff.enable), net(ff.reset)},
                   [r_low, e_low](const LUT_INPUTS& x) { return (x[1] != r_low) || (x[0] != e_low); }));
      return 2;
    }
    r.d(net(ff.d));
    if (has_enable) {
      r.ce(net(ff.enable));
      if (ff.enable_active_low) r.iterm(DB_INPUT_PORT_ENA)->set_inverted(true);
    }
    if (has_reset) {
      r.sclr(net(ff.reset));
      if (ff.reset_active_low) r.iterm(DB_INPUT_PORT_SCLR)->set_inverted(true);
    }
    return 0;
  }

  const BLIF_DESIGN& m_d;
  std::string m_file;
  VOK_ATOM_NETLIST m_netlist;
  NETLIST_BUILDER m_b;
  std::map<std::string, SIG> m_nets;
  std::set<std::string> m_user;  // names the design gives
  std::set<std::string> m_own;   // names the loader gave its own atoms
  int m_line = 0;
};

}  // namespace

LOADED_DESIGN load_blif_design(const BLIF_DESIGN& design, const std::string& file) {
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  if (!top->empty()) throw DESIGN_LOAD_ERROR(file + ":0: a design is already loaded");
  const int first_id = VOK_ATOM_NODE::s_next_id;
  auto loader = std::make_unique<LOADER>(design, file);
  LOADED_DESIGN res;
  try {
    res = loader->load();
    res.warnings = design.warnings;
  } catch (const NETLIST_BUILD_ERROR& e) {
    const int line = loader->line();
    loader.reset();  // deletes every atom made so far
    VOK_ATOM_NODE::s_next_id = first_id;
    throw DESIGN_LOAD_ERROR(file + ":" + std::to_string(line) + ": " + e.what());
  }
  // Everything built: move the atoms, in id order, into the design.
  VOK_ATOM_NETLIST& built = loader->netlist();
  std::vector<VOK_ATOM_NODE*> atoms(built.get_atom_list().begin(), built.get_atom_list().end());
  std::sort(atoms.begin(), atoms.end(), [](auto* a, auto* b) { return a->get_id() < b->get_id(); });
  for (VOK_ATOM_NODE* a : atoms) {
    built.detach(a);
    top->add_node(a);
  }
  return res;
}

LOADED_DESIGN load_blif_file(const std::string& path) {
  BLIF_DESIGN d;
  try {
    d = read_blif_file(path);
  } catch (const BLIF_ERROR& e) {
    throw DESIGN_LOAD_ERROR(e.what());
  }
  return load_blif_design(d, path);
}

namespace {
LOADED_DESIGN load_swept(const std::function<BLIF_DESIGN()>& read, const std::string& file,
                         const std::vector<std::string>& kept_nets) {
  BLIF_DESIGN d;
  SWEEP_RESULT removed;
  try {
    d = read();
    removed = sweep_dead_logic(d, file, kept_nets);
  } catch (const BLIF_ERROR& e) {
    throw DESIGN_LOAD_ERROR(e.what());
  }
  LOADED_DESIGN loaded = load_blif_design(d, file);
  loaded.removed = removed;
  return loaded;
}
}  // namespace

LOADED_DESIGN load_swept_blif_file(const std::string& path, const std::vector<std::string>& kept_nets) {
  return load_swept([&] { return read_blif_file(path, true); }, path, kept_nets);
}

LOADED_DESIGN load_swept_blif_text(const std::string& text, const std::string& file,
                                   const std::vector<std::string>& kept_nets) {
  return load_swept(
      [&] {
        std::istringstream in(text);
        return read_blif(in, file, true);
      },
      file, kept_nets);
}

LOADED_DESIGN load_blif_text(const std::string& text, const std::string& file) {
  std::istringstream in(text);
  BLIF_DESIGN d;
  try {
    d = read_blif(in, file);
  } catch (const BLIF_ERROR& e) {
    throw DESIGN_LOAD_ERROR(e.what());
  }
  return load_blif_design(d, file);
}

namespace {
void count_into(const VOK_ATOM_NETLIST& n, RESOURCE_COUNTS& c) {
  for (const VOK_ATOM_NODE* a : n.get_atom_list()) {
    switch (a->get_kind()) {
      case VOK_ATOM_KIND::COMB_CELL:
      case VOK_ATOM_KIND::ARITH_CELL:
      case VOK_ATOM_KIND::LOGIC_MODULE:
      case VOK_ATOM_KIND::LUTRAM: ++c.luts; break;
      case VOK_ATOM_KIND::CORE_REGISTER:
      case VOK_ATOM_KIND::PIPELINE_REGISTER: ++c.registers; break;
      case VOK_ATOM_KIND::PAD: ++c.pins; break;
      case VOK_ATOM_KIND::MAC:
      case VOK_ATOM_KIND::FP_MAC: ++c.dsps; break;
      case VOK_ATOM_KIND::RAM: ++c.rams; break;
      case VOK_ATOM_KIND::IOPLL:
      case VOK_ATOM_KIND::CMU_FPLL: ++c.plls; break;
      case VOK_ATOM_KIND::BLACKBOX:
        if (const VOK_ATOM_NETLIST* child = static_cast<const VOK_ATOM_BLACKBOX*>(a)->get_child_netlist())
          count_into(*child, c);
        break;
      default: break;
    }
  }
}
}  // namespace

RESOURCE_COUNTS count_resources(const VOK_ATOM_NETLIST& netlist) {
  RESOURCE_COUNTS c;
  count_into(netlist, c);
  return c;
}

// Grid k of the sizing series, with DSP and RAM columns as the device
// builder's scale lays them out.
DeviceSpec sizing_series_spec(int k, int family, const SIZING& sizing) {
  DeviceSpec spec;
  spec.family = family;
  spec.routing_tracks = sizing.routing_tracks;
  spec.pins_per_pad_tile = sizing.pins_per_pad_tile;
  spec.nx = 12 + k;
  spec.ny = 10 + k;
  spec.dsp_columns.clear();
  spec.ram_columns.clear();
  for (int x = 4; x < spec.nx - 1; x += 12) {
    spec.dsp_columns.push_back(x);
    if (x + 4 < spec.nx - 1) spec.dsp_columns.push_back(x + 4);
    if (x + 2 < spec.nx - 1) spec.ram_columns.push_back(x + 2);
  }
  return spec;
}

GRID_CAPACITY grid_capacity(const DeviceSpec& spec) {
  // The tile rules of DEV_GRID, counted without building the grid.
  const int nx = std::max(spec.nx, 3), ny = std::max(spec.ny, 3);
  auto listed = [](const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); };
  int dsp_cols = 0, ram_cols = 0;
  for (int x = 1; x <= nx - 2; ++x) {
    if (listed(spec.dsp_columns, x)) ++dsp_cols;
    else if (listed(spec.ram_columns, x)) ++ram_cols;
  }
  const int rows = ny - 2;
  GRID_CAPACITY c;
  c.labs = (nx - 2 - dsp_cols - ram_cols) * rows;
  c.dsps = dsp_cols * (rows / 2);
  c.rams = ram_cols * rows;
  c.pins = (2 * rows + nx - 2) * std::clamp(spec.pins_per_pad_tile, 1, DEV_GRID::MAX_PINS_PER_PAD_TILE);
  return c;
}

bool solve_device_size(const RESOURCE_COUNTS& need, int family, const SIZING& sizing, DeviceSpec* out,
                       std::string* why) {
  double utilisation = sizing.utilisation;
  if (!(utilisation > 0.0 && utilisation <= 1.0)) utilisation = 0.6;
  double lab_need = std::max(need.luts / 20.0, need.registers / 40.0) / utilisation;
  if (sizing.lab_atom_limit > 0)
    lab_need = std::max(lab_need, (need.luts + static_cast<double>(need.registers)) / (0.9 * sizing.lab_atom_limit));
  const double labs_needed = std::ceil(lab_need - 1e-9);
  auto fits = [&](const GRID_CAPACITY& c) {
    return c.labs >= labs_needed && c.pins >= need.pins && c.dsps >= need.dsps && c.rams >= need.rams &&
           c.plls >= need.plls;
  };
  // Every capacity grows with k, so the smallest fitting grid is found by
  // bisection between the default grid and the largest one.
  const int k_max = std::max(0, sizing.max_columns - 12);
  const DeviceSpec largest = sizing_series_spec(k_max, family, sizing);
  const GRID_CAPACITY top = grid_capacity(largest);
  if (!fits(top)) {
    if (why) {
      std::ostringstream s;
      s << "the design does not fit the largest device (" << largest.nx << " x " << largest.ny << " tiles):";
      const char* sep = " ";
      auto item = [&](bool over, const std::string& text) {
        if (!over) return;
        s << sep << text;
        sep = "; ";
      };
      item(labs_needed > top.labs, std::to_string(need.luts) + " LUTs and " + std::to_string(need.registers) +
                                       " registers need " + std::to_string(static_cast<long long>(labs_needed)) +
                                       " LABs, it has " + std::to_string(top.labs));
      item(need.pins > top.pins, std::to_string(need.pins) + " I/O pins, it has " + std::to_string(top.pins));
      item(need.dsps > top.dsps, std::to_string(need.dsps) + " DSP blocks, it has " + std::to_string(top.dsps));
      item(need.rams > top.rams, std::to_string(need.rams) + " RAM blocks, it has " + std::to_string(top.rams));
      item(need.plls > top.plls, std::to_string(need.plls) + " PLLs, it has " + std::to_string(top.plls));
      *why = s.str();
    }
    return false;
  }
  int lo = 0, hi = k_max;  // hi fits
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (fits(grid_capacity(sizing_series_spec(mid, family, sizing)))) hi = mid;
    else lo = mid + 1;
  }
  *out = sizing_series_spec(hi, family, sizing);
  if (sizing.track_reference_labs > 0)
    out->routing_tracks = scaled_routing_tracks(sizing.routing_tracks, labs_needed, sizing.track_reference_labs);
  return true;
}

int scaled_routing_tracks(int base, double labs_needed, int reference_labs) {
  if (reference_labs <= 0 || labs_needed <= reference_labs) return base;
  const double t = base * std::pow(labs_needed / reference_labs, 0.3);
  return std::max(base, std::min(40, static_cast<int>(std::ceil(t - 1e-9))));
}

DeviceSpec size_device(const RESOURCE_COUNTS& need, int family, double utilisation, int routing_tracks,
                       int lab_atom_limit) {
  SIZING sizing;
  sizing.utilisation = utilisation;
  sizing.routing_tracks = routing_tracks;
  sizing.lab_atom_limit = lab_atom_limit;
  DeviceSpec spec;
  std::string why;
  if (!solve_device_size(need, family, sizing, &spec, &why)) throw std::length_error(why);
  return spec;
}

namespace {
int g_fit_spread_limit = kFitLabAtomLimit;
}

int fit_spread_limit() { return g_fit_spread_limit; }

host::placement::PLACER_OPTIONS fit_placer_options() {
  host::placement::PLACER_OPTIONS options;
  options.lab_atom_limit = kFitLabAtomLimit;
  options.spread_limit = g_fit_spread_limit < kFitLabAtomLimit ? g_fit_spread_limit : 0;
  options.spread_locally = true;
  return options;
}

bool configure_fit_device(int family, std::string* why, int columns, int extra_registers,
                          const std::function<void(DeviceSpec*)>& adjust) {
  SIZING sizing;
  sizing.routing_tracks = kFitRoutingTracks;
  sizing.lab_atom_limit = kFitLabAtomLimit;
  sizing.pins_per_pad_tile = kFitPinsPerPadTile;
  sizing.track_reference_labs = kFitTrackReferenceLabs;
  DeviceSpec sized;
  RESOURCE_COUNTS need = count_resources(*host::vok::top_netlist());
  need.registers += std::max(0, extra_registers);
  if (!solve_device_size(need, family, sizing, &sized, why)) return false;
  if (columns > 0) {
    // A device of the series the user asked for: at least the sized one, at
    // most the largest; the fabric as wide as the sized device's.
    if (columns < sized.nx || columns > sizing.max_columns) {
      if (why)
        *why = "no device of " + std::to_string(columns) + " columns for this design: it needs at least " +
               std::to_string(sized.nx) + ", the largest has " + std::to_string(sizing.max_columns);
      return false;
    }
    const int tracks = sized.routing_tracks;
    sized = sizing_series_spec(columns - 12, family, sizing);
    sized.routing_tracks = tracks;
  }
  if (adjust) adjust(&sized);
  const double atoms = need.luts + static_cast<double>(need.registers);
  const int labs = grid_capacity(sized).labs;
  g_fit_spread_limit = kFitLabAtomLimit;
  if (labs > 0)
    g_fit_spread_limit =
        std::clamp(static_cast<int>(std::ceil(1.05 * atoms / labs - 1e-9)), kFitLabAtomLimit / 2, kFitLabAtomLimit);
  host::device::configure(sized);
  return true;
}

}  // namespace host::testing
