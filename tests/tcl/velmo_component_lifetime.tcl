# The component's library and Tcl commands around the life of a fit, each
# case in a fresh tclsh:
#   tclsh velmo_component_lifetime.tcl <case> <libvelmo_fit_tcl.so> <libvelmo.so>
# early:   the component loaded with Tcl's `load` before any fit (its
#          Eco_fitter package), then Velmo with `load {}`; its commands
#          refuse until a fit runs and again after it ended.
# unload:  one package unloaded before any fit, and again after loading it
#          during a fit and ending the fit: the other package's commands
#          still answer (with an error), the process lives on.
# stages:  every stage and the end of the fit without loading any package;
#          the component stays mapped after the end (threads the fit
#          started may still be winding down in its code).
lassign $argv case host_package component
source [file join [file dirname [info script]] check.tcl]
set e ::torvika::eco_fitter
set v ::torvika::velmo
set eco_commands {muvo_resynthesis test_resynthesis muvo_retiming test_retiming muvo_reroute test_reroute
    muvo_replace test_replace muvo_bypass_removal test_bypass_removal optimize_tbff test_tbff clear_tbff}
# Every component command is a Tcl error while no fit runs.
proc all_refuse {when} {
    global e v eco_commands
    foreach c $eco_commands {
        check "$c refuses $when" [catch {${e}::$c} msg]
    }
    if {[info commands ${v}::velmo_do_ram_op] ne ""} {
        check "velmo_do_ram_op refuses $when" [catch {${v}::velmo_do_ram_op}]
        check "velmo_do_dsp_sign_ext refuses $when" [catch {${v}::velmo_do_dsp_sign_ext}]
    }
}

# Whether the component's library is mapped into this process.
proc component_mapped {} {
    global component
    set f [open /proc/[pid]/maps]
    set maps [read $f]
    close $f
    set tail /[file tail $component]
    foreach line [split $maps \n] {
        if {[string range $line end-[expr {[string length $tail] - 1}] end] eq $tail} { return 1 }
    }
    return 0
}

load $host_package Velmo_fit
switch -- $case {
    early {
        load $component Eco_fitter
        check "eco_fitter package before any fit" [expr {[package require ::torvika::eco_fitter] eq "1.0"}]
        load {} Velmo
        check "velmo package from the static list" [expr {[package require ::torvika::velmo] eq "1.0"}]
        all_refuse "before the fit"
        velmo_fit::start --family 46
        foreach s {plan place route} {
            check "stage $s" [velmo_fit::stage $s]
        }
        check "a command runs while the fit runs" [expr {[catch {${e}::test_reroute}] == 0}]
        velmo_fit::end
        all_refuse "after the fit"
    }
    unload {
        load $component Velmo
        load {} Eco_fitter
        check "unload before any fit" [expr {[catch {unload $component Velmo}] == 0}]
        all_refuse "after unload before any fit"
        velmo_fit::start --family 46
        load $component Velmo
        load {} Eco_fitter
        check "unload" [expr {[catch {unload $component Velmo}] == 0}]
        velmo_fit::end
        all_refuse "after unload and end"
    }
    stages {
        check "the component is not mapped before the fit" [expr {![component_mapped]}]
        velmo_fit::start --family 46
        foreach s {plan place route retime final} {
            check "stage $s" [velmo_fit::stage $s]
        }
        velmo_fit::end
        check "the component stays mapped after the end" [component_mapped]
        # The fit's worker threads wind down after the end.
        after 300
        check "the process lives after the end" 1
        velmo_fit::start --family 46
        check "a second fit after the end" [velmo_fit::stage plan]
        velmo_fit::end
    }
    default {
        puts "unknown case '$case'"
        exit 2
    }
}
puts "$failures failure(s)"
exit [expr {$failures > 0}]
