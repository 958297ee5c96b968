#!/usr/bin/env bash
# tools/velmo-synth around a user's slips, one group of cases per run (each
# a few tiny yosys runs):
#
# - includes: an `include cycle ends at once with its chain named, a guarded
#   pair and a header behind a false `ifdef pass; nesting past 64 is
#   refused; a missing header is named with the file and line that asks
#   for it; the header beside the source wins over a -I folder, and a
#   same-named header in the working directory, which yosys would read
#   instead, is refused with both files named.
# - macros: an `include through a macro whose value is a string is
#   followed, a cycle through it refused; guards that depend on -D, on a
#   `define in a branch not taken and on `undef are read as yosys reads them.
# - output: OUT that is a header or a memory file the design reads (by
#   another name, through .. or a link) is refused and the file kept; OUT
#   in a missing folder is refused before yosys runs; a copy that fails
#   half-way, or stops at the file size limit, leaves the earlier OUT whole
#   and no partial file; a link OUT is written through, a rewritten one
#   keeps its mode; a run that succeeds says what it wrote, its flip-flops
#   and each memory yosys made flip-flops of.
# - values: -P values that do not fit their parameter, negative values,
#   a name given twice, and file and folder names that are not UTF-8 are
#   refused, named; a -P string value reaches the design as the RTL reads
#   it, escapes too, or is refused; a newline in a -D value is refused; --
#   ends the options.
# - signals: SIGTERM, SIGHUP (and SIGINT) to velmo-synth alone while yosys
#   runs a program of its own stop yosys and every program it started,
#   remove the work folder and yosys's own, and end with 128 + the signal's
#   number.
# - stops: velmo-synth at its edges (a NUL byte, closed or unwritable
#   standard output, limits); killed outright, it leaves no program running
#   and no work folder or partial OUT.
#
# A case waits for the event it checks (a process, a file), never for a
# time: the only limits are guards of minutes against a hang. Where a yosys
# that ends by itself could hide a fault, a stand-in on PATH that runs until
# stopped takes its place.
#
#   synth_checks.sh VELMO_SYNTH WORK_DIR includes|macros|output|values|signals|stops
set -u
synth=$1 work=$2 group=$3
command -v yosys >/dev/null ||
  { echo "SKIPPED: yosys is missing (Debian package yosys; 'make deps' installs it)"; exit 77; }
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
failed=0
fail() { echo "FAILED: $*"; failed=1; }
# Runs velmo-synth; its status in $status, stdout and stderr in out.txt.
run() {
  "$synth" "$@" >out.txt 2>&1
  status=$?
}
expect() {  # STATUS TEXT: the last run ended STATUS and said TEXT
  [ "$status" -eq "$1" ] || fail "exit $status, not $1: $(cat out.txt)"
  grep -qF -- "$2" out.txt || fail "no '$2' in: $(cat out.txt)"
}
# The value a BLIF drives on the constant output bus PORT.
constant() {
  awk -v p="$2" '
    /^\./ { name = ($1 == ".names" && NF == 2) ? $2 : ""; next }
    name ~ ("^" p "\\[[0-9]+\\]$") && $1 == "1" {
      i = name; sub(/.*\[/, "", i); sub(/\]$/, "", i); v += 2 ^ i
    }
    END { printf "%d\n", v }' "$1"
}

# Parameters of each kind: no range, a range, a string.
cat >w.v <<'V'
module w #(parameter W = 4, parameter [7:0] V = 3, parameter TAG = "ab")
  (input clk, output reg [W-1:0] q, output [7:0] v, output [15:0] tag);
  always @(posedge clk) q <= q + 1;
  assign v = V;
  assign tag = TAG;
endmodule
V

