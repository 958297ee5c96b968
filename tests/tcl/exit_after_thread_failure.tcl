# A fit from tclsh, run by the fit tests with a preloaded library that logs
# the threads started and may refuse threads after a number of them: the
# stages run until one fails ("<stage>: <error>"), and the script then
# leaves with `exit 0`, the fit still open, for the package to close as
# tclsh exits (the component's debug lines show its shut-down). With
# "end", a second start is tried first ("start: <error>") and the fit is
# ended ("end: <result>") before the exit.
#   tclsh exit_after_thread_failure.tcl <libvelmo_fit_tcl.so> <design.blif> <threads> ?end?
lassign $argv host_package design threads then
load $host_package Velmo_fit
velmo_fit::start $design --threads $threads --debug
foreach s {place route retime final} {
    if {[catch {velmo_fit::stage $s} msg]} {
        puts "$s: $msg"
        break
    }
}
if {$then eq "end"} {
    catch {velmo_fit::start $design} msg
    puts "start: $msg"
    catch {velmo_fit::end} msg
    puts "end: $msg"
}
exit 0
