# A stand-in for the equivalence checker: records the commands a check
# script gives, then checks their order, that every netlist pattern the
# script reads matches a file, and that each such file parses in the
# language it is read as (Verilog and SystemVerilog with `iverilog -g2012 -t
# null`, VHDL with `ghdl -s`). It does not compare the golden and revised
# netlists. Usage: tclsh stand_in_checker.tcl SCRIPT (run in the project
# directory, TORVIKA_DIR set). Prints what it checked; exits non-zero on any
# failure.
set script [lindex $argv 0]
set ::log {}
set ::reads {}
foreach c {load_settings elaborate set_mode map compare report_resource_usage} {
  proc $c {args} "lappend ::log $c"
}
proc read_verilog {args} { lappend ::log read; lappend ::reads [list verilog [lindex $args end]] }
proc read_vhdl {args} { lappend ::log read; lappend ::reads [list vhdl [lindex $args end]] }
namespace eval ::kestro::torvika { proc get_failing_compare_points {} { lappend ::log failing } }
rename puts ::real_puts
proc puts {text} { lappend ::log puts }
proc fail {text} { ::real_puts stderr "$::script: $text"; exit 1 }

if {[catch {source $script} err]} { fail $err }
set want {load_settings read read elaborate puts report_resource_usage elaborate puts report_resource_usage
          set_mode puts report_resource_usage map puts report_resource_usage compare puts report_resource_usage failing}
if {[join $::log] ne [join $want]} { fail "commands $::log" }
if {$torvika_root ne $::env(TORVIKA_DIR)} { fail "torvika_root $torvika_root" }
foreach read $::reads {
  lassign $read language pattern
  set files [glob -nocomplain $pattern]
  if {[llength $files] == 0} { fail "no netlist for $pattern" }
  foreach file $files {
    if {$language eq "vhdl"} {
      set status [catch {exec ghdl -s $file 2>@1} out]
    } else {
      set status [catch {exec iverilog -g2012 -t null $file 2>@1} out]
    }
    if {$status} { fail "$file does not parse as $language: $out" }
  }
}
::real_puts "checked: command order and netlist syntax; equivalence not checked"
exit 0
