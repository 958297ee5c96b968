#include "testing/blif_sweep.h"

#include <algorithm>
#include <cstddef>
#include <unordered_map>
#include <unordered_set>

namespace host::testing {

SWEEP_RESULT sweep_dead_logic(BLIF_DESIGN& d, const std::string& file, const std::vector<std::string>& kept_nets) {
  // The element driving each net: LUT i, or flip-flop i (input pins drive
  // theirs too, and are never removed).
  struct DRIVER {
    bool lut;
    std::size_t index;
  };
  std::unordered_map<std::string, DRIVER> driver;
  for (std::size_t i = 0; i < d.luts.size(); ++i) driver.emplace(d.luts[i].output, DRIVER{true, i});
  for (std::size_t i = 0; i < d.ffs.size(); ++i) driver.emplace(d.ffs[i].q, DRIVER{false, i});
  std::unordered_map<std::string, int> undriven;
  for (const auto& [net, line] : d.undriven) undriven.emplace(net, line);

  // The backward walk. Each net is reached once, with the nearest register
  // or pin it leads to and the line of the element reading it.
  struct STEP {
    std::string net;
    std::string reaches;
    int line;
  };
  std::vector<STEP> stack;
  for (auto it = kept_nets.rbegin(); it != kept_nets.rend(); ++it)
    stack.push_back({*it, "periphery block input '" + *it + "'", 0});
  for (auto it = d.outputs.rbegin(); it != d.outputs.rend(); ++it)
    stack.push_back({*it, "output pin '" + *it + "'", 0});
  std::unordered_set<std::string> reached;
  std::vector<char> keep_lut(d.luts.size(), 0), keep_ff(d.ffs.size(), 0);
  while (!stack.empty()) {
    STEP s = std::move(stack.back());
    stack.pop_back();
    if (!reached.insert(s.net).second) continue;
    if (auto u = undriven.find(s.net); u != undriven.end())
      throw BLIF_ERROR(file, s.line > 0 ? s.line : u->second,
                       "net '" + s.net + "' is used but never driven, and it reaches " + s.reaches +
                           "; find where it lost its driver with yosys 'check', or tie it to 0 with yosys "
                           "'setundef -undriven -zero'");
    auto it = driver.find(s.net);
    if (it == driver.end()) continue;  // an input pin, or a kept net nothing drives
    if (it->second.lut) {
      const BLIF_LUT& l = d.luts[it->second.index];
      keep_lut[it->second.index] = 1;
      for (auto in = l.inputs.rbegin(); in != l.inputs.rend(); ++in) stack.push_back({*in, s.reaches, l.line});
    } else {
      const BLIF_FF& f = d.ffs[it->second.index];
      keep_ff[it->second.index] = 1;
      const std::string reg = "register '" + f.q + "'";
      for (const std::string* in : {&f.reset, &f.enable, &f.clock, &f.d})
        if (!in->empty()) stack.push_back({*in, reg, f.line});
    }
  }

  SWEEP_RESULT r;
  std::vector<BLIF_LUT> luts;
  for (std::size_t i = 0; i < d.luts.size(); ++i) {
    if (!keep_lut[i]) {
      ++r.luts;
      r.names.push_back(d.luts[i].output);
      continue;
    }
    if (d.luts[i].inputs.size() == 1 && d.luts[i].truth == 0b10) ++r.identity_luts;
    luts.push_back(std::move(d.luts[i]));
  }
  std::vector<BLIF_FF> ffs;
  for (std::size_t i = 0; i < d.ffs.size(); ++i) {
    if (keep_ff[i]) {
      ffs.push_back(std::move(d.ffs[i]));
    } else {
      ++r.registers;
      r.names.push_back(d.ffs[i].q);
    }
  }
  d.luts = std::move(luts);
  d.ffs = std::move(ffs);
  d.undriven.clear();  // only removed logic read them
  // With no register left, the walk reached an input pin only if some
  // output (or periphery block) depends on it; otherwise every output is a
  // constant and the fit has nothing of the design to place.
  if (d.ffs.empty() && std::none_of(d.inputs.begin(), d.inputs.end(), [&](const std::string& in) {
        return reached.count(in) > 0;
      }))
    d.warnings.push_back("no input or register reaches any output; every output is a constant");
  return r;
}

std::string sweep_summary(const SWEEP_RESULT& r) {
  auto count = [](int n, const char* one, const char* many) { return std::to_string(n) + (n == 1 ? one : many); };
  std::string s = "Removed " + count(r.luts, " LUT", " LUTs") + " and " +
                  count(r.registers, " register", " registers") + " that reach no output pin";
  if (r.identity_luts > 0)
    s += "; " +
         count(r.identity_luts, " kept LUT is a one-input identity", " kept LUTs are one-input identities") +
         " other logic reads";
  return s;
}

}  // namespace host::testing
