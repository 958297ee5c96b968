// The equivalence-check netlists of real fits: velmo-fit's host sequence runs
// in this process with verification on, and at every snapshot it writes (the
// synthesized one and each stage's) the design's netlist is written in all
// three languages; each must parse (iverilog for Verilog and SystemVerilog,
// ghdl's analysis for VHDL), and each, simulated on seeded random inputs from
// its power-up state (iverilog for Verilog and SystemVerilog, ghdl for VHDL)
// through a test bench that binds the design's pin names, must give the
// outputs the atom netlist's own simulation gives. A flipped LUT mask bit
// must be caught and its output named.
#include <dlfcn.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <tbb/global_control.h>

#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "oxu/oxu_job.h"
#include "sta/sta_analysis.h"
#include "tawn/tawn_netlist_writer.h"
#include "testing/netlist_builder.h"
#include "testing/scenes.h"
#include "testing/sim.h"
#include "velmo_fit_sequence.h"
#include "velmo_fit_session.h"
#include "velmo_fit_verification.h"
#include "vok/vok_atom_netlist.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct RUN {
  int status = -1;
  std::string out;
};

RUN run(const std::string& command) {
  RUN r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

bool installed(const char* tool) { return run(std::string("command -v ") + tool).status == 0; }

// A fresh directory `name` in the running test's own folder of the test
// temporary directory, so that no two tests share one.
fs::path scratch(const std::string& name) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string folder = test ? std::string(test->test_suite_name()) + "." + test->name() : std::string("no_test");
  for (char& c : folder)
    if (c == '/') c = '_';
  const fs::path dir = fs::path(::testing::TempDir()) / folder / ("eqcheck_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string read_text(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The design's pins as the simulations see them, and how each clock pin
// ticks its registers.
struct PINS {
  std::vector<std::string> inputs;   // input pads, data and clocks
  std::vector<std::string> outputs;  // output pads
  std::map<std::string, bool> clock_falling;  // clock pad -> registers tick on its falling edge
};

PINS pins_of(const VOK_ATOM_NETLIST& netlist) {
  PINS p;
  std::set<const VOK_ATOM_NODE*> data_pads;  // pads some non-clock input reads
  for (const VOK_ATOM_NODE* a : netlist.get_atom_list()) {
    if (a->get_kind() != VOK_ATOM_KIND::PAD) continue;
    bool fed = false;
    for (const VOK_ATOM_ITERM* t : a->citerms()) fed = fed || t->is_connected();
    (fed ? p.outputs : p.inputs).push_back(a->get_string_hpath());
  }
  // A register's clock, traced back through buffers to its pad; the
  // inversions met on the way give the edge.
  for (const VOK_ATOM_NODE* a : netlist.get_atom_list()) {
    for (const VOK_ATOM_ITERM* t : a->citerms()) {
      if (!t->is_connected() || t->get_port_type() != DB_INPUT_PORT_CLK || !a->is_ff()) continue;
      bool falling = t->is_inverted();
      const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
      while (src && src->get_my_node() && src->get_my_node()->get_kind() == VOK_ATOM_KIND::IBUF) {
        const VOK_ATOM_ITERM* in = src->get_my_node()->get_input_term_by_type(DB_INPUT_PORT_BOX, 0);
        falling = falling != in->is_inverted();
        src = in->get_source(VOK_TRAVERSE_AS_STORED);
      }
      if (!src || !src->get_my_node() || src->get_my_node()->get_kind() != VOK_ATOM_KIND::PAD) {
        ADD_FAILURE() << "register " << a->get_string_hpath() << " is not clocked from a pin";
        continue;
      }
      const std::string pad = src->get_my_node()->get_string_hpath();
      auto [it, fresh] = p.clock_falling.emplace(pad, falling);
      if (!fresh && it->second != falling) ADD_FAILURE() << "clock " << pad << " ticks on both edges";
    }
  }
  return p;
}

// Outputs per cycle for seeded random data inputs (clock pins held at
// their idle level in the atom simulation: its registers tick once a cycle).
struct STIMULI {
  std::vector<std::vector<bool>> cycles;
};

STIMULI stimuli_for(const PINS& p, int cycles, unsigned seed) {
  std::mt19937 rng(seed);
  STIMULI s;
  for (int c = 0; c < cycles; ++c) {
    std::vector<bool> v;
    for (const std::string& in : p.inputs) {
      auto clock = p.clock_falling.find(in);
      v.push_back(clock != p.clock_falling.end() ? clock->second : (rng() & 1u) != 0);
    }
    s.cycles.push_back(v);
  }
  return s;
}

// The design's name of a pin: an output pad "out:y" is the design's output y.
std::string design_name(const std::string& pad) { return pad.rfind("out:", 0) == 0 ? pad.substr(4) : pad; }

// A name with each character no identifier may hold written as '_'.
std::string printable(std::string name) {
  for (char& c : name)
    if (c <= ' ' || c >= 127) c = '_';
  return name;
}

// A pin's name as a Verilog test bench writes it: an escaped identifier (the
// same identifier as the plain name when that is one).
std::string escaped(const std::string& name) { return "\\" + printable(name) + " "; }

// The stimuli as steps 1 ns apart, each a whole input vector set (`set`,
// given the bits from the last input down) or the outputs sampled: the first
// inputs and a sample; then each cycle the active edge of every clock, the
// next cycle's data (clocks held), a sample, the clocks back to idle and a
// sample again. So no input changes with a clock; a register that took its
// data at the other edge would take the next cycle's, and one that reacts
// to an input only at a clock edge shows its old value at the first sample.
// Every cycle after the first is sampled twice.
template <class SET, class SAMPLE>
void drive(const PINS& p, const STIMULI& s, SET&& set, SAMPLE&& sample) {
  const std::size_t ni = std::max<std::size_t>(p.inputs.size(), 1);
  auto bits = [&](const std::vector<bool>& cycle, bool active) {
    std::string b;
    for (std::size_t i = ni; i-- > 0;) {
      bool v = i < cycle.size() && cycle[i];
      if (active && i < p.inputs.size() && p.clock_falling.count(p.inputs[i])) v = !v;
      b += v ? '1' : '0';
    }
    return b;
  };
  if (s.cycles.empty()) return;
  set(bits(s.cycles[0], false), false);
  sample();
  for (std::size_t c = 0; c < s.cycles.size(); ++c) {
    set(bits(s.cycles[c], true), true);
    if (c + 1 == s.cycles.size()) break;
    set(bits(s.cycles[c + 1], true), true);
    sample();
    set(bits(s.cycles[c + 1], false), true);
    sample();
  }
}

// The top module (entity) of a netlist, the last one in the file, and its
// ports: each port's name as it is written and its range when it is a
// vector, keyed by the name it stands for (an escaped or extended
// identifier \x for x, a doubled backslash in VHDL for one).
struct TOP_PORT {
  std::string id;
  bool vector = false;
  int left = 0, right = 0;
};
struct TOP_MODULE {
  std::string name;
  std::map<std::string, TOP_PORT> ports;
};

std::string unescaped(const std::string& id, bool vhdl) {
  if (id.size() < 2 || id.front() != '\\') return id;
  if (!vhdl) return id.substr(1, id.size() - 2);  // "\x " names x
  std::string raw;
  for (std::size_t k = 1; k + 1 < id.size(); ++k) {
    raw += id[k];
    if (id[k] == '\\') ++k;
  }
  return raw;
}

// VHDL: "    AB : in std_logic_vector(15 downto 0);"; Verilog:
// "  input wire [15:0] AB,".
TOP_MODULE top_module(const std::string& text, bool vhdl) {
  TOP_MODULE m;
  const std::size_t at = text.rfind(vhdl ? "\nentity " : "\nmodule ");
  if (at == std::string::npos) return m;
  std::istringstream lines(text.substr(at + 1));
  std::string line;
  std::getline(lines, line);
  m.name = line.substr(7, line.rfind(vhdl ? " is" : " (") - 7);
  while (std::getline(lines, line) && line.rfind(vhdl ? "end entity" : ");", 0) != 0) {
    TOP_PORT p;
    std::string range;
    if (vhdl) {
      const std::size_t colon = line.find(" : ");
      if (colon == std::string::npos) continue;
      p.id = line.substr(line.find_first_not_of(' '), colon - line.find_first_not_of(' '));
      const std::size_t paren = line.find('(', colon);
      if (paren != std::string::npos) range = line.substr(paren + 1, line.find(')', paren) - paren - 1);
    } else {
      std::istringstream words(line);
      std::string direction, type;
      words >> direction >> type;
      std::string rest;
      std::getline(words, rest);
      rest.erase(0, rest.find_first_not_of(' '));
      if (!rest.empty() && rest.back() == ',') rest.pop_back();
      if (!rest.empty() && rest[0] == '[') {
        range = rest.substr(1, rest.find(']') - 1);
        rest.erase(0, rest.find(']') + 2);
      }
      p.id = rest;
    }
    if (!range.empty()) {
      p.vector = true;
      std::replace(range.begin(), range.end(), ':', ' ');
      std::istringstream r(range);
      std::string dir;
      r >> p.left;
      if (vhdl) r >> dir;
      r >> p.right;
    }
    m.ports[unescaped(p.id, vhdl)] = p;
  }
  return m;
}

// Each pin's port in the module: a scalar port of the pin's name, or the
// bit of a vector port that "<base>[<i>]" names. Gives, per port, its
// actuals by bit (one for a scalar, under bit 0); `why` names a pin without
// a port and a vector bit without a pin.
std::map<std::string, std::map<int, std::string>> bind_pins(
    const TOP_MODULE& m, const std::vector<std::pair<std::string, std::string>>& pins, std::string* why) {
  std::map<std::string, std::map<int, std::string>> actuals;
  for (const auto& [pin, actual] : pins) {
    const std::string name = printable(pin);
    if (auto it = m.ports.find(name); it != m.ports.end() && !it->second.vector) {
      actuals[name][0] = actual;
      continue;
    }
    const std::size_t open = name.rfind('[');
    bool bound = false;
    if (open != std::string::npos && name.back() == ']') {
      auto it = m.ports.find(name.substr(0, open));
      const int bit = std::atoi(name.c_str() + open + 1);
      if (it != m.ports.end() && it->second.vector && bit >= std::min(it->second.left, it->second.right) &&
          bit <= std::max(it->second.left, it->second.right)) {
        actuals[it->first][bit] = actual;
        bound = true;
      }
    }
    if (!bound) *why += "no port for pin " + pin + " in " + m.name + "; ";
  }
  for (const auto& [name, port] : m.ports)
    if (port.vector)
      for (int b = std::min(port.left, port.right); b <= std::max(port.left, port.right); ++b)
        if (!actuals[name].count(b)) *why += "no pin for bit " + std::to_string(b) + " of port " + name + "; ";
  return actuals;
}

std::vector<std::pair<std::string, std::string>> bench_pins(const PINS& p) {
  std::vector<std::pair<std::string, std::string>> pins;
  for (std::size_t i = 0; i < p.inputs.size(); ++i) pins.emplace_back(p.inputs[i], "[" + std::to_string(i) + "]");
  for (std::size_t i = 0; i < p.outputs.size(); ++i)
    pins.emplace_back(design_name(p.outputs[i]), "{" + std::to_string(i) + "}");
  return pins;
}

// The bench's signal for an actual of bench_pins: "[i]" the input vector's
// bit i, "{i}" the output vector's.
std::string bench_signal(const std::string& actual, bool vhdl) {
  const std::string index = actual.substr(1, actual.size() - 2);
  const std::string vector = actual[0] == '[' ? (vhdl ? "pin_in" : "in") : (vhdl ? "pin_out" : "out");
  return vhdl ? vector + "(" + index + ")" : vector + "[" + index + "]";
}

// A Verilog test bench that drives the module's pins by the design's names:
// a bus by its vector port, its bits from the left index to the right.
std::string verilog_testbench(const TOP_MODULE& m, const PINS& p, const STIMULI& s, std::string* why) {
  std::ostringstream tb;
  const std::size_t ni = std::max<std::size_t>(p.inputs.size(), 1), no = std::max<std::size_t>(p.outputs.size(), 1);
  std::string map;
  for (const auto& [name, bits] : bind_pins(m, bench_pins(p), why)) {
    const TOP_PORT& port = m.ports.at(name);
    std::string actual;
    if (!port.vector) {
      actual = bench_signal(bits.at(0), false);
    } else {
      const int step = port.left <= port.right ? 1 : -1;
      for (int b = port.left;; b += step) {
        actual += (actual.empty() ? "{" : ", ") + (bits.count(b) ? bench_signal(bits.at(b), false) : "1'bz");
        if (b == port.right) break;
      }
      actual += "}";
    }
    map += (map.empty() ? "" : ", ") + std::string(".") + port.id + (port.id.back() == ' ' ? "" : " ") + "(" + actual + ")";
  }
  tb << "module velmo_tb;\n  reg [" << ni - 1 << ":0] in;\n  wire [" << no - 1 << ":0] out;\n  " << escaped(m.name)
     << " dut (" << map << ");\n  initial begin\n";
  drive(
      p, s, [&](const std::string& b, bool later) { tb << (later ? "    #1 in = " : "    in = ") << ni << "'b" << b << ";\n"; },
      [&] { tb << "    #1 $display(\"%b\", out);\n"; });
  tb << "    $finish;\n  end\nendmodule\n";
  return tb.str();
}

// The same test bench in VHDL for the netlist's top entity: a bus bound bit
// by bit.
std::string vhdl_testbench(const TOP_MODULE& e, const PINS& p, const STIMULI& s, std::string* why) {
  std::ostringstream tb;
  const std::size_t ni = std::max<std::size_t>(p.inputs.size(), 1), no = std::max<std::size_t>(p.outputs.size(), 1);
  std::string map;
  for (const auto& [name, bits] : bind_pins(e, bench_pins(p), why)) {
    const TOP_PORT& port = e.ports.at(name);
    for (const auto& [bit, actual] : bits)
      map += (map.empty() ? "" : ", ") + port.id + (port.vector ? "(" + std::to_string(bit) + ")" : "") + " => " +
             bench_signal(actual, true);
  }
  tb << "library ieee;\nuse ieee.std_logic_1164.all;\nuse std.textio.all;\n\nentity velmo_tb is\nend entity velmo_tb;\n\n"
     << "architecture bench of velmo_tb is\n  signal pin_in : std_logic_vector(" << ni - 1 << " downto 0) := (others => '0');\n"
     << "  signal pin_out : std_logic_vector(" << no - 1 << " downto 0);\nbegin\n  dut: entity work." << e.name
     << " port map (" << map << ");\n  process\n    variable l : line;\n  begin\n";
  drive(
      p, s,
      [&](const std::string& b, bool later) { tb << (later ? "    wait for 1 ns;\n" : "") << "    pin_in <= \"" << b << "\";\n"; },
      [&] { tb << "    wait for 1 ns;\n    write(l, to_string(pin_out));\n    writeline(output, l);\n"; });
  tb << "    wait;\n  end process;\nend architecture bench;\n";
  return tb.str();
}

// Simulates the netlist (Verilog and SystemVerilog by iverilog, VHDL by
// ghdl, one test bench on the same stimuli) and compares its outputs with
// `want` cycle by cycle; "" when every output matches in every cycle, else
// what differs first.
std::string compare_outputs(const fs::path& netlist, const std::string& module, const PINS& p, const STIMULI& s,
                            const host::testing::SIM_TRACE& want, const fs::path& work) {
  RUN sim;
  if (netlist.extension() == ".vho") {
    std::string why;
    const std::string bench = vhdl_testbench(top_module(read_text(netlist), true), p, s, &why);
    if (!why.empty()) return why;
    const fs::path tb = work / "velmo_tb.vhd", lib = work / "ghdl08";
    fs::create_directories(lib);
    std::ofstream(tb) << bench;
    const std::string ghdl = "cd " + work.string() + " && ghdl ";
    const std::string opts = " --std=08 --workdir=" + lib.string() + " ";
    const RUN build = run(ghdl + "-a" + opts + netlist.string() + " " + tb.string() + " && " + ghdl + "-e" + opts + "velmo_tb");
    if (build.status != 0) return "the test bench does not build: " + build.out;
    sim = run(ghdl + "-r" + opts + "velmo_tb");
  } else {
    const fs::path tb = work / "velmo_tb.v", vvp = work / "velmo_tb.vvp";
    std::string why;
    TOP_MODULE m = top_module(read_text(netlist), false);
    m.name = module;
    const std::string bench = verilog_testbench(m, p, s, &why);
    if (!why.empty()) return why;
    std::ofstream(tb) << bench;
    const RUN build = run("iverilog -g2012 -o " + vvp.string() + " " + tb.string() + " " + netlist.string());
    if (build.status != 0) return "the test bench does not build: " + build.out;
    sim = run("vvp -n " + vvp.string());
  }
  // Samples: cycle 0 once, every later cycle before and after the clocks'
  // return to idle.
  const std::size_t samples = want.empty() ? 0 : 2 * want.size() - 1;
  std::istringstream lines(sim.out);
  std::string line;
  std::size_t n = 0;
  while (std::getline(lines, line) && n < samples) {
    // A sample line: one value per output, nothing else.
    if (line.size() != std::max<std::size_t>(p.outputs.size(), 1) ||
        line.find_first_not_of("01xzXZUWLH-") != std::string::npos)
      continue;
    const std::size_t cycle = (n + 1) / 2;
    for (std::size_t k = 0; k < p.outputs.size(); ++k) {
      const char got = line[line.size() - 1 - k];
      if (got != (want[cycle][k] ? '1' : '0'))
        return "output " + p.outputs[k] + " differs at cycle " + std::to_string(cycle) +
               (n % 2 ? " (before the clocks return)" : "") + ": netlist " + got + ", expected " +
               (want[cycle][k] ? "1" : "0");
    }
    ++n;
  }
  if (n != samples) return "the netlist simulation gave " + std::to_string(n) + " samples: " + sim.out;
  return "";
}

// The same against the atom netlist's own simulation on seeded random inputs.
std::string compare_with_atoms(const VOK_ATOM_NETLIST& atoms, const fs::path& netlist, const std::string& module,
                               const fs::path& work) {
  const PINS p = pins_of(atoms);
  const STIMULI s = stimuli_for(p, 40, 20261208);
  return compare_outputs(netlist, module, p, s, host::testing::simulate(atoms, p.inputs, p.outputs, s.cycles), work);
}

// What the tools made of a netlist: its parse and its comparison with the
// atoms' outputs. A fit's snapshots often write the same text; the same
// text against the same pins and expected outputs gives the same result, so
// each such pair is run through the tools once per process.
struct TOOLS_SAID {
  RUN parse;
  std::string compared;
};

std::map<std::string, TOOLS_SAID>& tools_said() {
  static std::map<std::string, TOOLS_SAID> said;
  return said;
}

// The pins, clock edges and expected outputs as one text.
std::string expectation(const PINS& p, const host::testing::SIM_TRACE& want) {
  std::string e;
  for (const auto& in : p.inputs) e += "i " + in + "\n";
  for (const auto& out : p.outputs) e += "o " + out + "\n";
  for (const auto& [clock, falling] : p.clock_falling) e += "c " + clock + (falling ? " 1\n" : " 0\n");
  for (const auto& cycle : want) {
    for (bool v : cycle) e += v ? '1' : '0';
    e += '\n';
  }
  return e;
}

// Every language's netlist of `written` into `at`; each must parse on its
// own (VHDL analysed as VHDL-93 without a warning) and simulate as the atoms
// of `reference` do. Returns the Verilog text.
std::string check_netlist(const VOK_ATOM_NETLIST& written, const VOK_ATOM_NETLIST& reference,
                          const std::string& design, const fs::path& at) {
  fs::create_directories(at);
  const PINS p = pins_of(reference);
  const STIMULI s = stimuli_for(p, 40, 20261208);
  const host::testing::SIM_TRACE want = host::testing::simulate(reference, p.inputs, p.outputs, s.cycles);
  const std::string expected = expectation(p, want);
  for (int type : {2, 3, 4}) {
    EXPECT_TRUE(TAWN_NETLIST_WRITER::write(&written, at.c_str(), design.c_str(), type));
    const fs::path file = at / (design + TAWN_NETLIST_WRITER::extension(type));
    auto [said, fresh] = tools_said().try_emplace(std::to_string(type) + "\n" + read_text(file) + "\n" + expected);
    if (fresh) {
      // VHDL is analysed, not only parsed: names and types must resolve too.
      said->second.parse = type == 2 ? run("ghdl -a --workdir=" + at.string() + " " + file.string())
                                     : run("iverilog -g2012 -t null " + file.string());
      said->second.compared = compare_outputs(file, design, p, s, want, at);
    }
    EXPECT_EQ(said->second.parse.status, 0) << file << ":\n" << said->second.parse.out;
    EXPECT_EQ(said->second.parse.out, "") << file;
    EXPECT_EQ(said->second.compared, "") << file;
  }
  return read_text(at / (design + ".vo"));
}

// The current design's netlists of a snapshot, checked against its atoms.
std::string check_snapshot(const std::string& design, const std::string& snapshot, const fs::path& dir) {
  SCOPED_TRACE("snapshot " + snapshot);
  const VOK_ATOM_NETLIST& atoms = *host::vok::top_netlist();
  return check_netlist(atoms, atoms, design, dir / snapshot);
}

// velmo-fit's host sequence on a design with verification on (every
// snapshot switch, netlist type 3): checks every snapshot it writes (or
// only those in `checked`, when given) and returns each one's Verilog text.
// `settings`: more design settings (JSON members). `partitions`: the design's
// partitions (a JSON array), some of them blackboxed during the fit; each
// netlist written must then simulate as the design without partitions does
// (the atoms the fit works on are the shells' while they are active).
std::map<std::string, std::string> fit_and_check(const std::string& name, std::vector<std::string> args,
                                                 const std::string& settings_more = "",
                                                 const std::string& partitions = "",
                                                 const std::set<std::string>& checked = {}) {
  std::map<std::string, std::string> texts;
  const bool whole = !partitions.empty();
  const fs::path dir = scratch(name);
  // The component writes its scripts under the project directory.
  fs::current_path(dir);
  auto options = [&](const std::string& file, const std::string& more, velmo_fit::OPTIONS* o) {
    const fs::path settings = dir / file;
    std::ofstream(settings) << "{" << more << R"("options": [{"id": 627, "type": 1, "value": "on"}],
 "cfg": {"fitter_write_eqcheck_for_planned": "on", "fitter_write_eqcheck_for_placed": "on",
         "fitter_write_eqcheck_for_routed": "on"},
 "eda": {"output_dir": ")" + (dir / "eda").string() + R"(", "netlist_type": 3}})";
    std::vector<std::string> words = args;
    words.insert(words.begin(), "velmo-fit");
    words.push_back("--settings");
    words.push_back(settings.string());
    std::vector<char*> argv;
    for (auto& a : words) argv.push_back(a.data());
    std::string why;
    const bool ok = velmo_fit::parse_options(static_cast<int>(argv.size()), argv.data(), o, &why);
    EXPECT_TRUE(ok) << why;
    return ok;
  };
  tbb::global_control parallelism(tbb::global_control::max_allowed_parallelism, 2);
  OXU_PROCESSOR_MANAGER::set_thread_count(2);
  std::string why;
  velmo_fit::PREPARED prepared;
  // The design as synthesized, without partitions: the reference of a
  // partitioned fit's netlists.
  PINS pins;
  STIMULI stimuli;
  host::testing::SIM_TRACE synthesized;
  if (whole) {
    velmo_fit::OPTIONS flat;
    if (!options("flat.json", settings_more, &flat)) return texts;
    host_reset();
    if (velmo_fit::prepare_host(flat, &prepared, &why) != 0) {
      ADD_FAILURE() << why;
      return texts;
    }
    pins = pins_of(*host::vok::top_netlist());
    stimuli = stimuli_for(pins, 10, 20261209);
    synthesized = host::testing::simulate(*host::vok::top_netlist(), pins.inputs, pins.outputs, stimuli.cycles);
  }
  velmo_fit::OPTIONS o;
  if (!options("settings.json", settings_more + (whole ? "\"partitions\": " + partitions + ", " : ""), &o)) return texts;
  host_reset();
  host::sta::verify_incremental(false);
  if (velmo_fit::prepare_host(o, &prepared, &why) != 0) {
    ADD_FAILURE() << why;
    return texts;
  }
  const std::string design = prepared.design.name;
  velmo_fit::HOST_SEQUENCE sequence(prepared.settings.partitions);
  EXPECT_TRUE(sequence.partitions().prepare(&why)) << why;
  void* lib = dlopen(velmo_fit::component_library_path(true).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    ADD_FAILURE() << dlerror();
    return texts;
  }
  std::vector<std::string> missing;
  sequence.bind(lib, o.stages, false, &missing);
  EXPECT_TRUE(missing.empty());
  velmo_fit::VERIFICATION verification;
  EXPECT_TRUE(verification.bind(lib, design, whole ? &sequence.partitions() : nullptr));
  // The netlist the fit writes is the one checked here.
  // A partitioned fit's netlists are simulated once the fit is over, side
  // by side.
  std::vector<std::pair<fs::path, fs::path>> simulations;  // netlist, work directory
  auto check = [&](const std::string& snapshot) {
    if (!checked.empty() && !checked.count(snapshot)) {
      texts[snapshot] = read_text(verification.netlist_path(snapshot));
      return;
    }
    if (whole) {
      const fs::path written = verification.netlist_path(snapshot), work = dir / "whole" / snapshot;
      fs::create_directories(work);
      texts[snapshot] = read_text(written);
      simulations.emplace_back(written, work);
      return;
    }
    const std::string text = check_snapshot(design, snapshot, dir / "all");
    EXPECT_EQ(read_text(verification.netlist_path(snapshot)), text) << snapshot;
    texts[snapshot] = text;
  };
  EXPECT_TRUE(verification.write("synthesized"));
  check("synthesized");
  sequence.after_stage = [&](const std::string& s, bool ok) {
    EXPECT_TRUE(ok) << s;
    EXPECT_TRUE(verification.after_stage(s, ok));
    if (ok) check(velmo_fit::stage_snapshot().at(s));
  };
  EXPECT_TRUE(sequence.start_up(CMP_FACADE::current()));
  EXPECT_TRUE(sequence.prepare());
  for (const std::string& s : o.stages) EXPECT_TRUE(sequence.run_stage(s, true)) << s;
  sequence.shut_down();
  std::vector<std::future<std::string>> differences;
  for (const auto& [written, work] : simulations)
    differences.push_back(std::async(std::launch::async, [&, written = written, work = work] {
      return compare_outputs(written, design, pins, stimuli, synthesized, work);
    }));
  for (std::size_t i = 0; i < simulations.size(); ++i)
    EXPECT_EQ(differences[i].get(), "") << simulations[i].first;
  // The component wrote its scripts for the stages, reading the netlists
  // written above.
  for (const char* stage : {"planned", "placed", "routed"})
    EXPECT_TRUE(fs::exists(dir / "verification" / stage / "eqcheck.tcl")) << stage;
  return texts;
}

