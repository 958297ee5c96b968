# A fit from tclsh, run by the fit tests with a preloaded library that
# refuses threads after a number of them: the stages run until one fails
# ("<stage>: <error>"), and the script then leaves with `exit 0`, the fit
# still open, for the package to close as tclsh exits (the component's
# debug lines show its shut-down).
#   tclsh exit_after_thread_failure.tcl <libvelmo_fit_tcl.so> <design.blif> <threads>
lassign $argv host_package design threads
load $host_package Velmo_fit
velmo_fit::start $design --threads $threads --debug
foreach s {place route retime final} {
    if {[catch {velmo_fit::stage $s} msg]} {
        puts "$s: $msg"
        break
    }
}
exit 0
