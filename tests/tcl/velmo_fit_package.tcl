# Drives a fit from tclsh through the stand-in host's package, then the
# component's own Tcl packages on the routed design.
#   tclsh velmo_fit_package.tcl <libvelmo_fit_tcl.so> <libvelmo.so>
lassign $argv host_package component
source [file join [file dirname [info script]] check.tcl]
proc calls {pattern} { llength [velmo_fit::call_log $pattern] }

load $host_package Velmo_fit
check "package provided" [expr {[package provide velmo_fit] eq "1.0"}]
# A second copy of the package (the same files in another folder) is an
# error, and this copy stays in charge: start below loads its component.
set copy [file join [pwd] velmo_fit_tcl_package_second_copy]
file delete -force $copy
file mkdir $copy
file copy $host_package $component $copy
check "a second copy refused" [expr {[catch {load [file join $copy [file tail $host_package]] Velmo_fit} msg] &&
                                     [string match "another copy of the velmo_fit package is loaded*" $msg]}]
check "no stage before start" [catch {velmo_fit::stage place}]

# The default design on family 46, with a configuration item.
set lib [velmo_fit::start --family 46 --cfg muvo_post_route_zota_tricks=earlier]
check "start loads the component beside the package" [expr {$lib eq [file normalize $component]}]
check "a second start is refused" [catch {velmo_fit::start}]
check "configuration item applied" [expr {[velmo_fit::cfg muvo_post_route_zota_tricks] eq "earlier"}]
velmo_fit::cfg velmo_fit_tcl_probe 7
check "configuration set and read" [expr {[velmo_fit::cfg velmo_fit_tcl_probe] eq "7"}]
check "start-up ran" [expr {[calls "WEXAN_ENV::*"] + [calls "CMP_FACADE::*"] > 0}]
foreach s {plan place route} {
    check "stage $s" [velmo_fit::stage $s]
}
check "unknown stage" [catch {velmo_fit::stage nonsense} msg]

# The component's packages: `load` of the library, then the package it
# registers as static with `load {}`.
load $component Velmo
load {} Eco_fitter
check "velmo package" [expr {[package require ::torvika::velmo] eq "1.0"}]
check "eco_fitter package" [expr {[package require ::torvika::eco_fitter] eq "1.0"}]

set v ::torvika::velmo
set e ::torvika::eco_fitter
check "dsp sign extension" [expr {[catch {${v}::velmo_do_dsp_sign_ext}] == 0}]
velmo_fit::clear_call_log
check "ram op" [expr {[catch {${v}::velmo_do_ram_op} msg] == 0}]
check "ram op ran the duplicate-data op" [expr {[calls "NOLT_RAM_DUP_DATA_OP::work"] == 1}]
velmo_fit::script NOLT_ADD_GROUND_ADDRESS_LINES_TO_RAM_OP::work bool 0
check "a failing address-line op fails the command" [catch {${v}::velmo_do_ram_op}]

# Each muvo command under both names: one muvo run each, the trick variable
# set for the run only.
velmo_fit::clear_call_log
set n 0
foreach {first second} {muvo_reroute test_reroute muvo_replace test_replace muvo_bypass_removal test_bypass_removal} {
    foreach c [list $first $second] {
        check $c [expr {[catch {${e}::$c} msg] == 0}]
        incr n
    }
}
check "one muvo run per command" [expr {[calls muvo] == $n}]
check "trick variable restored" [expr {[velmo_fit::cfg muvo_post_route_zota_tricks] eq "earlier"}]
velmo_fit::clear_call_log
check "help word" [expr {[catch {${e}::test_reroute -h}] == 0}]
check "help word runs nothing" [expr {[calls muvo] == 0}]
check "unknown word" [catch {${e}::test_reroute -helpme}]

# Each of the other commands under each name runs its own operation: the
# retimer (which releases its incremental timing), the resynthesis (which
# routes its new connections incrementally), the time-borrowing optimiser
# (which builds a borrow database) or its revert (which builds none).
foreach {c own other} {
    muvo_retiming HOV_INCR::release KORRIN::INCREMENTAL_ROUTER::*
    test_retiming HOV_INCR::release KORRIN::INCREMENTAL_ROUTER::*
    muvo_resynthesis KORRIN::INCREMENTAL_ROUTER::* HOV_INCR::release
    test_resynthesis KORRIN::INCREMENTAL_ROUTER::* HOV_INCR::release
    optimize_tbff sta_create_empty_borrow_db HOV_INCR::*
    test_tbff sta_create_empty_borrow_db HOV_INCR::*
    clear_tbff GEN_PROFILE_BINS::close_recursively sta_create_empty_borrow_db} {
    velmo_fit::clear_call_log
    check $c [expr {[catch {${e}::$c} msg] == 0 || [puts "  $msg"] ne ""}]
    check "$c runs its operation" [expr {[calls $own] > 0 && [calls $other] == 0}]
}

check "unload" [expr {[catch {unload $component Velmo} msg] == 0 || [puts "  $msg"] ne ""}]
check "velmo commands gone" [expr {[info commands ${v}::velmo_do_ram_op] eq ""}]
velmo_fit::end
check "end twice" [catch {velmo_fit::end}]

# A command the final stage evaluates (here a proc named as one of its
# timing reports) can neither end the fit under the stage nor run a stage.
proc report_clocks {args} {
    lappend ::inside [catch velmo_fit::end msg] $msg [catch {velmo_fit::stage final} msg] $msg
}
velmo_fit::start --family 46 --cfg velmo_finalize_create_sta_reports=on
foreach s {place route final} { velmo_fit::stage $s }
check "end and stage refused during final" [expr {$inside eq {1 {velmo_fit::end: the final stage is running; end the fit after it} 1 {velmo_fit::stage: the final stage is running}}}]
check "the fit ends after it" [velmo_fit::end]
file delete -force $copy
puts "$failures failure(s)"
exit [expr {$failures > 0}]