bool tools_missing() {
  for (const char* tool : {"iverilog", "vvp", "ghdl"})
    if (!installed(tool)) return true;
  return false;
}

#define SKIP_WITHOUT_TOOLS()                                                                   \
  if (tools_missing()) GTEST_SKIP() << "iverilog, vvp or ghdl is not installed (make deps)"

TEST(EqcheckNetlists, Crc32x8EverySnapshotParsesAndSimulatesAsItsAtoms) {
  SKIP_WITHOUT_TOOLS();
  const auto texts = fit_and_check("crc32x8", {std::string(VELMO_DESIGNS_DIR) + "/yosys/crc32x8.blif"});
  for (const char* s : {"synthesized", "planned", "placed", "routed", "final"}) EXPECT_TRUE(texts.count(s)) << s;
}

TEST(EqcheckNetlists, Fir8EverySnapshotParsesAndSimulatesAsItsAtoms) {
  SKIP_WITHOUT_TOOLS();
  const auto texts = fit_and_check("fir8", {std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif"});
  for (const char* s : {"synthesized", "planned", "placed", "routed", "final"}) EXPECT_TRUE(texts.count(s)) << s;
}

// Post-route physical synthesis that moves registers: the final netlist
// differs from the placed and routed ones and still simulates as its own
// snapshot's atoms. Only the final snapshot, the one the moves made, goes
// through the simulators: the earlier ones hold the cells of the final one.
TEST(EqcheckNetlists, MovedRegistersGiveADifferentNetlistThatStillMatches) {
  SKIP_WITHOUT_TOOLS();
  const auto texts = fit_and_check(
      "tseng", {std::string(VELMO_DESIGNS_DIR) + "/mcnc/tseng.blif", "--family", "46", "--cfg",
                "muvo_post_route_in_finalize=on", "--cfg", "muvo_zota_crit_iterations=2", "--cfg",
                "test_incremental_resynthesis=off"},
      R"("family": 46, "global_clocks": ["pclk"], )", "", {"final"});
  ASSERT_TRUE(texts.count("placed") && texts.count("routed") && texts.count("final"));
  EXPECT_NE(texts.at("final"), texts.at("placed"));
  EXPECT_NE(texts.at("final"), texts.at("routed"));
}

// A partitioned fit whose preserved multiplier is blackboxed from start-up
// to the final stage: every snapshot's netlist is the whole design and
// simulates as the synthesized one (the shells' netlist would load its
// product registers with 0).
TEST(EqcheckNetlists, PartitionedFitWritesTheWholeDesignAtEverySnapshot) {
  SKIP_WITHOUT_TOOLS();
  const auto texts = fit_and_check(
      "mac16_partitions", {std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.blif"},
      R"("family": 46, "clocks": {"clk": 5000}, )",
      R"([{"name": "|", "preserved": true},
          {"name": "mult", "atoms": ["ra[*]", "rb[*]", "p[*]"], "preserved": true, "vantrel_preserve": "AUTO"},
          {"name": "acc", "atoms": ["acc[*]"]}])");
  for (const char* s : {"synthesized", "planned", "placed", "routed", "retimed", "final"}) {
    ASSERT_TRUE(texts.count(s)) << s;
    EXPECT_THAT(texts.at(s), HasSubstr("mult|p[5]")) << s;
  }
}

// Every cell the simulations model, in one design: registers on a rising
// and on a falling clock, with an inverted enable, a synchronous clear and
// power-up 1, a pipeline register, a bypassed register, a two-cell adder
// through its carry chain, an 8-input cell, a LUT with an inverted and a
// tied input, all through names that need escaping: names VHDL's standard
// packages declare (a net must not hide std_logic or rising_edge), a VHDL
// reserved word, a name ending in '_', and output pins named as the loader
// names them ("out:q1" for the design's q1) beside internal nets called q1
// and q1~1.
TEST(EqcheckNetlists, EveryModelledCellParsesAndSimulatesAsItsAtoms) {
  SKIP_WITHOUT_TOOLS();
  host_reset();
  using host::testing::SIG;
  auto n = host::testing::netlist();
  auto clk = n.io_in("clk"), clkn = n.io_in("clk n"), en = n.io_in("en[0]"), rst = n.io_in("reg");
  std::vector<SIG> in;
  for (int i = 0; i < 8; ++i) in.push_back(n.io_in(i == 3 ? "ieee" : "in" + std::to_string(i)));
  auto l = n.lut("mix\\a", {in[0], in[1], in[2]}, [](const host::testing::LUT_INPUTS& v) { return (v[0] && !v[1]) || v[2]; });
  auto r1 = n.reg("r1").clk(clk).d(l).ce(en).sclr(rst).powers_up(true);
  r1.iterm(DB_INPUT_PORT_ENA)->set_inverted(true);
  auto r2 = n.reg("q1").clk(clkn).d(r1).powers_up(true);
  r2.iterm(DB_INPUT_PORT_CLK)->set_inverted(true);
  auto r3 = n.zota_reg("rising_edge").clk(clk).d(r2).sclr(in[3]);
  auto r4 = n.reg("q1~1").clk(clk).d(r3);
  host::testing::scenes::set_bypassed(r4);
  auto t = n.lut("std_logic", {r4, in[4], in[5]}, [](const host::testing::LUT_INPUTS& v) { return v[0] != (v[1] && v[2]); });
  t.iterm(DB_INPUT_PORT_LUT_DATA, 0)->set_inverted(true);
  t.iterm(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 2), 0)->tie(false);
  auto chain = n.carry_chain("add", 2);
  std::uint64_t f0 = 0, f1 = 0;
  for (unsigned v = 0; v < 16; ++v) {
    const bool a = v & 1u, b = (v >> 1) & 1u;
    if (a != b) f0 |= 1ull << (~v & 15u);
    // The generate function read as a or b: where F0 (propagate) is 1 the
    // carry-out is the carry-in, whatever F1 says.
    if (a || b) f1 |= 1ull << (~v & 15u);
  }
  for (int k = 0; k < 2; ++k) {
    chain.cell(k).input(DB_INPUT_PORT_LUT_DATA, 0, k ? SIG(t) : SIG(r2)).input(static_cast<DB_INPUT_PORT_TYPE>(13), 0, in[6 + k]);
    chain.cells()[k]->get_lutmask() = VOK_LUTMASK(f0 | f1 << 16);
    n.io_out("s" + std::to_string(k), SIG(chain.cells()[k]->get_output_term_by_type(DB_OUTPUT_PORT_SUM, 0)));
  }
  chain.cell(0).input(DB_INPUT_PORT_CARRY_IN, 0, r3);
  n.io_out("carry", SIG(chain.cells()[1]->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0)));
  auto l8 = host::testing::scenes::lut8(n, "process", {in[0], r1, in[2], r2, in[4], t, in[6], in[7]},
                                        [](const host::testing::LUT_INPUTS& v) {
                                          return v[7] ? (v[0] && v[2]) != (v[3] || v[4]) : ((v[5] != v[6]) != (v[1] && !v[4])) != v[0];
                                        });
  n.io_out("out:wide_", l8);
  n.io_out("out:q1", r1);
  // Constant inputs: one tied high and inverted, one on the netlist's
  // ground; the LUT's name, clk_n, is in Verilog the same identifier as the
  // clk n pin's \clk_n . A register whose enable is tied low keeps its
  // power-up value.
  auto twin = n.lut("clk_n", {in[1], in[0], SIG(n.get_netlist()->get_ground_oterm()), in[2]},
                    [](const host::testing::LUT_INPUTS& v) { return ((v[0] != v[1]) != v[2]) != v[3]; });
  twin.iterm(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0)->tie(false);
  twin.iterm(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0)->set_inverted(true);
  n.io_out("out:twin", twin);
  auto frozen = n.reg("frozen").clk(clk).d(in[0]).ce(en).powers_up(true);
  frozen.iterm(DB_INPUT_PORT_ENA)->tie(true);
  n.io_out("out:frozen", frozen);
  const VOK_ATOM_NETLIST& atoms = *n.get_netlist();
  const std::string text = check_netlist(atoms, atoms, "cells", scratch("cells"));
  EXPECT_THAT(text, HasSubstr("always @(negedge \\clk_n~ibuf )"));
  EXPECT_THAT(text, HasSubstr("reg r1 = 1'b1;"));
  // The pin has the design's name; the register called q1 takes a suffix no
  // other net has.
  EXPECT_THAT(text, HasSubstr("output wire q1,\n"));
  EXPECT_THAT(text, HasSubstr("wire \\q1~1 ;"));
  EXPECT_THAT(text, HasSubstr("reg \\q1~2  = 1'b1;"));
}

