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
# independent: a plain fit after partitioned ones in one tclsh gives what
#          it gives in a fresh tclsh, every fit ending the component's
#          blackboxing mode; a partitioned fit needs place (cases
#          partitions-then-plain and plain-fit, each run by it in a tclsh
#          of its own, print the fits).
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
set designs [file normalize [file join [file dirname [info script]] .. .. examples designs yosys]]
proc refused {script pattern} {
    set caught [catch {uplevel 1 $script} msg]
    if {!$caught || ![string match $pattern $msg]} { puts "  got: $msg" }
    return [expr {$caught && [string match $pattern $msg]}]
}
# The design without partitions, every stage; 1 when each stage and the
# end give 1. It prints nothing of its own: the process's output from its
# start-up on is the fit's (Tcl's stdout is not in step with the host's).
proc plain_fit {} {
    global designs
    velmo_fit::start --family 46 $designs/mac16.blif --debug=2
    set ok 1
    foreach s {plan place route retime final} {
        set ok [expr {[velmo_fit::stage $s] && $ok}]
    }
    return [expr {[velmo_fit::end] && $ok}]
}
# What a tclsh running `case` printed from its last fit's start-up on,
# times and addresses aside, and without what the component says once per
# process (its workaround notices, the intermediate-snapshot decision).
proc last_fit_lines {case} {
    global host_package component
    set failed [catch {exec [info nameofexecutable] [info script] $case $host_package $component 2>@1} out]
    check "case $case ran" [expr {!$failed || [puts $out] ne ""}]
    set lines {}
    set notice 0
    foreach line [split [string range $out [string last "\nStage start-up:" $out] end] \n] {
        if {$line eq "****** HACK WARNING ******"} { set notice 1 }
        if {!$notice && ![string match "Info (020273):*" $line]} {
            regsub -all {[0-9][0-9]:[0-9][0-9]:[0-9][0-9]} $line T line
            regsub -all {0x[0-9a-f]+} $line P line
            lappend lines $line
        }
        if {$line eq "**** END HACK WARNING ****"} { set notice 0 }
    }
    return [list $out $lines]
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
    independent {
        lassign [last_fit_lines partitions-then-plain] out after
        lassign [last_fit_lines plain-fit] alone fresh
        check "the plain fit ran" [expr {[lsearch -glob $fresh "Stage final: ok*"] >= 0}]
        check "a plain fit after partitioned ones prints what it prints in a fresh process" [expr {$after eq $fresh}]
        if {$after ne $fresh} {
            foreach a $after f $fresh {
                if {$a ne $f} { puts "  after partitioned fits: $a\n  fresh:                   $f" }
            }
        }
        check "end of a partitioned fit without place names the reason" [string match \
            "*velmo_fit::end: a design with partitions needs place in the same run*" $out]
        check "every fit ends the blackboxing mode" \
            [expr {[regexp -all {\nBBIC shut down\n} $out] == 3 && [regexp -all {\nBBIC shut down\n} $alone] == 1}]
    }
    partitions-then-plain {
        # A partitioned fit stopped after plan, one stopped after route
        # (the blackboxed partitions never restored), then the plain fit.
        fconfigure stdout -buffering line
        velmo_fit::start --family 46 $designs/mac16.blif --settings $designs/mac16.partitions.json --debug=2
        foreach s {route retime final} {
            check "$s before place refused" [refused [list velmo_fit::stage $s] \
                "velmo_fit::stage: $s before place: a design with partitions needs place in the same run*"]
        }
        check "plan" [velmo_fit::stage plan]
        check "a partitioned fit without place fails at its end" [expr {![velmo_fit::end]}]
        velmo_fit::start --family 46 $designs/mac16.blif --settings $designs/mac16.partitions.json --debug=2
        foreach s {plan place route} {
            check "stage $s" [velmo_fit::stage $s]
        }
        check "a partitioned fit with place ends" [velmo_fit::end]
        exit [expr {![plain_fit] || $failures > 0}]
    }
    plain-fit {
        exit [expr {![plain_fit]}]
    }
    default {
        puts "unknown case '$case'"
        exit 2
    }
}
puts "$failures failure(s)"
exit [expr {$failures > 0}]
