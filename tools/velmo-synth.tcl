# The yosys script of tools/velmo-synth (yosys -c), from read_verilog to
# write_blif. Nothing is pasted into it: velmo-synth gives the top module in
# VELMO_SYNTH_TOP; 1 in VELMO_SYNTH_SV to read every file as SystemVerilog
# (a .sv file is read so always); its work folder in VELMO_SYNTH_WORK, which
# holds the command line's lists, each entry followed by a NUL (incs: -I
# folders, defs: -D macros, params: -P NAME=VALUE, files: the sources), and
# the constant cells' map consts.v. The BLIF goes to out.blif there.
# velmo-synth has followed the `include lines before yosys runs.

# File names are UTF-8 (velmo-synth refused any other), whatever the locale.
encoding system utf-8
set work $::env(VELMO_SYNTH_WORK)
set top $::env(VELMO_SYNTH_TOP)
proc list_of {name} {
  set f [open $::work/$name r]
  fconfigure $f -translation binary
  fconfigure $f -encoding utf-8
  set text [read $f]
  close $f
  return [lrange [split $text \0] 0 end-1]
}
proc refuse {text} {
  puts stderr "velmo-synth: $text"
  set ::refused 1
}
set refused 0

set options {}
foreach d [list_of defs] { lappend options -D $d }
foreach i [list_of incs] { lappend options -I $i }
foreach file [list_of files] {
  set sv [expr {$::env(VELMO_SYNTH_SV) || [string match *.sv $file] ? {-sv} : {}}]
  yosys read_verilog {*}$sv {*}$options $file
}