// A LUT is its table looked up by its inputs, whatever its mask: 6-input
// LUTs of random masks (one reading an input inverted) and an inverter,
// driven through all 64 input values, give the atoms' outputs in every language, and each
// netlist stays small (a sum of a mask's products takes kilobytes a LUT).
TEST(EqcheckNetlists, SixInputLutsAreTablesLookedUpByTheirInputs) {
  SKIP_WITHOUT_TOOLS();
  host_reset();
  auto n = host::testing::netlist();
  std::vector<host::testing::SIG> in;
  for (int i = 0; i < 6; ++i) in.push_back(n.io_in("i" + std::to_string(i)));
  std::mt19937_64 rng(6);
  for (int k = 0; k < 4; ++k) {
    auto l = n.lut("l" + std::to_string(k), in, static_cast<std::uint64_t>(rng()));
    if (k == 3) l.iterm(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 2), 0)->set_inverted(true);
    n.io_out("out:o" + std::to_string(k), l);
  }
  n.io_out("out:n", n.lut("n", {in[5]}, [](const host::testing::LUT_INPUTS& v) { return !v[0]; }));
  const VOK_ATOM_NETLIST& atoms = *n.get_netlist();
  const PINS p = pins_of(atoms);
  STIMULI s;
  for (unsigned v = 0; v < 64; ++v) {
    s.cycles.emplace_back();
    for (int i = 0; i < 6; ++i) s.cycles.back().push_back((v >> i) & 1u);
  }
  const auto want = host::testing::simulate(atoms, p.inputs, p.outputs, s.cycles);
  const fs::path dir = scratch("lut6");
  for (int type : {2, 3, 4}) {
    ASSERT_TRUE(TAWN_NETLIST_WRITER::write(&atoms, dir.c_str(), "lut6", type));
    const fs::path file = dir / (std::string("lut6") + TAWN_NETLIST_WRITER::extension(type));
    EXPECT_EQ(compare_outputs(file, "lut6", p, s, want, dir), "") << file;
    EXPECT_LT(fs::file_size(file), 2500u) << file;
  }
}

