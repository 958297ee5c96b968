#include "testing/sim.h"

#include <functional>
#include <map>
#include <stdexcept>
#include <unordered_map>

#include "zel/zel_atom_util.h"

namespace host::testing {

namespace {

// Orders nodes so that each comes after its dependencies; a cycle throws.
template <class DEPS>
std::vector<std::size_t> topological(std::size_t n, const DEPS& deps, const std::vector<bool>& comb,
                                     const std::function<std::string(std::size_t)>& name) {
  enum : char { NEW, OPEN, DONE };
  std::vector<char> state(n, NEW);
  std::vector<std::size_t> order;
  for (std::size_t root = 0; root < n; ++root) {
    if (!comb[root] || state[root] != NEW) continue;
    std::vector<std::pair<std::size_t, std::size_t>> stack{{root, 0}};
    state[root] = OPEN;
    while (!stack.empty()) {
      const std::size_t i = stack.back().first;
      const std::size_t k = stack.back().second++;
      if (k == deps[i].size()) {
        state[i] = DONE;
        order.push_back(i);
        stack.pop_back();
        continue;
      }
      const std::size_t j = deps[i][k];
      if (!comb[j]) continue;
      if (state[j] == OPEN) throw std::runtime_error("combinational loop through '" + name(j) + "'");
      if (state[j] == NEW) {
        state[j] = OPEN;
        stack.emplace_back(j, 0);
      }
    }
  }
  return order;
}

}  // namespace

SIM_TRACE simulate(const VOK_ATOM_NETLIST& netlist, const std::vector<std::string>& inputs,
                   const std::vector<std::string>& outputs, const std::vector<std::vector<bool>>& stimuli) {
  std::vector<const VOK_ATOM_NODE*> atoms(netlist.get_atom_list().begin(), netlist.get_atom_list().end());
  std::unordered_map<const VOK_ATOM_NODE*, std::size_t> index;
  std::map<std::string, std::size_t> by_name;
  for (std::size_t i = 0; i < atoms.size(); ++i) {
    index[atoms[i]] = i;
    by_name[atoms[i]->get_string_hpath()] = i;
  }
  const std::size_t n = atoms.size();
  auto is_input_pad = [](const VOK_ATOM_NODE* a) {
    if (a->get_kind() != VOK_ATOM_KIND::PAD) return false;
    for (const VOK_ATOM_ITERM* t : a->citerms())
      if (t->is_connected()) return false;
    return true;
  };
  std::vector<bool> comb(n, false), reg(n, false);
  std::vector<std::vector<std::size_t>> deps(n);
  for (std::size_t i = 0; i < n; ++i) {
    const VOK_ATOM_NODE* a = atoms[i];
    switch (a->get_kind()) {
      case VOK_ATOM_KIND::PAD: comb[i] = !is_input_pad(a); break;
      case VOK_ATOM_KIND::IBUF:
      case VOK_ATOM_KIND::OBUF:
      case VOK_ATOM_KIND::COMB_CELL:
      case VOK_ATOM_KIND::ARITH_CELL: comb[i] = true; break;
      case VOK_ATOM_KIND::CORE_REGISTER:
      case VOK_ATOM_KIND::PIPELINE_REGISTER:
        // A bypassed register passes its data input through.
        (ZEL_ZOTA_UTIL::is_ff_bypassed(a) ? comb : reg)[i] = true;
        break;
      default: throw std::runtime_error("the simulator does not model atom '" + a->get_string_hpath() + "'");
    }
    for (const VOK_ATOM_ITERM* t : a->citerms()) {
      const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED);
      if (s && s->get_my_node()) deps[i].push_back(index.at(s->get_my_node()));
    }
  }
  const auto order = topological(n, deps, comb, [&](std::size_t i) { return atoms[i]->get_string_hpath(); });

  auto lookup = [&](const std::string& name, bool want_input) {
    auto it = by_name.find(name);
    if (it == by_name.end() || atoms[it->second]->get_kind() != VOK_ATOM_KIND::PAD ||
        is_input_pad(atoms[it->second]) != want_input)
      throw std::runtime_error("no " + std::string(want_input ? "input" : "output") + " pad '" + name + "'");
    return it->second;
  };
  std::vector<std::size_t> in_idx, out_idx;
  for (const auto& s : inputs) in_idx.push_back(lookup(s, true));
  for (const auto& s : outputs) out_idx.push_back(lookup(s, false));