# How many processes of process group $1 run (zombies do not), or with
# -p, whether process $2 runs. cat reads on past a process that ends
# meanwhile.
running() {
  local field=3
  [ "$1" = -p ] && { field=0; shift; }
  cat /proc/[0-9]*/stat 2>/dev/null | awk -v g="$1" -v f=$field '
    { pid = $1; sub(/.*\) /, ""); if ((f ? $f : pid) == g && $1 != "Z") n++ } END { print n + 0 }'
}
no_process() { [ "$(running "$@")" = 0 ]; }
# Polls until "$@" succeeds: a check waits for the event it checks, the 5
# minutes only a guard against a hang.
until_ok() {
  for _ in $(seq 3000); do
    "$@" && return
    sleep 0.1
  done
  return 1
}
ended() { ! kill -0 "$1" 2>/dev/null; }
# The first child named $2 (any when empty) of process $1, once it has one.
child() { pgrep -P "$1" ${2:+-x "$2"} | head -1 | grep . || { ended "$1" && echo; }; }
child_of() { local c; c=$(until_ok child "$@") && [ -n "$c" ] && echo "$c"; }
# Background job $1 ended, its status in $status; one that runs on is killed.
finish() {
  until_ok ended "$1" || { fail "still running after 5 minutes: $(cat out.txt)"; kill -KILL "$1"; }
  wait "$1"
  status=$?
}
# A yosys on PATH (fake/yosys) that runs until it is stopped, with a folder
# in TMPDIR (as yosys-abc makes one) and programs of its own.
fake_yosys() {
  mkdir -p fake
  printf '#!/bin/sh\nmktemp -d >/dev/null\nsleep 100000 | cat\n' >fake/yosys
  chmod +x fake/yosys
}

case $group in
includes)
  # a.vh and b.vh include each other with no guard.
  printf '`include "b.vh"\n' >a.vh
  printf '// b\n`include "a.vh"\n' >b.vh
  printf '`include "a.vh"\nmodule t(input a, output y); assign y = a; endmodule\n' >cycle.v
  timeout 300 "$synth" t none.blif cycle.v >out.txt 2>&1  # yosys would follow the cycle without end
  status=$?
  expect 1 "velmo-synth: \`include cycle: cycle.v:1 -> a.vh:1 -> b.vh:2 -> a.vh again"
  [ "$(wc -l <out.txt)" -eq 1 ] || fail "the cycle is not one line: $(cat out.txt)"

  # The same pair guarded, a define made inside it, and a missing header
  # behind a false `ifdef, a comment and an `else taken.
  mkdir -p g
  printf '`ifndef GA\n`define GA\n`include "gb.vh"\n`define K 8'"'"'h5a\n`endif\n' >g/ga.vh
  printf '`ifndef GB /* guard */\n`define GB\n`include "ga.vh"\n`endif\n' >g/gb.vh
  cat >g/guarded.v <<'V'
`include "ga.vh"
`include "gb.vh"
`ifdef NOT_DEFINED
`include "missing.vh"
`elsif GA
// `include "missing.vh"
/* `include "missing.vh" */
`else
`include "missing.vh"
`endif
`ifdef GA
`elsif GB
`include "missing.vh"
`endif
module g(output [7:0] k); assign k = `K; endmodule
V
  run g guarded.blif g/guarded.v
  expect 0 "velmo-synth: wrote guarded.blif"
  [ "$(constant guarded.blif k)" = 90 ] || fail "the guarded pair does not give k = 8'h5a"

  # Nesting past 64: n0.vh includes n1.vh ... each defining a macro of its own.
  for i in $(seq 0 70); do
    printf '`define N%d\n`include "n%d.vh"\n' "$i" $((i + 1)) >n$i.vh
  done
  : >n71.vh
  printf '`include "n0.vh"\nmodule t(input a, output y); assign y = a; endmodule\n' >deep.v
  run t none.blif deep.v
  expect 1 "velmo-synth: \`include nested deeper than 64: deep.v:1 -> n0.vh:2 -> n1.vh:2 ->"
  grep -qE -- "-> n63.vh:2 -> n64.vh$" out.txt || fail "the chain does not end at 64: $(cat out.txt)"

  # A missing header: the including file and line, and -I.
  mkdir -p m
  printf 'module m(input a, output y);\n`include "cfg.vh"\nassign y = a;\nendmodule\n' >m/m.v
  run -I g m none.blif m/m.v
  expect 2 "velmo-synth: m/m.v:2: cannot find the \`include file 'cfg.vh' (beside 'm/m.v', in 'g' or in the working directory): give its folder with -I DIR"
  [ -e none.blif ] && fail "a refused run wrote its output"

  # One header name beside the source, in a -I folder and in the working
  # directory: the working directory's copy is refused, both named; without
  # it the one beside the source wins, then the -I folder's.
  mkdir -p src inc
  printf '`include "k.vh"\nmodule top(output [7:0] tag); assign tag = `CFGV; endmodule\n' >src/top.v
  echo "\`define CFGV 8'h11" >src/k.vh
  echo "\`define CFGV 8'h22" >inc/k.vh
  echo "\`define CFGV 8'h44" >k.vh
  run -I inc top tag.blif src/top.v
  expect 2 "velmo-synth: src/top.v:1: \`include \"k.vh\" is 'src/k.vh', but yosys would read 'k.vh' in the working directory"
  [ -e tag.blif ] && fail "a refused header wrote the output"
  rm k.vh
  run -I inc top tag.blif src/top.v
  expect 0 "wrote tag.blif"
  [ "$(constant tag.blif tag)" = 17 ] || fail "not the header beside the source (8'h11): $(constant tag.blif tag)"
  rm src/k.vh
  echo "\`define CFGV 8'h44" >k.vh
  run -I inc top tag.blif src/top.v
  expect 2 "is 'inc/k.vh', but yosys would read 'k.vh' in the working directory"
  rm k.vh
  run -I inc top tag.blif src/top.v
  [ "$(constant tag.blif tag)" = 34 ] || fail "not the -I folder's header (8'h22): $(constant tag.blif tag)"
  ;;