// An asynchronous clear (which the atom simulation does not model) clears
// its register at once, between clock edges, in every language: active high
// on one register, active low (its input inverted) on another, both powering
// up at 1. Expected per cycle: the input values applied, the outputs
// sampled, then the clock's rising edge.
TEST(EqcheckNetlists, AnAsynchronousClearActsAtOnceInEveryLanguage) {
  SKIP_WITHOUT_TOOLS();
  host_reset();
  auto n = host::testing::netlist();
  auto clk = n.io_in("clk"), d = n.io_in("d"), rst = n.io_in("rst");
  auto high = n.reg("high").clk(clk).d(d).aclr(rst).powers_up(true);
  auto low = n.reg("low").clk(clk).d(d).aclr(rst).powers_up(true);
  low.iterm(DB_INPUT_PORT_ACLR)->set_inverted(true);
  n.io_out("out:q", high);
  n.io_out("out:qn", low);
  const VOK_ATOM_NETLIST& atoms = *n.get_netlist();
  const PINS p = pins_of(atoms);
  ASSERT_EQ(p.inputs, (std::vector<std::string>{"clk", "d", "rst"}));
  const STIMULI s = stimuli_for(p, 40, 7);
  host::testing::SIM_TRACE want;
  bool q[2] = {true, true};  // after the last edge
  for (const auto& cycle : s.cycles) {
    const bool clear[2] = {cycle[2], !cycle[2]};
    std::vector<bool> sample;
    for (int k = 0; k < 2; ++k) {
      if (clear[k]) q[k] = false;
      sample.push_back(q[k]);
      q[k] = !clear[k] && cycle[1];
    }
    want.push_back(sample);
  }
  const fs::path dir = scratch("aclr");
  for (int type : {2, 3, 4}) {
    ASSERT_TRUE(TAWN_NETLIST_WRITER::write(&atoms, dir.c_str(), "aclr", type));
    const fs::path file = dir / (std::string("aclr") + TAWN_NETLIST_WRITER::extension(type));
    EXPECT_EQ(compare_outputs(file, "aclr", p, s, want, dir), "") << file;
  }
}