  // val: each atom's result output; carry: an arithmetic cell's carry-out.
  std::vector<bool> val(n, false), carry(n, false);
  for (std::size_t i = 0; i < n; ++i)
    if (reg[i]) val[i] = atoms[i]->powers_up();
  auto read = [&](const VOK_ATOM_ITERM* t) -> bool {
    if (t == nullptr || !t->is_connected()) return false;
    const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED);
    bool v = false;
    if (s == nullptr)
      v = !t->is_tie_low();
    else if (s->get_my_node()) {
      const std::size_t j = index.at(s->get_my_node());
      v = s->get_port_type() == DB_OUTPUT_PORT_CARRY_OUT && atoms[j]->get_kind() == VOK_ATOM_KIND::ARITH_CELL
              ? carry[j]
              : val[j];
    }
    return v != t->is_inverted();
  };
  // The natural input vector of a LUT over `count` data inputs.
  auto lut_inputs = [&](const VOK_ATOM_NODE* a, int count) {
    unsigned in = 0;
    for (int k = 0; k < count; ++k)
      if (read(a->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + k), 0)))
        in |= 1u << k;
    return in;
  };

  SIM_TRACE trace;
  std::vector<bool> next(n, false);
  for (const auto& cycle : stimuli) {
    if (cycle.size() != in_idx.size()) throw std::runtime_error("a cycle with the wrong number of input values");
    for (std::size_t k = 0; k < in_idx.size(); ++k) val[in_idx[k]] = cycle[k];
    for (std::size_t i : order) {
      const VOK_ATOM_NODE* a = atoms[i];
      const std::uint64_t mask = a->get_lutmask().get_value();
      if (a->get_kind() == VOK_ATOM_KIND::COMB_CELL && a->test_bit(44)) {
        val[i] = host::lut_eval(mask, 8, lut_inputs(a, 8));
      } else if (a->get_kind() == VOK_ATOM_KIND::COMB_CELL) {
        int width = 0;
        for (int k = 0; k < 6; ++k)
          if (a->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + k), 0)) width = k + 1;
        val[i] = host::lut_eval(mask, width, lut_inputs(a, width));
      } else if (a->get_kind() == VOK_ATOM_KIND::ARITH_CELL) {
        // Two 4-input functions: F0 from mask bits 0-15, F1 from bits 16-31;
        // sum = F0 xor carry-in, carry-out = carry-in when F0, else F1.
        const unsigned in = lut_inputs(a, 4);
        const bool f0 = host::lut_eval(mask & 0xFFFFu, 4, in), f1 = host::lut_eval(mask >> 16, 4, in);
        const bool c = read(a->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0));
        val[i] = f0 != c;
        carry[i] = f0 ? c : f1;
      } else if (a->is_ff()) {
        val[i] = read(a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
      } else {
        val[i] = read(a->get_input_term_by_type(DB_INPUT_PORT_BOX, 0));
      }
    }
    std::vector<bool> sample;
    for (std::size_t i : out_idx) sample.push_back(val[i]);
    trace.push_back(std::move(sample));
    for (std::size_t i = 0; i < n; ++i) {
      if (!reg[i]) continue;
      const VOK_ATOM_NODE* a = atoms[i];
      const VOK_ATOM_ITERM* ce = a->get_input_term_by_type(DB_INPUT_PORT_ENA, 0);
      const VOK_ATOM_ITERM* sclr = a->get_input_term_by_type(DB_INPUT_PORT_SCLR, 0);
      if (sclr && sclr->is_connected() && read(sclr))
        next[i] = false;
      else if (!ce || !ce->is_connected() || read(ce))
        next[i] = read(a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
      else
        next[i] = val[i];
    }
    for (std::size_t i = 0; i < n; ++i)
      if (reg[i]) val[i] = next[i];
  }
  return trace;
}

SIM_TRACE simulate_blif(const BLIF_DESIGN& d, const std::vector<std::string>& inputs,
                        const std::vector<std::string>& outputs, const std::vector<std::vector<bool>>& stimuli) {
  // Nets: inputs, then LUT outputs, then flip-flop outputs.
  std::map<std::string, std::size_t> net;
  std::vector<std::string> names;
  auto add = [&](const std::string& s) {
    net.emplace(s, names.size());
    names.push_back(s);
  };
  for (const auto& s : d.inputs) add(s);
  for (const auto& l : d.luts) add(l.output);
  for (const auto& f : d.ffs) add(f.q);
  auto id = [&](const std::string& s) {
    auto it = net.find(s);
    if (it == net.end()) throw std::runtime_error("no net '" + s + "'");
    return it->second;
  };
  const std::size_t n = names.size();
  std::vector<bool> comb(n, false);
  std::vector<std::vector<std::size_t>> deps(n);
  std::vector<const BLIF_LUT*> lut_of(n, nullptr);
  for (const auto& l : d.luts) {
    const std::size_t o = id(l.output);
    comb[o] = true;
    lut_of[o] = &l;
    for (const auto& i : l.inputs) deps[o].push_back(id(i));
  }
  const auto order = topological(n, deps, comb, [&](std::size_t i) { return names[i]; });
  std::vector<std::size_t> in_idx, out_idx;
  for (const auto& s : inputs) in_idx.push_back(id(s));
  for (const auto& s : outputs) out_idx.push_back(id(s));

  std::vector<bool> val(n, false);
  for (const auto& f : d.ffs) val[id(f.q)] = f.init == 1;
  SIM_TRACE trace;
  std::vector<bool> next(d.ffs.size());
  for (const auto& cycle : stimuli) {
    if (cycle.size() != in_idx.size()) throw std::runtime_error("a cycle with the wrong number of input values");
    for (std::size_t k = 0; k < in_idx.size(); ++k) val[in_idx[k]] = cycle[k];
    for (std::size_t o : order) {
      const BLIF_LUT& l = *lut_of[o];
      unsigned m = 0;
      for (std::size_t k = 0; k < l.inputs.size(); ++k)
        if (val[id(l.inputs[k])]) m |= 1u << k;
      val[o] = ((l.truth >> m) & 1u) != 0;
    }
    std::vector<bool> sample;
    for (std::size_t i : out_idx) sample.push_back(val[i]);
    trace.push_back(std::move(sample));
    for (std::size_t k = 0; k < d.ffs.size(); ++k) {
      const BLIF_FF& f = d.ffs[k];
      const bool enable = f.enable.empty() || val[id(f.enable)] != f.enable_active_low;
      // A reset acts whatever the enable, or ($_SDFFCE_*) only with it.
      const bool reset =
          !f.reset.empty() && val[id(f.reset)] != f.reset_active_low && (enable || !f.reset_needs_enable);
      next[k] =
          reset ? f.reset_value == 1 : (enable ? static_cast<bool>(val[id(f.d)]) : static_cast<bool>(val[id(f.q)]));
    }
    for (std::size_t k = 0; k < d.ffs.size(); ++k) val[id(d.ffs[k].q)] = next[k];
  }
  return trace;
}

}  // namespace host::testing