macros)
  # Refused at once, before yosys runs (which would follow it without end):
  # an `include cycle through FILE, with CHAIN named; ARGS before TOP.
  cycle() {
    local file=$1 chain=$2
    shift 2
    timeout 300 "$synth" "$@" t none.blif "$file" >out.txt 2>&1
    status=$?
    expect 1 "velmo-synth: \`include cycle: $chain again"
  }
  # An `include through a macro whose value is a string is followed: a
  # cycle through it is refused and a missing header named. The macro's
  # value, not only its name, tells one entry of a header from another:
  # x.vh reads a.vh, then b.vh.
  printf '`define H "m.vh"\n`include `H\nmodule t(input a, output y); assign y = a; endmodule\n' >mcycle.v
  printf '`include `H\n' >m.vh
  cycle mcycle.v "mcycle.v:2 -> m.vh:1 -> m.vh"
  printf '`define NONE "none.vh" // a name\n`include `NONE\n' >none.v
  run t none.blif none.v
  expect 2 "velmo-synth: none.v:2: cannot find the \`include file 'none.vh'"
  printf '`include `NEXT\n' >x.vh
  printf '`define NEXT "b.vh"\n`include "x.vh"\n' >a.vh
  printf '`define FROM_B 2'"'"'d3\n' >b.vh
  printf '`define NEXT "a.vh"\n`include "x.vh"\nmodule t(output [1:0] y); assign y = `FROM_B; endmodule\n' >next.v
  run t next.blif next.v
  expect 0 "wrote next.blif"
  [ "$(constant next.blif y)" = 3 ] || fail "x.vh did not read b.vh the second time: $(cat out.txt)"

  # Guards read as yosys reads them: on -D, not on a `define in a branch not
  # taken, undone by `undef (and not by one in a branch not taken).
  printf '`ifndef DONE\n`include "d.vh"\n`endif\n' >d.vh
  printf '`ifndef F_DONE\n`ifdef NEVER\n`define F_DONE\n`endif\n`include "f.vh"\n`endif\n' >f.vh
  printf '`ifndef U_DONE\n`define U_DONE\n`undef U_DONE\n`include "u.vh"\n`endif\n' >u.vh
  printf '`ifndef K_DONE\n`define K_DONE\n`ifdef NEVER\n`undef K_DONE\n`endif\n`include "k.vh"\n`endif\n' >k.vh
  for h in d f u k; do
    printf '`include "%s.vh"\nmodule t(input a, output y); assign y = a; endmodule\n' $h >$h.v
  done
  cycle d.v "d.v:1 -> d.vh:2 -> d.vh"
  cycle f.v "f.v:1 -> f.vh:5 -> f.vh"
  cycle u.v "u.v:1 -> u.vh:4 -> u.vh"
  printf '`include "d.vh"\n`include "k.vh"\nmodule t(input a, output y); assign y = a; endmodule\n' >guards.v
  run -D DONE t guards.blif guards.v
  expect 0 "wrote guards.blif"
  ;;

output)
  # A header found through -I and a memory file: never overwritten.
  mkdir -p hd mem
  echo "\`define KV 4'h9" >hd/k.vh
  printf '0a\n0b\n0c\n0d\n' >mem/init.hex
  cat >mem/rom.v <<'V'
