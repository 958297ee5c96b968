#!/usr/bin/env bash
# A test bench written for the RTL binds to the fitted netlists unchanged.
# The design has an input bus, an output bus declared ascending ([0:7]) and
# one descending, upper-case ports and a port named error; tools/velmo-synth
# synthesizes it with a parameter set (-P) and velmo-fit fits it once per
# netlist language with netlists on. Then:
# - one Verilog bench that instantiates the design by its port names
#   (.AB(AB), .IRQ(IRQ), .error(error)) runs, unchanged, against the RTL and
#   against the final .vo and .sv in iverilog; it prints each cycle's inputs
#   and outputs, and the three traces must be the same;
# - a VHDL bench binding every port by its RTL name (AB => AB, ...) replays
#   in ghdl, against the final .vho, the inputs the RTL's trace holds and
#   compares the outputs with the trace's, cycle by cycle.
#
#   rtl_bench.sh VELMO_FIT VELMO_SYNTH WORK_DIR
set -u
fit=$1 synth=$2 work=$3
for tool in yosys iverilog vvp ghdl; do
  command -v $tool >/dev/null ||
    { echo "SKIPPED: $tool is missing (Debian packages yosys, iverilog, ghdl; 'make deps' installs them)"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
failed=0
fail() { echo "FAILED: $*"; failed=1; }

# W is 4 unless -P sets it: at 4 the bench's 8-bit AB would not match.
cat >dut.v <<'V'
module dut #(parameter W = 4) (
  input clk,
  input [W-1:0] AB,
  input [0:3] SEL,
  input IRQ, WE,
  output reg [0:7] q = 0,
  output [3:0] sum,
  output reg error = 0);
  always @(posedge clk) begin
    if (WE) q <= AB ^ {SEL, ~SEL};
    error <= IRQ & ^AB[W-1:W/2];
  end
  assign sum = AB[W-1:W-4] + SEL;
endmodule
V

