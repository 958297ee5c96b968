#include "testing/io_delay_scene.h"

#include "testing/timing_builder.h"
#include "vok/vok_atom_netlist.h"

namespace host::testing::scenes {
namespace {
VOK_ATOM_NODE* role(VOK_ATOM_NODE* a, unsigned r) {
  a->set_io_roles(r);
  return a;
}
}  // namespace

IO_DELAY_CHAINS io_delay_chains() {
  IO_DELAY_CHAINS s;
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  n.clock("clk", 2000, clk);
  auto ibuf = n.io_in("din");
  s.ireg = n.io_reg("ireg", 396).clk(clk).d(ibuf).atom();
  s.ddio = role(n.atom(VOK_ATOM_KIND::COMB_CELL, "ddio").input(DB_INPUT_PORT_BOX, 0, ibuf), VOK_ATOM_NODE::IO_ROLE_DDIO_IN);
  s.chain =
      role(n.atom(VOK_ATOM_KIND::COMB_CELL, "chain").input(DB_INPUT_PORT_BOX, 0, ibuf), VOK_ATOM_NODE::IO_ROLE_DELAY_CHAIN);
  // The 12-lane cell has an input pin of its own.
  s.lane = role(n.atom(VOK_ATOM_KIND::COMB_CELL, "lane").input(DB_INPUT_PORT_BOX, 0, n.io_in("din2")),
                VOK_ATOM_NODE::IO_ROLE_IO_12_LANE);
  s.ela = role(n.atom(VOK_ATOM_KIND::COMB_CELL, "ela").input(DB_INPUT_PORT_BOX, 0, ibuf), VOK_ATOM_NODE::IO_ROLE_JTAG_ELA);
  s.core = n.lut("core", {ibuf}, 0x2).atom();
  s.core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_delay_chain_connection(8, 0);
  s.oreg = n.io_reg("oreg", 397).clk(clk).d(s.core).atom();
  s.oereg = n.io_reg("oereg", 398).clk(clk).d(s.core).atom();
  n.io_out("dout", s.oreg);
  s.obuf = n.find("dout~obuf");
  auto oe = s.obuf->add_input_term(DB_INPUT_PORT_BOX, 1);
  vok_connect(s.oereg->get_oterm_slot(0), oe);
  s.obuf->get_input_term_by_type(DB_INPUT_PORT_BOX, 0)->set_usage(9);
  oe->set_usage(22);
  n.io_out("dout2", s.ela);
  s.obuf2 = n.find("dout2~obuf");
  s.din = n.find("din");
  s.ibuf = n.find("din~ibuf");
  s.dout = n.find("dout");
  // Usages and the chain connection the older pin form reads: a pin's data
  // output 9, a pin's data input 68, a buried output register's output 253;
  // din's buffer takes its input through pad-to-core chain 0.
  for (const char* pin : {"din", "din2"}) n.find(pin)->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0)->set_usage(9);
  for (const char* pin : {"dout", "dout2"}) n.find(pin)->get_input_term_by_type(DB_INPUT_PORT_BOX, 0)->set_usage(68);
  n.find("din~ibuf")->get_input_term_by_type(DB_INPUT_PORT_BOX, 0)->set_delay_chain_connection(8, 0);

  // Pins with registers buried in them.
  auto bin = n.atom(VOK_ATOM_KIND::PAD, "bin");
  bin->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0)->set_usage(9);
  s.bin = bin.atom();
  s.bireg = role(n.io_reg("bireg", 396).clk(clk).d(SIG(s.bin)).atom(), VOK_ATOM_NODE::IO_ROLE_BURIED_IO_REGISTER);
  s.boreg =
      role(n.io_reg("boreg", 397).clk(clk).d(s.core).atom(), VOK_ATOM_NODE::IO_ROLE_BURIED_IO_REGISTER);
  s.boreg->get_oterm_slot(0)->set_usage(253);
  auto bout = n.atom(VOK_ATOM_KIND::PAD, "bout");
  bout->remove_output_term(bout->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0));
  bout->add_output_term(DB_OUTPUT_PORT_PAD_IO, 0);
  bout.input(DB_INPUT_PORT_BOX, 0, s.boreg);
  bout->get_input_term_by_type(DB_INPUT_PORT_BOX, 0)->set_usage(68);
  s.bout = bout.atom();
  n.timing();
  return s;
}

}  // namespace host::testing::scenes