`include "k.vh"
module rom(input clk, input [1:0] a, output reg [7:0] q, output [3:0] k);
  reg [7:0] m [0:3];
  initial $readmemh("mem/init.hex", m);
  always @(posedge clk) q <= m[a];
  assign k = `KV;
endmodule
V
  ln -sf init.hex mem/link.hex
  sums=$(cksum hd/k.vh mem/init.hex)
  for o in hd/k.vh ./hd/../hd/k.vh mem/link.hex; do
    run -I hd rom "$o" mem/rom.v
    expect 2 "velmo-synth: the output '$o' is '"
    grep -qF "which the design reads: nothing written" out.txt || fail "$o: not refused as read: $(cat out.txt)"
  done
  # yosys lists a space in a name as "\ ": a header in "h d" is read too.
  mkdir -p "h d"
  cp hd/k.vh "h d/k.vh"
  run -I "h d" rom "h d/k.vh" mem/rom.v
  expect 2 "velmo-synth: the output 'h d/k.vh' is 'h d/k.vh', which the design reads: nothing written"
  cmp -s hd/k.vh "h d/k.vh" || fail "a header in a folder whose name holds a space was overwritten"
  [ "$(cksum hd/k.vh mem/init.hex)" = "$sums" ] || fail "a file the design reads was overwritten"
  [ -L mem/link.hex ] || fail "the link was replaced"

  # A folder that does not exist: refused before yosys runs.
  run -I hd rom nowhere/rom.blif mem/rom.v
  expect 2 "velmo-synth: the output's folder 'nowhere' does not exist"
  grep -q 'yosys\|ERROR' out.txt && fail "yosys ran: $(cat out.txt)"

  # A good run says what it wrote; a later run whose copy fails half-way
  # (a full disk: cp writes 4096 bytes and fails) leaves it whole.
  run -I hd -D UNUSED -P 'UNUSED_TOO=1' rom rom.blif mem/rom.v
  expect 1 "velmo-synth: -P UNUSED_TOO: module 'rom' has no parameter"
  run -I hd -D UNUSED rom rom.blif mem/rom.v
  expect 0 "velmo-synth: wrote rom.blif: top 'rom', "
  grep -qE "^velmo-synth: wrote rom.blif: top 'rom', [0-9]+ LUTs?, [0-9]+ flip-flops?; -D UNUSED$" out.txt ||
    fail "the summary line: $(cat out.txt)"
  [ "$(wc -l <out.txt)" -eq 1 ] || fail "more than one line: $(cat out.txt)"
  # A rewrite keeps OUT's mode.
  for mode in 600 640; do
    chmod $mode rom.blif
    run -I hd rom rom.blif mem/rom.v
    [ "$(stat -c %a rom.blif)" = $mode ] || fail "a rewrite left OUT at mode $(stat -c %a rom.blif), not $mode"
  done
  # Each memory yosys makes flip-flops of (with an enable: .subckt cells) is
  # named with what it became (the half no read reaches is gone), and the
  # summary counts every flip-flop: one bit wide (f1.valid), a name yosys
  # writes in octal escapes (its reset's R port after Q), one the front end
  # makes registers of (sh); f2's memory, the same as f1's, is merged into
  # it: no line for 0 flip-flops.
  cat >fifo.v <<'V'
module flags(input clk, we, input [3:0] wa, ra, input d, output reg v);
  reg valid [0:15];
  always @(posedge clk) begin
    if (we) valid[wa] <= d;
    v <= valid[ra];
  end
endmodule
module fifo(input clk, rst, we, input [5:0] wa, input [4:0] ra, input [31:0] d, output reg [31:0] q,
            output v1, v2, output reg [3:0] e, s);
  reg [31:0] fifo_ram [0:63];
  reg [3:0] \mém [0:3];
  reg [3:0] sh [0:2];
  integer i;
  flags f1(clk, we, wa[3:0], ra[3:0], d[0], v1);
  flags f2(clk, we, wa[3:0], ra[3:0], d[0], v2);
  always @(posedge clk) begin
    if (we) fifo_ram[wa] <= d;
    if (rst) for (i = 0; i < 4; i = i + 1) \mém [i] <= 4'd0;
    else if (we) \mém [wa[1:0]] <= d[3:0];
    q <= fifo_ram[ra];
    e <= \mém [ra[1:0]];
    for (i = 0; i < 2; i = i + 1) sh[i + 1] <= sh[i];
    sh[0] <= d[3:0];
    s <= sh[2];
  end