// A black box with contents is flattened into the module under its name;
// atoms the simulations do not model are instances of empty modules
// declared in the same file. The netlist simulates as the same logic built
// flat.
TEST(EqcheckNetlists, BoxesAreFlattenedAndOtherAtomsAreEmptyModules) {
  SKIP_WITHOUT_TOOLS();
  host_reset();
  using host::testing::SIG;
  auto n = host::testing::netlist();
  auto clk = n.io_in("clk"), a = n.io_in("a"), b = n.io_in("b");
  auto box = n.blackbox("u", [](host::testing::NETLIST_BUILDER& c) {
    auto x = c.lut("x", {c.input("i0"), c.input("i1")}, [](const host::testing::LUT_INPUTS& v) { return v[0] && !v[1]; });
    c.output("o", x);
  });
  box.in("i0", a).in("i1", b);
  n.io_out("o", box.out("o"));
  n.iopll("pll").ref(clk).outputs(2);
  n.atom(VOK_ATOM_KIND::CLKBUF, "gbuf").input(DB_INPUT_PORT_BOX, 0, a);

  VOK_ATOM_NETLIST flat;
  host::testing::NETLIST_BUILDER f(&flat);
  f.io_in("clk");
  f.io_out("o", f.lut("x", {f.io_in("a"), f.io_in("b")}, [](const host::testing::LUT_INPUTS& v) { return v[0] && !v[1]; }));

  const std::string text = check_netlist(*n.get_netlist(), flat, "top", scratch("box"));
  EXPECT_THAT(text, HasSubstr("assign \\u|x  = "));
  EXPECT_THAT(text, HasSubstr("module velmo_iopll ("));
  EXPECT_THAT(text, HasSubstr("velmo_iopll \\pll~inst  (.i3388_0(\\clk~ibuf )"));
  EXPECT_THAT(text, HasSubstr("velmo_clkbuf \\gbuf~inst  (.i1_0(\\a~ibuf ), .o1_0(gbuf));"));
}

