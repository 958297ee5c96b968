# A whole fit from tclsh, run by the fit tests with a preloaded library that
# refuses threads after a number of them: a thread that cannot be started is
# a Tcl error the script catches ("error: ..."), the next stage is refused
# after it ("then: ...", "then: none" when it failed in the last stage), the
# end says what it found ("end: ..."; a start that failed leaves no fit to
# end), and tclsh carries on to its last line ("fit ended") and exits 0.
#   tclsh thread_start_failure.tcl <libvelmo_fit_tcl.so> <design.blif>
lassign $argv host_package design
load $host_package Velmo_fit
set stages {place route retime final}
set next place
if {[catch {
    velmo_fit::start $design --threads 8
    puts "started"
    foreach s $stages {
        set next [lindex $stages [expr {[lsearch $stages $s] + 1}]]
        velmo_fit::stage $s
    }
} msg]} {
    puts "error: $msg"
    if {$next eq ""} {
        puts "then: none"
    } elseif {[catch {velmo_fit::stage $next} msg]} {
        puts "then: $msg"
    }
}
catch {velmo_fit::end} msg
puts "end: $msg"
puts "fit ended"