endmodule
V
  run fifo fifo.blif fifo.v
  printf 'velmo-synth: memory %s: see docs/limits.md\n' 'fifo_ram (64 x 32) became 1,024 flip-flops' \
    'f1.valid (16 x 1) became 16 flip-flops' 'mém (4 x 4) became 16 flip-flops' 'sh (3 x 4) became 12 flip-flops' |
    sort | cmp -s - <(grep '^velmo-synth: memory' out.txt | sort) || fail "the memory lines: $(cat out.txt)"
  grep -q "flip-flops$" out.txt &&
    grep -qF ", $(grep -c '^\.latch \|^\.subckt \$_' fifo.blif) flip-flops" out.txt &&
    grep -q '^\.subckt \$_DFFE' fifo.blif || fail "the flip-flops counted: $(cat out.txt)"
  sum=$(cksum <rom.blif)
  mkdir -p full
  cat >full/cp <<'SH'
#!/bin/sh
# cp on a full disk: the first 4096 bytes land, then the write fails.
eval "dest=\${$#}"
head -c 4096 "$2" >"$dest"
echo "cp: error writing '$dest': No space left on device" >&2
exit 1
SH
  chmod +x full/cp
  PATH=$PWD/full:$PATH "$synth" -P W=5 w rom.blif w.v >out.txt 2>&1
  status=$?
  expect 1 "No space left on device"
  [ "$(cksum <rom.blif)" = "$sum" ] || fail "the earlier output was replaced by a cut one"
  ls -A | grep -q '^\.rom\.blif' && fail "a partial file is left beside the output"

  # A file velmo-synth writes and cannot write whole (the file size limit)
  # ends the run 1 with one line naming it: a list it gives yosys, and the
  # copy of OUT (cp under the limit); the earlier OUT is kept, nothing left.
  mkdir -p tmp limit
  long=$(printf '%3000s' | tr ' ' 1)
  (ulimit -f 1 && TMPDIR=$PWD/tmp exec "$synth" -D "LONG=$long" w rom.blif w.v) >out.txt 2>&1
  status=$?
  expect 1 "velmo-synth: cannot write '$PWD/tmp/"
  grep -qE "^velmo-synth: cannot write '[^']*/defs': File too large$" out.txt || fail "not the -D list: $(cat out.txt)"
  [ "$(wc -l <out.txt)" -eq 1 ] || fail "the list: not one line: $(cat out.txt)"
  printf '#!/bin/sh\nulimit -f 0\nexec %s "$@"\n' "$(command -v cp)" >limit/cp
  chmod +x limit/cp
  PATH=$PWD/limit:$PATH TMPDIR=$PWD/tmp "$synth" -P W=5 w rom.blif w.v >out.txt 2>&1
  status=$?
  expect 1 "velmo-synth: 'rom.blif' is left as it was: the file size limit (ulimit -f) stopped its copy"
  [ "$(wc -l <out.txt)" -eq 1 ] || fail "the copy: not one line: $(cat out.txt)"
  [ "$(cksum <rom.blif)" = "$sum" ] || fail "the earlier output was replaced under the file size limit"
  ls -A | grep -q '^\.rom\.blif' && fail "a partial file is left beside the output under the file size limit"
  [ -z "$(ls -A tmp)" ] || fail "left in TMPDIR: $(ls -A tmp)"

  # An output that is a link is written where it points, the link kept;
  # velmo-synth run through a link finds its yosys script beside itself.
  mkdir -p out bin
  ln -sf out/real.blif linked.blif
  ln -sf "$synth" bin/velmo-synth
  bin/velmo-synth -I hd rom linked.blif mem/rom.v >out.txt 2>&1
  status=$?
  expect 0 "wrote linked.blif"
  [ -L linked.blif ] && grep -q '^\.model rom$' out/real.blif || fail "not written through the link"
  ;;