// One LUT mask bit flipped in the written netlist (one the atom simulation
// shows at an output): the comparison fails and names that output.
TEST(EqcheckNetlists, AFlippedMaskBitIsCaughtAtItsOutput) {
  SKIP_WITHOUT_TOOLS();
  host_reset();
  velmo_fit::OPTIONS o;
  o.design = std::string(VELMO_DESIGNS_DIR) + "/yosys/crc32x8.blif";
  velmo_fit::PREPARED prepared;
  std::string why;
  ASSERT_EQ(velmo_fit::prepare_host(o, &prepared, &why), 0) << why;
  VOK_ATOM_NETLIST& atoms = *host::vok::top_netlist();
  const PINS p = pins_of(atoms);
  const STIMULI s = stimuli_for(p, 40, 20261208);
  const auto want = host::testing::simulate(atoms, p.inputs, p.outputs, s.cycles);
  // The first LUT mask bit whose flip the atom simulation sees.
  VOK_ATOM_NODE* lut = nullptr;
  std::uint64_t flipped = 0;
  std::string first_output;
  for (VOK_ATOM_NODE* a : atoms.get_atom_list()) {
    if (a->get_kind() != VOK_ATOM_KIND::COMB_CELL || lut != nullptr) continue;
    const std::uint64_t mask = a->get_lutmask().get_value();
    for (int bit = 0; bit < 64 && lut == nullptr; ++bit) {
      a->get_lutmask() = VOK_LUTMASK(mask ^ (std::uint64_t{1} << bit));
      const auto got = host::testing::simulate(atoms, p.inputs, p.outputs, s.cycles);
      for (std::size_t c = 0; c < got.size() && first_output.empty(); ++c)
        for (std::size_t k = 0; k < got[c].size() && first_output.empty(); ++k)
          if (got[c][k] != want[c][k]) first_output = p.outputs[k];
      if (!first_output.empty()) {
        lut = a;
        flipped = mask ^ (std::uint64_t{1} << bit);
      }
      a->get_lutmask() = VOK_LUTMASK(mask);
    }
  }
  ASSERT_NE(lut, nullptr);
  const fs::path dir = scratch("flipped");
  const std::uint64_t mask = lut->get_lutmask().get_value();
  lut->get_lutmask() = VOK_LUTMASK(flipped);
  ASSERT_TRUE(TAWN_NETLIST_WRITER::write(&atoms, dir.c_str(), "crc32x8", 3));
  lut->get_lutmask() = VOK_LUTMASK(mask);
  const std::string found = compare_with_atoms(atoms, dir / "crc32x8.vo", "crc32x8", dir);
  EXPECT_THAT(found, HasSubstr("output " + first_output + " differs at cycle ")) << found;
  // The same netlist written from the unchanged atoms matches.
  ASSERT_TRUE(TAWN_NETLIST_WRITER::write(&atoms, dir.c_str(), "crc32x8", 3));
  EXPECT_EQ(compare_with_atoms(atoms, dir / "crc32x8.vo", "crc32x8", dir), "");
}

