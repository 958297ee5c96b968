#include "testing/route_helpers.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "dev/dev_grid.h"
#include "testing/netlist_builder.h"
#include "wump/wump_die_info.h"

namespace host::testing {

VOK_ATOM_LOGICAL_PORT in_port(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type, int index) {
  return VOK_ATOM_LOGICAL_PORT(static_cast<std::uint32_t>(atom->get_id()), vok_input_port_symbol(type),
                               static_cast<std::uint16_t>(index));
}
VOK_ATOM_LOGICAL_PORT out_port(VOK_ATOM_NODE* atom) { return vok_get_logical_port(atom->get_oterm_slot(0)); }

void place_at(VOK_ATOM_NODE* atom, int x, int y, int z) {
  const WUMP_PLACE_INFO* p = host::device::die_info()->get_place_info();
  const unsigned gid = p->get_global_id(0, x, y, z);
  if (gid == DEV_GRID::ILLEGAL_GID)
    throw NETLIST_BUILD_ERROR("no site " + std::to_string(z) + " at (" + std::to_string(x) + ", " + std::to_string(y) + ")");
  atom->set_location(gid, p->get_location_table()[gid].element);
  atom->set_analytic_xy(static_cast<float>(x), static_cast<float>(y));
}

void place_in_slot(VOK_ATOM_NODE* atom, int x, int y, int sub) {
  const unsigned gid = host::device::die_info()->get_place_info()->get_global_id(dev_kind::FF, x, y, sub);
  if (gid == DEV_GRID::ILLEGAL_GID)
    throw NETLIST_BUILD_ERROR("no pipeline slot " + std::to_string(sub) + " at (" + std::to_string(x) + ", " +
                              std::to_string(y) + ")");
  atom->set_location(gid, dev_kind::LAB_RE);
  atom->set_analytic_xy(static_cast<float>(x), static_cast<float>(y));
}

GENERATED_DESIGN generate_placed_design(int atoms, unsigned seed) {
  GENERATED_DESIGN out;
  const DEV_GRID& grid = host::device::die_info()->get_place_info()->get_grid();
  auto next = [&seed](unsigned n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  auto n = netlist();
  // Pins: inputs on the left edge, outputs on the right edge.
  struct PIN {
    int x, y, p;
  };
  std::vector<PIN> left, right;
  for (int y = 1; y < grid.ny() - 1; ++y)
    for (int p = 0; p < grid.pins_per_pad_tile(); ++p) {
      left.push_back({0, y, p});
      right.push_back({grid.nx() - 1, y, p});
    }
  std::vector<SIG> signals;
  const int inputs = std::min<int>(static_cast<int>(left.size()), std::max(4, atoms / 100));
  SIG clk;
  for (int i = 0; i < inputs; ++i) {
    auto ibuf = n.io_in("in" + std::to_string(i));
    const PIN& pin = left[static_cast<std::size_t>(i)];
    place_at(n.find("in" + std::to_string(i)), pin.x, pin.y, pin.p * DEV_GRID::SITES_PER_PIN + 1);
    place_at(ibuf, pin.x, pin.y, pin.p * DEV_GRID::SITES_PER_PIN + 2);
    if (i == 0) clk = ibuf.out();
    else signals.push_back(ibuf.out());
    ++out.pins;
  }
  // Logic: one LUT per LAB, with every third LUT's register beside it (the
  // fabric has 16 wires per tile, shared by what leaves, enters and passes a
  // LAB, which is about what such a design needs).
  std::vector<std::pair<int, int>> labs;
  for (int y = 1; y < grid.ny() - 1; ++y)
    for (int x = 1; x < grid.nx() - 1; ++x)
      if (grid.tile_kind(x, y) == DEV_TILE_KIND::LAB) labs.push_back({x, y});
  // Z order keeps consecutive LABs close in both directions.
  auto morton = [](int x, int y) {
    unsigned m = 0;
    for (int b = 0; b < 12; ++b) m |= ((static_cast<unsigned>(x) >> b) & 1u) << (2 * b) | ((static_cast<unsigned>(y) >> b) & 1u) << (2 * b + 1);
    return m;
  };
  std::stable_sort(labs.begin(), labs.end(), [&](const auto& a, const auto& b) { return morton(a.first, a.second) < morton(b.first, b.second); });
  std::size_t lab = 0;
  int lut_slot = 0, reg_slot = 0;
  for (int k = 0; out.atoms < atoms && lab < labs.size(); ++k) {
    const int fanin = 2 + static_cast<int>(next(3));
    std::vector<SIG> ins;
    for (int i = 0; i < fanin; ++i) {
      const std::size_t s = signals.size();
      const bool far = next(16) == 0;
      const std::size_t pick = far ? next(static_cast<unsigned>(s)) : s - 1 - next(static_cast<unsigned>(std::min<std::size_t>(s, 12)));
      SIG sig = signals[pick];
      bool dup = false;
      for (const SIG& o : ins) dup = dup || o.oterm == sig.oterm;
      if (!dup) ins.push_back(sig);
    }
    auto l = n.lut("l" + std::to_string(k), ins, 0x6996966996696996ull & ((1ull << (1u << ins.size())) - 1));
    place_at(l, labs[lab].first, labs[lab].second, 3 * lut_slot);
    ++out.luts, ++out.atoms;
    SIG result = l.out();
    if (k % 3 == 2 && out.atoms < atoms) {
      auto r = n.reg("r" + std::to_string(k)).clk(clk).d(l);
      place_at(r, labs[lab].first, labs[lab].second, 3 * reg_slot + 1);
      ++out.registers, ++out.atoms, ++reg_slot;
      result = r.out();
    }
    signals.push_back(result);
    if (++lut_slot == 1 || reg_slot == 1) {
      lut_slot = reg_slot = 0;
      ++lab;
    }
  }
  // Outputs: the last signals.
  const int outputs = std::min<int>(static_cast<int>(right.size()), std::max(4, atoms / 100));
  for (int i = 0; i < outputs && i < static_cast<int>(signals.size()); ++i) {
    const std::string name = "out" + std::to_string(i);
    auto pad = n.io_out(name, signals[signals.size() - 1 - static_cast<std::size_t>(i)]);
    const PIN& pin = right[static_cast<std::size_t>(i)];
    place_at(n.find(name + "~obuf"), pin.x, pin.y, pin.p * DEV_GRID::SITES_PER_PIN + 3);
    place_at(pad, pin.x, pin.y, pin.p * DEV_GRID::SITES_PER_PIN + 1);
    ++out.pins;
  }
  return out;
}

}  // namespace host::testing