values)
  run -P W=4294967304 w none.blif w.v
  expect 1 "velmo-synth: -P W=4294967304: the value needs 33 bits, and parameter 'W' of module 'w' holds 32 bits"
  run -P V=9\'h100 w none.blif w.v
  expect 1 "velmo-synth: -P V=9'h100: the value needs 9 bits, and parameter 'V' of module 'w' holds 8 bits"
  run -P V=4\'h1f w none.blif w.v
  expect 1 "velmo-synth: -P V=4'h1f: the value needs 5 bits, more than its own size 4"
  run -P W=-1 w none.blif w.v
  expect 2 "velmo-synth: -P W: '-1' is not a value yosys can set"
  run -P W=2+3 w none.blif w.v
  expect 2 "velmo-synth: -P W: '2+3' is not a value"
  # A fill literal, which chparam reads as one bit ('1 is 1, not 8'hff), and
  # a base without digits.
  run -P "V='1" w none.blif w.v
  expect 2 "velmo-synth: -P V: ''1' is a fill literal, which yosys (chparam) reads as one bit"
  run -P "V='b_" w none.blif w.v
  expect 2 "velmo-synth: -P V: ''b_' is not a value yosys can set"
  run -P W=8 -P W=6 w none.blif w.v
  expect 2 "velmo-synth: -P W is given twice ('W=8' and 'W=6')"
  [ -e none.blif ] && fail "a refused value wrote the output"
  # Values that fit, the widest one too, and a string that reads as a number.
  run -P W=5 -P V=8\'hff -P 'TAG="12"' w s.blif w.v
  expect 0 "; -P W=5 -P V=8'hff -P TAG=\"12\""
  [ "$(grep -c '^\.latch\|^\.subckt \$_' s.blif)" = 5 ] || fail "-P W=5: not 5 registers"
  [ "$(constant s.blif v)" = 255 ] || fail "-P V=8'hff: v is $(constant s.blif v)"
  grep -qx '\.model w' s.blif || fail "-P renamed the model: $(grep '^\.model' s.blif)"
  # A string's escapes mean what they mean in the source: each literal, one
  # parameter each, gives the bytes iverilog reads it as (the value worked
  # out by hand without iverilog), and the summary shows it as given.
  lits=('"12"' '"a\n"' '"\t"' '"\\"' '"\""' '"\101B"' '"\42"' '"\7"' '"x\\"')
  hand=(0x3132 0x610a 9 0x5c 0x22 0x4142 0x22 7 0x785c)
  ps=() params=() ports=() conns=() shows=()
  for i in "${!lits[@]}"; do
    ps+=(-P "T$i=${lits[i]}") params+=("parameter T$i = \"\"") ports+=("output [15:0] o$i")
    conns+=(".T$i(${lits[i]})") shows+=("u.o$i")
  done
  { printf 'module s #(%s) (%s);\n' "$(IFS=,; echo "${params[*]}")" "$(IFS=,; echo "${ports[*]}")"
    for i in "${!lits[@]}"; do printf 'assign o%d = T%d;\n' $i $i; done
    echo endmodule; } >s.v
  printf 'module tb; s #(%s) u();\ninitial #1 $display("%s", %s);\nendmodule\n' "$(IFS=,; echo "${conns[*]}")" \
    "$(printf '%%0d %.0s' "${lits[@]}")" "$(IFS=,; echo "${shows[*]}")" >tb.v
  read -ra want <<<"$(iverilog -o tb.vvp tb.v s.v 2>/dev/null && vvp -n tb.vvp | head -1)"
  run "${ps[@]}" s lits.blif s.v
  expect 0 "; ${ps[*]}"
  for i in "${!lits[@]}"; do
    rtl=$((${want[i]:-hand[i]}))
    [ "$(constant lits.blif o$i)" = $rtl ] || fail "-P T$i=${lits[i]}: $(constant lits.blif o$i), the RTL gives $rtl"
  done
  # An escape a string has not, a code past \177, a NUL and a bare double
  # quote are refused, as is a newline in a -D value (yosys would read the
  # rest as source lines).
  run -P 'TAG="a\q"' w none.blif w.v
  expect 2 "velmo-synth: -P TAG: '\"a\\q\"' holds '\\q': a string takes the escapes"
  run -P 'TAG="\0"' w none.blif w.v
  expect 2 "velmo-synth: -P TAG: '\"\\0\"' holds '\\0'"
  run -P 'TAG="\200"' w none.blif w.v
  expect 2 "velmo-synth: -P TAG: '\"\\200\"' holds '\\200'"
  run -P 'TAG="a"b"' w none.blif w.v
  expect 2 "holds a double quote inside the string"
  run -D $'X=1\n`define EXTRA' w none.blif w.v
  expect 2 "velmo-synth: -D 'X=1\\x0a\`define EXTRA': a macro's value is one line"
  [ -e none.blif ] && fail "a refused value wrote the output"

  # Names that are not UTF-8 are refused with their bytes shown; -- ends
  # the options before a file whose name starts with -.
  latin=$(printf 'caf\351')
  cp w.v "$latin.v"
  mkdir -p "$latin"
  run w none.blif "$latin.v"
  expect 2 "velmo-synth: the file 'caf\\xe9.v' is not a UTF-8 name"
  run -I "$latin" w none.blif w.v
  expect 2 "velmo-synth: -I 'caf\\xe9' is not a UTF-8 name"
  cp w.v café.v
  run w u.blif café.v
  expect 0 "wrote u.blif"
  cp w.v ./-w.v
  run -- w dash.blif -w.v
  expect 0 "wrote dash.blif"
  ;;

