# A stand-in for the equivalence checker: records the commands a check
# script gives, then checks their order and that every netlist pattern the
# script reads matches a file. Usage: tclsh stand_in_checker.tcl SCRIPT
# (run in the project directory, TORVIKA_DIR set). Exits non-zero on any
# failure.
set script [lindex $argv 0]
set ::log {}
set ::reads {}
foreach c {load_settings elaborate set_mode map compare report_resource_usage} {
  proc $c {args} "lappend ::log $c"
}
proc read_verilog {args} { lappend ::log read; lappend ::reads [lindex $args end] }
proc read_vhdl {args} { lappend ::log read; lappend ::reads [lindex $args end] }
namespace eval ::kestro::torvika { proc get_failing_compare_points {} { lappend ::log failing } }
rename puts ::real_puts
proc puts {text} { lappend ::log puts }

if {[catch {source $script} err]} { ::real_puts stderr "$script: $err"; exit 1 }
set want {load_settings read read elaborate puts report_resource_usage elaborate puts report_resource_usage
          set_mode puts report_resource_usage map puts report_resource_usage compare puts report_resource_usage failing}
if {[join $::log] ne [join $want]} { ::real_puts stderr "$script: commands $::log"; exit 1 }
if {$torvika_root ne $::env(TORVIKA_DIR)} { ::real_puts stderr "$script: torvika_root $torvika_root"; exit 1 }
foreach pattern $::reads {
  if {[llength [glob -nocomplain $pattern]] == 0} { ::real_puts stderr "$script: no netlist for $pattern"; exit 1 }
}
exit 0
