# The package plays velmo-fit's host sequence: every stage of a family gives
# the result velmo-fit gives for it, stages out of order or repeated are
# refused, and the post-fit checks run when the fit ends.
#   tclsh velmo_fit_sequence.tcl <libvelmo_fit_tcl.so> <velmo-fit> <family>
lassign $argv host_package velmo_fit_exe family
source [file join [file dirname [info script]] check.tcl]
proc refused {script pattern} {
    set caught [catch {uplevel 1 $script} msg]
    if {!$caught || ![string match $pattern $msg]} { puts "  got: $msg" }
    return [expr {$caught && [string match $pattern $msg]}]
}

# What velmo-fit makes of the whole flow on this family, stage by stage.
set stages {plan place route retime final}
catch {exec $velmo_fit_exe --family $family --stages [join $stages ,] 2>@1} out
foreach s $stages {
    set expected($s) [regexp "\nStage $s: ok" $out]
}
check "velmo-fit ran" [regexp {\nStage place: } $out]

load $host_package Velmo_fit
check "--help starts nothing" [string match "usage: velmo-fit*" [velmo_fit::start --help]]
check "no fit after --help" [refused {velmo_fit::stage plan} "*no fit is running*"]
check "--report refused" [refused {velmo_fit::start --report r.json} "*--report is not supported here*"]
check "--stages refused" [refused {velmo_fit::start --stages place} "*--stages is not supported here*"]
check "bad option refused" [refused {velmo_fit::start --threads 0} "*bad thread count*"]
check "a directory as settings refused" [refused {velmo_fit::start --settings .} "*--settings .: is a directory*"]
check "a device as the design refused" [refused {velmo_fit::start /dev/zero} \
    "velmo_fit::start: /dev/zero: is a character device, not a regular file, a FIFO or standard input"]
check "a thread count below 1 refused" [refused {velmo_fit::start --cfg route_fixup_flow_parasitics_num_parallel_threads=0} \
    "*route_fixup_flow_parasitics_num_parallel_threads is 0: a thread count is at least 1"]
set option_file [file join [pwd] option_905_$family.json]
set f [open $option_file w]
puts $f {{"options": [{"id": 905, "type": 4, "value": "7"}]}}
close $f
check "an option value the component cannot take refused" [refused [list velmo_fit::start --settings $option_file] \
    {*options?0? sets option 905 (*) to 7; it takes 2 or 3}]
file delete $option_file

velmo_fit::start --family $family --threads 2
check "route before place refused" [refused {velmo_fit::stage route} "*route needs place in the same run*"]
check "final before place refused" [refused {velmo_fit::stage final} "*final needs place in the same run*"]
check "extra words refused" [refused {velmo_fit::stage place route} "wrong # args*"]
check "empty configuration name refused" [refused {velmo_fit::cfg {}} "*empty configuration name*"]
check "clear_call_log takes no words" [refused {velmo_fit::clear_call_log x} "wrong # args*"]
check "end takes no words" [refused {velmo_fit::end now} "wrong # args*"]
set failed ""
foreach s $stages {
    set r [velmo_fit::stage $s]
    check "stage $s gives velmo-fit's result ($r)" [expr {$r == $expected($s)}]
    if {$s eq "place"} {
        check "place twice refused" [refused {velmo_fit::stage place} "*place has already run*"]
        check "retime before route refused" [refused {velmo_fit::stage retime} "*retime needs route in the same run*"]
    }
    if {!$r} {
        set failed $s
        break
    }
}
if {$failed ne "" && $failed ne "final"} {
    set next [lindex $stages [expr {[lsearch $stages $failed] + 1}]]
    check "no stage after a failed one" [refused [list velmo_fit::stage $next] "*cannot run after the failed stage*"]
}
check "post-fit checks at the end; a failed stage fails the fit" [expr {[velmo_fit::end] == ($failed eq "")}]
check "a value outside a fit refused" [refused {velmo_fit::cfg muvo_post_route_zota_tricks earlier} \
    "velmo_fit::cfg: no fit is running: give it to velmo_fit::start with --cfg"]
check "a read outside a fit" [expr {[velmo_fit::cfg muvo_post_route_zota_tricks] eq ""}]
check "end twice refused" [refused {velmo_fit::end} "*no fit is running*"]

# A second fit in the same interpreter: stages run in flow order only, and
# a thread count of the configuration is capped at the fit's.
velmo_fit::start --family $family --threads 3 --cfg route_fixup_flow_parasitics_num_parallel_threads=64
check "thread count capped" [expr {[velmo_fit::cfg route_fixup_flow_parasitics_num_parallel_threads] eq "3"}]
# A configuration start would refuse is refused during the fit too, with
# start's message, and the value before stays; one start would lower is
# lowered.
check "a thread count below 1 refused during the fit" \
    [refused {velmo_fit::cfg route_fixup_flow_parasitics_num_parallel_threads 0} \
        "velmo_fit::cfg: configuration variable route_fixup_flow_parasitics_num_parallel_threads is 0: a thread count is at least 1"]
check "the refused value not taken" [expr {[velmo_fit::cfg route_fixup_flow_parasitics_num_parallel_threads] eq "3"}]
check "dern flow refused during the fit" [refused {velmo_fit::cfg use_dern_flow on} "velmo_fit::cfg: use_dern_flow is on:*"]
check "dern flow left unset" [expr {[velmo_fit::cfg use_dern_flow] eq ""}]
velmo_fit::cfg route_fixup_flow_parasitics_num_parallel_threads 9
check "a thread count above the fit's lowered" [expr {[velmo_fit::cfg route_fixup_flow_parasitics_num_parallel_threads] eq "3"}]
check "place first" [velmo_fit::stage place]
check "plan after place refused" [refused {velmo_fit::stage plan} "*plan cannot run after place*"]
# Where the final stage routes nothing, it needs route first.
if {$family == 48 || $family == 15} {
    check "final without route refused" [refused {velmo_fit::stage final} \
        "velmo_fit::stage: final needs route in the same run on family $family*"]
}
velmo_fit::end
puts "$failures failure(s)"
exit [expr {$failures > 0}]
