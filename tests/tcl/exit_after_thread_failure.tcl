# A fit from tclsh, run by the fit tests with a preloaded library that logs
# the threads started and may refuse threads after a number of them: the
# stages run until one fails ("<stage>: <error>"), and the script then
# leaves with `exit 0` (what it printed last still in Tcl's buffer), the fit still open, for the package to close as
# tclsh exits (the component's debug lines show its shut-down). With
# "end", a second start is tried first ("start: <error>") and the fit is
# ended ("end: <result>") before the exit. With "checks", the fit is ended
# twice with no thread to be had.
#   tclsh exit_after_thread_failure.tcl <libvelmo_fit_tcl.so> <design.blif> <threads> ?end|checks?
lassign $argv host_package design threads then
load $host_package Velmo_fit
velmo_fit::start $design --threads $threads --debug
foreach s {place route retime final} {
    if {[catch {velmo_fit::stage $s} msg]} {
        puts "$s: $msg"
        break
    }
}
if {$then eq "checks"} {
    # No thread starts from here on: the end's own checks fail.
    set env(VELMO_TEST_THREADS_STARTED) 0
    foreach i {1 2} {
        catch {velmo_fit::end} msg
        puts "end: $msg"
    }
}
if {$then eq "end"} {
    catch {velmo_fit::start $design} msg
    puts "start: $msg"
    catch {velmo_fit::end} msg
    puts "end: $msg"
}
puts -nonewline "buffered at the exit"
exit 0
