#include "testing/scenes.h"

#include <string>

#include "korrin/korrin_router.h"
#include "testing/design_builder.h"
#include "testing/route_helpers.h"
#include "wexan/wexan_atom_mod_drc.h"

namespace host::testing::scenes {

namespace {
constexpr int COPY_W = 4;  // LAB columns per copy
constexpr int COPY_H = 3;  // LAB rows per copy
constexpr int COPIES_PER_ROW = 4;
}  // namespace

KY_PIPELINE ky_pipeline(int copies, const std::vector<DEV_ELEMENT_REF>& blacklist) {
  if (copies < 1) copies = 1;
  const int cols = copies < COPIES_PER_ROW ? copies : COPIES_PER_ROW;
  const int rows = (copies + COPIES_PER_ROW - 1) / COPIES_PER_ROW;
  device(Family::KY).grid(2 + COPY_W * cols, 3 + COPY_H * rows).dsp_columns({}).ram_columns({}).blacklist(blacklist).build();
  auto n = netlist();
  KY_PIPELINE s;
  s.clk_a = n.input_port("clk_a");
  s.clk_b = n.input_port("clk_b");
  n.clock("clk_a", 700, s.clk_a);
  n.clock("clk_b", 2000, s.clk_b);
  for (int k = 0; k < copies; ++k) {
    const std::string sfx = copies == 1 ? "" : "_" + std::to_string(k);
    const int x0 = 1 + COPY_W * (k % COPIES_PER_ROW), y0 = 1 + COPY_H * (k / COPIES_PER_ROW);
    KY_PIPELINE_COPY c{};
    // Domain A: a0 -> l0..l3 -> c0, spread over the copy's LABs.
    c.a0 = n.reg("a0" + sfx).clk(s.clk_a).d(n.input_port("in_a" + sfx));
    place_at(c.a0, x0, y0, 1);
    SIG prev = c.a0;
    for (int i = 0; i < 4; ++i) {
      auto l = n.lut("l" + std::to_string(i) + sfx, {prev}, [](const LUT_INPUTS& x) { return !x[0]; });
      place_at(l, x0 + (i % 2 == 0 ? 3 : 0), y0 + (i < 2 ? 2 : 0), 3 * (i + 1));
      c.luts.push_back(l);
      prev = l;
    }
    c.c0 = n.reg("c0" + sfx).clk(s.clk_a).d(prev);
    place_at(c.c0, x0 + 1, y0 + 1, 1);
    // The pipeline register in a routing slot of LAB (x0 + 1, y0).
    c.p = n.zota_reg("p" + sfx).clk(s.clk_a).d(c.a0);
    place_in_slot(c.p, x0 + 1, y0, 61);
    c.pc = n.reg("pc" + sfx).clk(s.clk_a).d(c.p);
    place_at(c.pc, x0 + 1, y0, 4);
    // Domain B with a late capture clock: hold fails.
    c.b0 = n.reg("b0" + sfx).clk(s.clk_b).d(n.input_port("in_b" + sfx));
    place_at(c.b0, x0 + 2, y0 + 1, 1);
    auto cb1 = n.atom(VOK_ATOM_KIND::CLKBUF, "cb1" + sfx).input(DB_INPUT_PORT_BOX, 0, s.clk_b);
    auto cb2 = n.atom(VOK_ATOM_KIND::CLKBUF, "cb2" + sfx).input(DB_INPUT_PORT_BOX, 0, cb1);
    c.b1 = n.reg("b1" + sfx).clk(cb2).d(c.b0);
    place_at(c.b1, x0 + 2, y0 + 1, 2);
    // The unclocked domain.
    c.u = n.lut("u" + sfx, {n.input_port("in_u" + sfx)}, [](const LUT_INPUTS& x) { return x[0]; });
    place_at(c.u, x0 + 3, y0 + 1, 0);
    n.output_port("out_u" + sfx, c.u);
    // The dont-touch register.
    c.dt = n.reg("dt" + sfx).clk(s.clk_a).d(c.c0);
    place_at(c.dt, x0 + 1, y0 + 1, 2);
    c.dt->set_modifiable(false);
    host::drc::deny(c.dt->get_id(), 41, std::uint64_t{1} << 37);
    // The LUT-RAM.
    c.m = n.lutram("m" + sfx).data_in(c.a0).clk(s.clk_a);
    place_at(c.m, x0, y0 + 1, 6);
    // The second partition.
    auto box = n.blackbox("u_part" + sfx, [](NETLIST_BUILDER& b) {
      auto r = b.reg("r").clk(b.input("c")).d(b.input("d"));
      b.output("o", r);
    });
    box.in("c", s.clk_a).in("d", c.c0);
    c.r = box.child()->get_atom_list().front();
    for (VOK_ATOM_NODE* a : box.child()->get_atom_list())
      if (a->is_ff()) c.r = a;
    place_at(c.r, x0 + 3, y0 + 2, 1);
    c.after = n.reg("after" + sfx).clk(s.clk_a).d(box.out("o"));
    place_at(c.after, x0 + 3, y0 + 2, 2);
    s.copies.push_back(c);
  }
  std::string why;
  if (!host::router::route_design(&why)) throw NETLIST_BUILD_ERROR("ky_pipeline: routing failed: " + why);
  n.timing();
  return s;
}

void set_bypassed(VOK_ATOM_NODE* reg, bool on) { reg->set_parameter(VOK_PARAMETER_TYPE::BOOL, 5, on ? 1 : 0); }

void set_inverted(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type, int index, bool on) {
  VOK_ATOM_ITERM* t = atom->get_input_term_by_type(type, index);
  if (!t) throw NETLIST_BUILD_ERROR(atom->get_string_hpath() + ": no input to invert");
  t->set_inverted(on);
}

void tie_input(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type, int index, bool high) {
  VOK_ATOM_ITERM* t = atom->get_input_term_by_type(type, index);
  if (!t) t = atom->add_input_term(type, index);
  t->tie(!high);
}

VOK_ATOM_NODE* lut8(NETLIST_BUILDER& n, const std::string& name, const std::vector<SIG>& inputs,
                    const std::function<bool(const LUT_INPUTS&)>& fn) {
  if (inputs.size() != 8) throw NETLIST_BUILD_ERROR("lut8 '" + name + "': eight inputs");
  std::uint64_t mask = 0;
  for (unsigned j = 0; j < 32; ++j) {
    const unsigned idx = ~j & 31u;  // natural index bits
    const auto b = [&](int i) { return (idx >> i) & 1u; };
    const unsigned high = b(0) | b(1) << 1 | b(2) << 5 | b(3) << 6 | b(4) << 4;  // input 7 = 0
    const unsigned low = idx | 1u << 7;                                       // input 7 = 1
    if (fn(LUT_INPUTS{high, 8})) mask |= std::uint64_t{1} << (32 + j);
    if (fn(LUT_INPUTS{low, 8})) mask |= std::uint64_t{1} << j;
  }
  VOK_ATOM_NODE* cell = n.lut(name, std::vector<SIG>(inputs.begin(), inputs.begin() + 6), mask).atom();
  for (int i = 6; i < 8; ++i)
    vok_connect(inputs[static_cast<std::size_t>(i)].oterm,
                cell->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + i), 0));
  cell->get_lutmask() = VOK_LUTMASK(mask);
  cell->set_bit(44, true);
  return cell;
}

}  // namespace host::testing::scenes
