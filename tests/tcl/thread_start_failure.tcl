# A whole fit from tclsh, run by the fit tests with a preloaded library that
# refuses threads after a number of them: a thread that cannot be started is
# a Tcl error the script catches ("error: ..."), and tclsh carries on to its
# last line ("fit ended") and exits 0.
#   tclsh thread_start_failure.tcl <libvelmo_fit_tcl.so> <design.blif>
lassign $argv host_package design
load $host_package Velmo_fit
if {[catch {
    velmo_fit::start $design --threads 8
    foreach s {place route retime final} {
        velmo_fit::stage $s
    }
} msg]} {
    puts "error: $msg"
}
catch {velmo_fit::end}
puts "fit ended"