# Parameters of the top module, each checked against what it declares: a
# name it has, a value that fits its range (32 bits without one: yosys
# keeps no more of an unsized number).
proc bits_of {value} {
  # The value of a Verilog number and the bits it needs (its size first when
  # it has one); {} when it holds x or z, or is a string.
  set v [string map {_ ""} $value]
  set size {}
  if {[regexp {^[0-9]+$} $v]} {
    set n [decimal $v]
  } elseif {[regexp {^([0-9]*)'[sS]?([bBoOdDhH])([0-9a-fA-F]+)$} $v -> size base digits]} {
    switch -- [string tolower $base] {
      b { set n [expr "0b$digits"] }
      o { set n [expr "0o$digits"] }
      d { set n [decimal $digits] }
      h { set n [expr "0x$digits"] }
    }
  } else {
    return {}
  }
  set b 1
  while {$n >> $b} { incr b }
  return [list $n $b [expr {$size eq {} ? {} : [decimal $size]}]]
}
proc decimal {digits} {
  expr {[string trimleft $digits 0] eq {} ? 0 : [string trimleft $digits 0]}
}
set params [list_of params]
if {[llength $params] > 0} {
  yosys tee -q -o $work/params.txt chparam -list $top
  set f [open $work/params.txt r]
  set declared {}
  set found 0
  foreach line [split [read $f] \n] {
    if {$line eq "$top:"} { set found 1 } elseif {$found && [regexp {^\s+(\S+)$} $line -> p]} { lappend declared $p }
  }
  close $f
  # Each parameter's default as yosys holds it: a plain number is 32 bits
  # wide, a sized one the width of the parameter's range.
  set widths [dict create]
  if {$found} {
    yosys select $top
    yosys write_rtlil -selected $work/top.il
    yosys select -clear
    set f [open $work/top.il r]
    foreach line [split [read $f] \n] {
      if {[regexp {^  parameter \\(\S+) (-?[0-9]+)$} $line -> p]} {
        dict set widths $p 32
      } elseif {[regexp {^  parameter \\(\S+) ([0-9]+)'} $line -> p w]} {
        dict set widths $p $w
      } elseif {[regexp {^  (wire|cell|process|memory) } $line]} {
        break
      }
    }
    close $f
  }
  set sets {}
  foreach p $params {
    set eq [string first = $p]
    set name [string range $p 0 [expr {$eq - 1}]]
    set value [string range $p [expr {$eq + 1}] end]
    if {$found && [lsearch -exact $declared $name] < 0} {
      refuse "-P $name: module '$top' has no parameter '$name' (it has: [expr {[llength $declared] ? [join $declared {, }] : {none}}])"
    } elseif {[llength [set nb [bits_of $value]]]} {
      lassign $nb n need size
      if {$size ne {} && $need > $size} {
        refuse "-P $name=$value: the value needs $need bits, more than its own size $size"
      } elseif {[dict exists $widths $name] && $need > [dict get $widths $name]} {
        set width [dict get $widths $name]
        refuse "-P $name=$value: the value needs $need bits, and parameter '$name' of module '$top' holds\
          $width bits[expr {$width == 32 ? { (a parameter declared without a range holds 32)} : {}}]"
      }
    }
    lappend sets -set $name $value
  }
  if {$refused} { exit 1 }
  yosys chparam {*}$sets $top
}

# Elaboration and coarse optimisation, flattened; its log shows the nets
# the check found with more than one driver.
yosys tee -o $work/coarse.log synth -flatten -top $top -run :fine
# With parameters set, yosys may name the elaborated top after them
# ($paramod...): the netlist keeps the name the user gave.
yosys rename -top $top

# Latches: edge-triggered flip-flops are all the fabric has.
yosys tee -q -o $work/latches.txt dump {t:$dlatch} {t:$adlatch} {t:$dlatchsr} {t:$sr} \
  {t:$_DLATCH_*} {t:$_DLATCHSR_*} {t:$_SR_*}
set f [open $work/latches.txt r]
set src ""
foreach line [split [read $f] \n] {
  if {[regexp {^\s*attribute \\src "(.*)"$} $line -> s]} {
    set src $s
  } elseif {[regexp {^\s*connect \\Q (.*)$} $line -> q]} {
    # file:line.column-line.column; a flattened cell's lists the instances
    # above it first, its always block last.
    set at [lindex [split $src |] end]
    regexp {^(.*:[0-9]+)\.[0-9]+-[0-9]+\.[0-9]+$} $at -> at
    set q [string map {"\\" "" " \[" "\["} $q]
    refuse "[expr {$at ne {} ? "$at: " : {}}]'$q' is a latch (a signal an always block leaves unassigned\
      on some path): velmo-fit maps only edge-triggered flip-flops; assign it on every path or clock it"
  } elseif {[regexp {^\s*end$} $line]} {
    set src ""
  }
}
close $f

# Nets with more than one driver.
set f [open $work/coarse.log r]
set net ""
foreach line [split [read $f] \n] {
  if {[regexp {multiple conflicting drivers for ([^.]+)\.(.*):$} $line -> module net]} {
    set module [string trimleft $module \\]
    set net [string map {"\\" ""} $net]
    set drivers {}
  } elseif {$net ne "" && [regexp {^    (.*)$} $line -> d]} {
    # yosys names a cell it made after its source: $type$file:line$id.
    if {[regexp {^port \S+ of cell (.*) \((\S+)\)$} $d -> cell type]} {
      if {[regexp {\$[A-Za-z_]+\$(.+:[0-9]+)(\.[0-9]+-[0-9]+\.[0-9]+)?\$[0-9]+$} $cell -> at]} {
        lappend drivers "$at ($type)"
      } else {
        lappend drivers "cell '[string map {"\\" ""} $cell]' ($type)"
      }
    } elseif {[regexp {^module input (.*)$} $d -> port]} {
      lappend drivers "input port '[string map {"\\" ""} $port]'"
    } else {
      lappend drivers $d
    }
  } elseif {$net ne ""} {
    refuse "net '$net' in module '$module' has more than one driver: [join $drivers {, }]; velmo-fit's\
      fabric has no tri-state or wired logic: drive the net from one place (a multiplexer)"
    set net ""
  }
}
close $f
if {$refused} { exit 1 }

yosys chformal -remove
# No RAM is mapped: each bit of a memory with a write port becomes a
# flip-flop here, which velmo-synth's summary names with its memory.
yosys tee -q -o $work/memories.txt dump {t:$mem_v2}
# A small memory yosys's front end made registers of (it says so on stderr)
# is a wire per word, NAME[word].
yosys tee -q -o $work/unrolled.txt dump {w:*\[*\]}
yosys memory_map
yosys opt -full
# The flip-flops with an asynchronous set, reset or load, once every
# flip-flop is one bit wide.
yosys techmap {t:$adff} {t:$adffe} {t:$dffsr} {t:$dffsre} {t:$aldff} {t:$aldffe}
yosys tee -q -o $work/async.txt select -count {t:$_DFF_??[01]_} {t:$_DFFE_??[01]?_} {t:$_DFFSR_*} \
  {t:$_DFFSRE_*} {t:$_ALDFF_*} {t:$_ALDFFE_*}
yosys async2sync

# synth's fine step, with the initial values made what BLIF carries before
# the logic is mapped: 0 or 1 on a plain flip-flop, 0 on the others.
yosys opt -fast -full
yosys memory_map
yosys opt -full
yosys techmap
yosys opt -fast
yosys dfflegalize -cell {$_DFF_?_} 01 -cell {$_DFFE_??_} 0 -cell {$_SDFF_???_} 0 -cell {$_SDFFE_????_} 0 \
  -cell {$_SDFFCE_????_} 0
yosys abc -fast -lut 6
# No enables or resets folded back into the flip-flops dfflegalize left.
yosys opt -fast -nodffe -nosdff
# LUT inputs that change nothing go, and with them the LUTs that only pass
# a net on.
yosys opt_lut
yosys hierarchy -check
yosys check
yosys setundef -zero
yosys hilomap -hicell {$__velmo_one} Y -locell {$__velmo_zero} Y
yosys techmap -map $work/consts.v
yosys opt_clean -purge
yosys write_blif -impltf -noalias $work/out.blif