// The design's buses are vector ports, each bit under its own index, the
// range running from the index of the last bit listed to that of the first:
// a (listed 3 down to 0) is [0:3], b (0 up to 2) [2:0], a lone s[4] [4:4],
// the outputs y (0, 1) [1:0] and z (2, 1) [1:2], and the bus my.bus under
// its escaped name. Bits with a hole (h), out of order (o) or beside a pin
// of the base's own name (c) stay scalar ports. A register named as an
// output bit is renamed as one named as a pin is. Each language's netlist
// simulates as its atoms through a bench that binds a bus bit by bit.
TEST(EqcheckNetlists, BusPinsAreVectorPortsInEveryLanguage) {
  SKIP_WITHOUT_TOOLS();
  host_reset();
  using host::testing::SIG;
  using IN = host::testing::LUT_INPUTS;
  auto n = host::testing::netlist();
  auto clk = n.io_in("clk");
  std::map<std::string, SIG> in;
  for (const char* name : {"a[3]", "a[2]", "a[1]", "a[0]", "b[0]", "b[1]", "b[2]", "h[0]", "h[2]", "o[1]", "o[0]",
                           "o[2]", "c", "c[0]", "my.bus[0]", "my.bus[1]", "s[4]"})
    in[name] = n.io_in(name);
  auto odd = [](const IN& v) {
    bool x = false;
    for (int i = 0; i < v.n; ++i) x = x != v[i];
    return x;
  };
  n.io_out("out:y[0]", n.lut("l0", {in["a[0]"], in["b[2]"], in["h[2]"], in["a[3]"]}, [](const IN& v) {
    return (v[0] && !v[1]) || (v[2] != v[3]);
  }));
  auto d = n.lut("l1", {in["a[3]"], in["o[1]"], in["c[0]"], in["b[0]"]}, [](const IN& v) { return (v[0] && v[1]) || v[2] != v[3]; });
  n.io_out("out:y[1]", n.reg("y[1]").clk(clk).d(d));
  n.io_out("out:z[2]", n.lut("l2", {in["o[0]"], in["o[2]"], in["c"], in["my.bus[1]"], in["s[4]"]}, odd));
  n.io_out("out:z[1]", n.lut("l3", {in["my.bus[0]"], in["a[1]"], in["a[2]"], in["b[1]"], in["h[0]"]}, [](const IN& v) {
    return (v[0] && v[1]) != (v[2] || (v[3] && !v[4]));
  }));
  const fs::path dir = scratch("buses");
  const VOK_ATOM_NETLIST& atoms = *n.get_netlist();
  const std::string verilog = check_netlist(atoms, atoms, "buses", dir);
  for (const char* port : {"input wire [0:3] a,\n", "input wire [2:0] b,\n", "input wire \\h[0] ,\n",
                           "input wire \\h[2] ,\n", "input wire \\o[1] ,\n", "input wire \\o[0] ,\n", "input wire c,\n",
                           "input wire \\c[0] ,\n", "input wire [1:0] \\my.bus ,\n", "input wire [4:4] s,\n",
                           "output wire [1:0] y,\n", "output wire [1:2] z\n);"})
    EXPECT_THAT(verilog, HasSubstr(port));
  EXPECT_THAT(verilog, HasSubstr("reg \\y[1]~1  = 1'b0;"));
  EXPECT_THAT(verilog, HasSubstr("assign \\out:y[1]~obuf  = \\y[1]~1 ;\n  assign y[1] = \\out:y[1]~obuf ;"));
  EXPECT_THAT(verilog, HasSubstr("assign \\my.bus[1]~ibuf  = \\my.bus [1];"));
  EXPECT_THAT(read_text(dir / "buses.sv"), HasSubstr("output logic [1:2] z\n);"));
  const std::string vhdl = read_text(dir / "buses.vho");
  for (const char* port : {"a : in std_logic_vector(0 to 3);", "b : in std_logic_vector(2 downto 0);",
                           "\\h[0]\\ : in std_logic;", "\\my.bus\\ : in std_logic_vector(1 downto 0);",
                           "s : in std_logic_vector(4 downto 4);", "y : out std_logic_vector(1 downto 0);",
                           "z : out std_logic_vector(1 to 2)\n"})
    EXPECT_THAT(vhdl, HasSubstr(port));
  EXPECT_THAT(vhdl, HasSubstr("  y(1) <= \\out:y[1]~obuf\\;"));
  EXPECT_THAT(vhdl, HasSubstr("  \\my.bus[1]~ibuf\\ <= \\my.bus\\(1);"));
}

// VHDL names stay plain unless the language or the netlist's own text needs
// them escaped: upper-case ports and ports named as std.standard's or
// std_logic_1164's declarations (error, note, read) stay plain; a reserved
// word in any case (Signal), a name the netlist's text uses (STD_LOGIC,
// Work), a name that is no basic identifier (x_, a__b) and a net equal but
// for case to a port (irq beside IRQ, the buffer we beside WE) are extended
// identifiers; a net named exactly as a port (Q) takes a suffix, as in
// Verilog. Every netlist
// analyses and simulates as its atoms through a bench that binds the plain
// names as they are.
TEST(EqcheckNetlists, VhdlNamesAreEscapedOnlyWhereTheyMustBe) {
  SKIP_WITHOUT_TOOLS();
  host_reset();
  using host::testing::SIG;
  using IN = host::testing::LUT_INPUTS;
  auto n = host::testing::netlist();
  auto clk = n.io_in("Clk");
  std::map<std::string, SIG> in;
  for (const char* name : {"IRQ", "error", "note", "Signal", "STD_LOGIC", "x_", "a__b"}) in[name] = n.io_in(name);
  in["WE"] = n.io_in("WE", "we");
  auto irq = n.lut("irq", {in["IRQ"], in["WE"], in["error"]}, [](const IN& v) { return v[0] != (v[1] && v[2]); });
  auto read = n.lut("read", {irq, in["note"], in["Signal"]}, [](const IN& v) { return v[0] || (v[1] && !v[2]); });
  auto mix = n.lut("mix", {in["STD_LOGIC"], in["x_"], in["a__b"], read}, [](const IN& v) { return (v[0] != v[1]) != (v[2] && v[3]); });
  auto work = n.reg("Work").clk(clk).d(mix);
  n.io_out("out:failure", work);
  n.io_out("out:Q", n.lut("Q", {read, work}, [](const IN& v) { return v[0] && !v[1]; }));
  const fs::path dir = scratch("vhdl_names");
  const VOK_ATOM_NETLIST& atoms = *n.get_netlist();
  const std::string verilog = check_netlist(atoms, atoms, "Names", dir);
  EXPECT_THAT(verilog, HasSubstr("wire \\Q~1 ;"));
  EXPECT_THAT(verilog, HasSubstr("wire we;"));
  const std::string vhdl = read_text(dir / "Names.vho");
  EXPECT_THAT(vhdl, HasSubstr("entity Names is\n"));
  for (const char* plain : {"    Clk : in std_logic;", "    IRQ : in std_logic;", "    WE : in std_logic;",
                            "    error : in std_logic;", "    note : in std_logic;", "    failure : out std_logic;",
                            "    Q : out std_logic\n", "  signal read : std_logic;"})
    EXPECT_THAT(vhdl, HasSubstr(plain));
  for (const char* extended : {"    \\Signal\\ : in std_logic;", "    \\STD_LOGIC\\ : in std_logic;",
                               "    \\x_\\ : in std_logic;", "    \\a__b\\ : in std_logic;", "  signal \\irq\\ : std_logic;",
                               "  signal \\Q~1\\ : std_logic;", "  signal \\we\\ : std_logic;", "  signal \\Work\\ : std_logic := '0';"})
    EXPECT_THAT(vhdl, HasSubstr(extended));
}