cat >tb.v <<'V'
`timescale 1ns/1ns
module tb;
  reg clk = 0, IRQ = 0, WE = 0;
  reg [7:0] AB = 0;
  reg [0:3] SEL = 0;
  wire [0:7] q;
  wire [3:0] sum;
  wire error;
  integer cycle, seed = 11;
  dut dut (.clk(clk), .AB(AB), .SEL(SEL), .IRQ(IRQ), .WE(WE), .q(q), .sum(sum), .error(error));
  initial begin
    for (cycle = 0; cycle < 40; cycle = cycle + 1) begin
      {AB, SEL, IRQ, WE} = $random(seed);
      #1 $display("%b %b %b %b %b %b %b", AB, SEL, IRQ, WE, q, sum, error);
      #4 clk = 1;
      #5 clk = 0;
    end
    $finish;
  end
endmodule
V

cat >tb.vhd <<'V'
library ieee;
use ieee.std_logic_1164.all;
use std.textio.all;

entity tb is
end entity tb;

architecture replay of tb is
  signal clk, IRQ, WE : std_logic := '0';
  signal AB : std_logic_vector(7 downto 0) := (others => '0');
  signal SEL : std_logic_vector(0 to 3) := (others => '0');
  signal q : std_logic_vector(0 to 7);
  signal sum : std_logic_vector(3 downto 0);
  signal error : std_logic;
begin
  dut: entity work.dut port map (clk => clk, AB => AB, SEL => SEL, IRQ => IRQ, WE => WE, q => q, sum => sum,
                                 error => error);
  process
    file trace : text open read_mode is "rtl.trace";
    variable l : line;
    variable ab_v : std_logic_vector(7 downto 0);
    variable sel_v : std_logic_vector(0 to 3);
    variable irq_v, we_v, error_v : std_logic_vector(0 to 0);
    variable q_v : std_logic_vector(0 to 7);
    variable sum_v : std_logic_vector(3 downto 0);
    variable cycles, bad : natural := 0;
  begin
    while not endfile(trace) loop
      readline(trace, l);
      read(l, ab_v); read(l, sel_v); read(l, irq_v); read(l, we_v);
      read(l, q_v); read(l, sum_v); read(l, error_v);
      AB <= ab_v; SEL <= sel_v; IRQ <= irq_v(0); WE <= we_v(0);
      wait for 1 ns;
      if q /= q_v or sum /= sum_v or error /= error_v(0) then
        bad := bad + 1;
        report "cycle " & integer'image(cycles) & ": q " & to_string(q) & " sum " & to_string(sum) & " error " &
               std_logic'image(error) & ", the RTL gives " & to_string(q_v) & " " & to_string(sum_v) & " " &
               to_string(error_v);
      end if;
      cycles := cycles + 1;
      wait for 4 ns;
      clk <= '1';
      wait for 5 ns;
      clk <= '0';
    end loop;
    report "replayed " & integer'image(cycles) & " cycles, " & integer'image(bad) & " differ";
    wait;
  end process;
end architecture replay;
V

"$synth" -P W=8 dut dut.blif dut.v >synth.log 2>&1 || { cat synth.log; echo "FAILED: velmo-synth"; exit 1; }
# The RTL runs with the parameter velmo-synth set, given from outside the
# bench.
echo 'module rtl_parameters; defparam tb.dut.W = 8; endmodule' >rtl_parameters.v
iverilog -o rtl.vvp tb.v dut.v rtl_parameters.v >iverilog-rtl.log 2>&1 && [ ! -s iverilog-rtl.log ] &&
  vvp -n rtl.vvp >rtl.out || { cat iverilog-rtl.log; fail "the RTL bench"; }
grep -E '^[01]' rtl.out >rtl.trace
[ "$(wc -l <rtl.trace)" = 40 ] || fail "the RTL gave $(wc -l <rtl.trace) cycles"
# The outputs change: a constant design would match anything.
[ "$(cut -d' ' -f5-7 rtl.trace | sort -u | wc -l)" -gt 20 ] || fail "the RTL's outputs hardly change"

for lang in 3:vo 4:sv 2:vho; do
  type=${lang%%:*} ext=${lang#*:}
  printf '{"options": [{"id": 627, "type": 1, "value": "on"}], "eda": {"output_dir": "eda-%s", "netlist_type": %s}}\n' \
    "$ext" "$type" >"$ext.json"
  "$fit" dut.blif --settings "$ext.json" >"fit-$ext.log" 2>&1 || { tail -5 "fit-$ext.log"; fail "velmo-fit ($ext)"; continue; }
  netlist=eda-$ext/final/dut.$ext
  [ -s "$netlist" ] || { fail "no final netlist $netlist"; continue; }
  if [ "$ext" = vho ]; then
    mkdir -p ghdl
    ghdl -a --std=08 --workdir=ghdl "$netlist" tb.vhd >ghdl.log 2>&1 && ghdl -e --std=08 --workdir=ghdl tb >>ghdl.log 2>&1 ||
      { cat ghdl.log; fail "the VHDL bench does not build against $netlist"; continue; }
    ghdl -r --std=08 --workdir=ghdl tb >vho.out 2>&1
    grep -q "replayed 40 cycles, 0 differ" vho.out || { head -5 vho.out; fail "$netlist differs from the RTL"; }
  else
    iverilog -g2012 -o "$ext.vvp" tb.v "$netlist" >"iverilog-$ext.log" 2>&1 && [ ! -s "iverilog-$ext.log" ] ||
      { cat "iverilog-$ext.log"; fail "the bench does not build against $netlist"; continue; }
    vvp -n "$ext.vvp" | grep -E '^[01]' >"$ext.trace"
    cmp -s rtl.trace "$ext.trace" || { diff rtl.trace "$ext.trace" | head -5; fail "$netlist differs from the RTL"; }
  fi
done
[ $failed = 0 ] && echo "the RTL's benches bind to the .vo, .sv and .vho and every cycle matches"
exit $failed
