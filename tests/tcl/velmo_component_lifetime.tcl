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
# plain:   no host package: loading the component is a Tcl error a script
#          can catch, and the process carries on.
# child:   the host package refuses a child interpreter; the component then
#          meets no host interpreter, before and after the child goes.
lassign $argv case host_package component
source [file join [file dirname [info script]] check.tcl]
set e ::torvika::eco_fitter
set v ::torvika::velmo
set eco_commands {muvo_resynthesis test_resynthesis muvo_retiming test_retiming muvo_reroute test_reroute
    muvo_replace test_replace muvo_bypass_removal test_bypass_removal optimize_tbff test_tbff clear_tbff}
# Every component command is a Tcl error while no fit runs, answered by
# the host before the command runs.
proc all_refuse {when} {
    global e v eco_commands
    foreach c $eco_commands {
        check "$c refuses $when" [expr {[catch {${e}::$c} msg] && $msg eq "no fit is running"}]
    }
    if {[info commands ${v}::velmo_do_ram_op] ne ""} {
        foreach c {velmo_do_ram_op velmo_do_dsp_sign_ext} {
            check "$c refuses $when" [expr {[catch {${v}::$c} msg] && $msg eq "no fit is running"}]
        }
    }
}
# Loading the component is refused with the reason, and registers nothing.
proc load_refused {component package when} {
    global e v
    set ns [expr {$package eq "Velmo" ? "velmo" : "eco_fitter"}]
    check "load $package refused $when" [catch {load $component $package} msg]
    check "the reason $when: $msg" \
        [expr {$msg eq "A Tcl interpreter must exist before registering ::torvika::$ns!"}]
    check "no commands $when" [expr {[info commands ${v}::*] eq "" && [info commands ${e}::*] eq ""}]
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

if {$case ni {plain child}} {
    load $host_package Velmo_fit
}
switch -- $case {
    plain {
        load_refused $component Velmo "in a plain tclsh"
        load_refused $component Velmo "a second time"
    }
    child {
        interp create kid
        check "host package refused in a child" [catch {kid eval [list load $host_package Velmo_fit]} msg]
        check "the reason: $msg" [expr {$msg eq "load the package in the main interpreter"}]
        check "nothing of the package in the child" [expr {[kid eval {info commands ::velmo_fit::*}] eq ""}]
        load_refused $component Velmo "with a child"
        check "no commands in the child" [expr {[kid eval {info commands ::torvika::*::*}] eq ""}]
        interp delete kid
        load_refused $component Velmo "after the child went"
        # The main interpreter takes the package, and a fit runs in it.
        load $host_package Velmo_fit
        velmo_fit::start --family 46
        check "stage plan" [velmo_fit::stage plan]
        load $component Velmo
        load {} Eco_fitter
        check "commands in the main interpreter" [expr {[info commands ${v}::velmo_do_ram_op] ne ""}]
        velmo_fit::end
        all_refuse "after the fit"
    }
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