// Ports keep the names the design spells. Bytes outside ASCII are written
// as '_', and a name so written never takes a port's name: beside the bus
// caf__, café's bits are the bus caf__~1 and cafè is caf__~2, so a bench
// binding caf__ drives the user's own caf__; x\xffy beside x_y is x_y~1.
// A port so written may take a name only a net has (über is the bus __ber,
// the LUT __ber is renamed). A port named as its module (coll in module
// coll) stays plain: iverilog and ghdl both take it (ghdl warns that the
// port hides the entity). A net named as the module is renamed, and a net
// with bytes replaced takes no name the design spells. Each language's
// netlist parses and simulates as its atoms through a bench that binds
// caf__, coll, x_y, __ber and na__ve (naïve) as they read and café's,
// cafè's and x\xffy's ports by their suffixed names.
TEST(EqcheckNetlists, PortsKeepTheDesignsNamesBesideReplacedBytesAndTheModulesName) {
  SKIP_WITHOUT_TOOLS();
  host_reset();
  using host::testing::SIG;
  using IN = host::testing::LUT_INPUTS;
  auto n = host::testing::netlist();
  std::map<std::string, SIG> in;
  for (const char* name : {"coll[0]", "coll[1]", "caf\xc3\xa9[0]", "caf\xc3\xa9[1]", "caf__[0]", "caf__[1]",
                           "caf\xc3\xa8", "x\xffy", "x_y", "\xc3\xbc" "ber[0]", "\xc3\xbc" "ber[1]"})
    in[name] = n.io_in(name);
  n.io_out("out:y0", n.lut("l0", {in["coll[0]"], in["caf\xc3\xa9[0]"], in["caf__[1]"]},
                           [](const IN& v) { return (v[0] && !v[1]) || v[2]; }));
  n.io_out("out:na\xc3\xafve", n.lut("l1", {in["coll[1]"], in["caf\xc3\xa9[1]"], in["caf__[0]"], in["caf\xc3\xa8"]},
                                     [](const IN& v) { return (v[0] != (v[1] && !v[2])) || (v[3] && v[2]); }));
  n.io_out("out:y2", n.lut("__ber", {in["x\xffy"], in["x_y"], in["\xc3\xbc" "ber[0]"], in["\xc3\xbc" "ber[1]"]},
                           [](const IN& v) { return (v[0] && !v[1]) != (v[2] || !v[3]); }));
  const VOK_ATOM_NETLIST& atoms = *n.get_netlist();
  const PINS p = pins_of(atoms);
  const STIMULI s = stimuli_for(p, 40, 86);
  const host::testing::SIM_TRACE want = host::testing::simulate(atoms, p.inputs, p.outputs, s.cycles);
  PINS bench = p;
  const std::map<std::string, std::string> suffixed = {
      {"caf\xc3\xa9[0]", "caf__~1[0]"}, {"caf\xc3\xa9[1]", "caf__~1[1]"}, {"caf\xc3\xa8", "caf__~2"}, {"x\xffy", "x_y~1"}};
  for (std::string& pin : bench.inputs)
    if (suffixed.count(pin)) pin = suffixed.at(pin);
  const fs::path dir = scratch("replaced");
  for (int type : {2, 3, 4}) {
    ASSERT_TRUE(TAWN_NETLIST_WRITER::write(&atoms, dir.c_str(), "coll", type));
    const fs::path file = dir / (std::string("coll") + TAWN_NETLIST_WRITER::extension(type));
    const RUN parse = type == 2 ? run("cd " + dir.string() + " && ghdl -a --std=08 -Wno-hide " + file.string())
                                : run("iverilog -g2012 -t null " + file.string());
    EXPECT_EQ(parse.status, 0) << file << ":\n" << parse.out;
    EXPECT_EQ(parse.out, "") << file;
    EXPECT_EQ(compare_outputs(file, "coll", bench, s, want, dir), "") << file;
  }
  const std::string verilog = read_text(dir / "coll.vo");
  EXPECT_THAT(verilog, HasSubstr("module coll (\n  input wire [1:0] coll,\n  input wire [1:0] \\caf__~1 ,\n"
                                 "  input wire [1:0] caf__,\n  input wire \\caf__~2 ,\n  input wire \\x_y~1 ,\n"
                                 "  input wire x_y,\n  input wire [1:0] __ber,\n"
                                 "  output wire y0,\n  output wire na__ve,\n  output wire y2\n);"));
  EXPECT_THAT(verilog, HasSubstr("  wire \\__ber~1 ;\n"));
  // Nets too: the input buffer of the user's caf__[0] keeps its name.
  EXPECT_THAT(verilog, HasSubstr("  assign \\caf__[0]~ibuf  = caf__[0];\n"));
  EXPECT_THAT(verilog, HasSubstr("  assign \\caf__[0]~ibuf~1  = \\caf__~1 [0];\n"));
  EXPECT_THAT(read_text(dir / "coll.sv"), HasSubstr("module coll (\n  input logic [1:0] coll,\n"));
  EXPECT_THAT(read_text(dir / "coll.vho"),
              HasSubstr("entity coll is\n  port (\n    coll : in std_logic_vector(1 downto 0);\n"
                        "    \\caf__~1\\ : in std_logic_vector(1 downto 0);\n"
                        "    \\caf__\\ : in std_logic_vector(1 downto 0);\n    \\caf__~2\\ : in std_logic;\n"
                        "    \\x_y~1\\ : in std_logic;\n    x_y : in std_logic;\n"
                        "    \\__ber\\ : in std_logic_vector(1 downto 0);\n"
                        "    y0 : out std_logic;\n    \\na__ve\\ : out std_logic;\n    y2 : out std_logic\n  );"));
  // A LUT named as the module is renamed.
  EXPECT_THAT(TAWN_NETLIST_WRITER::netlist_text(atoms, "l0", 2), HasSubstr("  signal \\l0~1\\ : std_logic;\n"));
  EXPECT_THAT(TAWN_NETLIST_WRITER::netlist_text(atoms, "l0", 3), HasSubstr("  wire \\l0~1 ;\n"));
}

// A write that fails part-way (a file size limit below the netlist's size,
// in a child process that ignores SIGXFSZ so that the write sees EFBIG)
// reports failure and leaves no partial netlist: nothing under the final
// name and nothing beside it, and a netlist written there before stays whole.
TEST(EqcheckNetlists, AWriteThatFailsLeavesNoPartialNetlist) {
  host_reset();
  using host::testing::SIG;
  auto n = host::testing::netlist();
  SIG s = n.io_in("a");
  const SIG b = n.io_in("b");
  for (int i = 0; i < 16; ++i)
    s = n.lut("x" + std::to_string(i), {s, b}, [](const host::testing::LUT_INPUTS& v) { return v[0] != v[1]; });
  n.io_out("out:y", s);
  const VOK_ATOM_NETLIST& atoms = *n.get_netlist();
  const fs::path dir = scratch("limit");
  auto write_limited = [&](int type) {
    const pid_t pid = fork();
    if (pid == 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{512, 512};
      setrlimit(RLIMIT_FSIZE, &limit);
      _exit(TAWN_NETLIST_WRITER::write(&atoms, dir.c_str(), "top", type) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  auto files = [&] {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
  };
  for (int type : {2, 3, 4}) {
    const std::string file = std::string("top") + TAWN_NETLIST_WRITER::extension(type);
    SCOPED_TRACE(file);
    EXPECT_EQ(write_limited(type), 1);
    EXPECT_THAT(files(), ::testing::IsEmpty());
    ASSERT_TRUE(TAWN_NETLIST_WRITER::write(&atoms, dir.c_str(), "top", type));
    const std::string whole = read_text(dir / file);
    ASSERT_GT(whole.size(), 512u);
    EXPECT_EQ(write_limited(type), 1);
    EXPECT_EQ(read_text(dir / file), whole);
    EXPECT_THAT(files(), ::testing::ElementsAre(file));
    fs::remove(dir / file);
  }
}

}  // namespace