signals)
  # Each signal is sent once yosys runs a program of its own; yosys never
  # ends by itself, so velmo-synth ends only if it stops it.
  fake_yosys
  mkdir -p tmp
  printf 'module slow(input a, output y); assign y = a; endmodule\n' >slow.v
  # SIGINT is ignored by background commands of a script: perl lets it through.
  restore_int=()
  command -v perl >/dev/null && restore_int=(perl -e '$SIG{INT} = "DEFAULT"; exec @ARGV')
  for case in TERM:143 HUP:129 ${restore_int[@]+INT:130}; do
    sig=${case%:*} want=${case#*:}
    PATH=$PWD/fake:$PATH TMPDIR=$PWD/tmp ${restore_int[@]+"${restore_int[@]}"} "$synth" slow slow.blif slow.v \
      >out.txt 2>&1 &
    pid=$!
    if ypid=$(child_of $pid yosys) && child_of "$ypid" >/dev/null; then
      kill -s "$sig" $pid
    else
      fail "$sig: yosys did not start a program"
    fi
    finish $pid
    [ $status -eq "$want" ] || fail "$sig: exit $status, not $want"
    until_ok no_process "$ypid" || fail "$sig: yosys (or a program it started) runs on"
    kill -KILL -- "-$ypid" 2>/dev/null
    [ -z "$(ls -A tmp)" ] || fail "$sig: the work folder is left: $(ls -A tmp)"
    rm -rf tmp/*
    [ -e slow.blif ] && fail "$sig: a stopped run wrote its output"
  done
  ;;
stops)
  # At its edges: a NUL byte, where yosys stops reading, refused with its
  # line, however late in the file; closed standard descriptors; yosys ended by a signal, and the
  # open-file limit, each in one line; PYTHONPATH and PYTHONHOME ignored; its
  # keeper killed while yosys runs, the run finished without it.
  printf 'module ok(input [3:0] a, output [3:0] y);\n  assign y = a;\nendmodule\n' >ok.v
  printf '// widths %05000d\n\0 `define W 8\n' 0 >w.vh  # the NUL past the first 4,096 bytes
  printf '`include "w.vh"\n' >nul.v
  cat ok.v >>nul.v
  run ok nul.blif nul.v
  expect 1 "velmo-synth: w.vh:2 holds a NUL byte, where yosys stops reading the file: remove it"
  "$synth" ok closed.blif ok.v <&- >&- 2>err.txt
  [ $? -eq 0 ] && [ ! -s err.txt ] && [ -s closed.blif ] || fail "stdin and stdout closed: $(cat err.txt)"
  (ulimit -f 1; "$synth" ok big.blif ok.v >out.txt 2>&1; echo $? >status.txt)
  status=$(cat status.txt)
  expect 153 "velmo-synth: yosys was stopped by signal 25 (file size limit exceeded)"
  (ulimit -n 6; "$synth" ok few.blif ok.v >out.txt 2>&1; echo $? >status.txt)
  status=$(cat status.txt)
  expect 1 "velmo-synth: too many open files (the limit, ulimit -n, is 6)"
  [ "$(wc -l <out.txt)" -eq 1 ] || fail "more than one line: $(cat out.txt)"
  if [ "$(id -u)" != 0 ]; then  # root is not held to the process limit
    (ulimit -u 1; "$synth" ok procs.blif ok.v >out.txt 2>&1; echo $? >status.txt)
    status=$(cat status.txt)
    expect 1 "velmo-synth: cannot start a process: the limit on processes (ulimit -u) is reached"
  fi
  PYTHONPATH=/nonexistent PYTHONHOME=/nonexistent run ok env.blif ok.v
  expect 0 "wrote env.blif"
  printf 'module m(input clk, input [39:0] a, b, output reg [79:0] p);\nalways @(posedge clk) p <= a * b;\nendmodule\n' >m.v
  mkdir -p ktmp
  TMPDIR=$PWD/ktmp "$synth" m kept.blif m.v >out.txt 2>&1 &
  pid=$!
  child_of $pid yosys >/dev/null
  keeper=$(ps -eo pid,ppid,sid,args | awk -v p=$pid '$2 == p && $1 == $3 && $4 ~ /python/ { print $1 }')
  [ -n "$keeper" ] && kill -KILL "$keeper"
  finish $pid
  expect 0 "wrote kept.blif"
  [ -z "$(ls ktmp)" ] || fail "the work folder is left: $(ls ktmp)"
  # Standard output that cannot be written (a full disk; a pipe whose reader
  # has gone): one line, exit 1, OUT written.
  mkfifo nobody
  exec 4<>nobody 5>nobody 4<&- 6>/dev/full
  for fd in 5 6; do
    rm -f full.blif
    "$synth" ok full.blif ok.v >&$fd 2>err.txt
    status=$?
    [ $status = 1 ] && [ -s full.blif ] && [ "$(wc -l <err.txt)" = 1 ] &&
      grep -q "^velmo-synth: cannot write the standard output (.*); 'full.blif' is written$" err.txt ||
      fail "stdout $(readlink /dev/fd/$fd): exit $status: $(cat err.txt)"
  done
  exec 5>&- 6>&-

  # velmo-synth ended outright (SIGKILL to it alone; timeout -s KILL, which
  # signals its whole process group, made to act by SIGALRM) while yosys runs
  # a program: no program of the run runs on and its work folder goes.
  fake_yosys
  mkdir -p tmp
  empty() { [ -z "$(ls -A "$1")" ]; }
  for how in kill timeout; do
    if [ $how = kill ]; then
      PATH=$PWD/fake:$PATH TMPDIR=$PWD/tmp "$synth" ok gone.blif ok.v >out.txt 2>&1 &
      pid=$!
    else
      PATH=$PWD/fake:$PATH TMPDIR=$PWD/tmp timeout -s KILL 300 "$synth" ok gone.blif ok.v >out.txt 2>&1 &
      pid=$(child_of $!)
    fi
    ypid=$(child_of "$pid" yosys) && child_of "$ypid" >/dev/null || fail "$how: yosys did not start a program"
    if [ $how = kill ]; then kill -KILL "$pid"; else kill -ALRM $!; fi
    wait 2>/dev/null  # its "Killed" said by bash
    until_ok no_process "$ypid" || fail "$how: yosys (or a program it started) runs on"
    until_ok empty tmp || fail "$how: left in TMPDIR: $(ls -A tmp)"
    kill -KILL -- "-$ypid" 2>/dev/null
    rm -rf tmp/*
  done
  # Killed while it copies OUT (through a cp that does not end by itself):
  # the cp stops and the partial OUT goes too.
  printf 'module quick(input a, output y); assign y = ~a; endmodule\n' >quick.v
  mkdir -p slowcp
  printf '#!/bin/sh\nsleep 100000\nexec %s "$@"\n' "$(command -v cp)" >slowcp/cp
  chmod +x slowcp/cp
  PATH=$PWD/slowcp:$PATH TMPDIR=$PWD/tmp "$synth" quick quick.blif quick.v >out.txt 2>&1 &
  pid=$!
  no_partial() { ! ls -A | grep -q '^\.quick\.blif'; }
  if cpid=$(child_of "$pid" cp); then
    kill -KILL "$pid"
    wait 2>/dev/null
    until_ok no_process -p "$cpid" || fail "the copy runs on"
    until_ok no_partial || fail "a partial output is left: $(ls -A)"
    kill -KILL -- "-$cpid" 2>/dev/null
  else
    fail "no copy: $(cat out.txt)"
    wait
  fi
  ;;
*)
  echo "unknown group '$group'"
  exit 1 ;;
esac
exit $failed
