# The checks the tclsh tests share: `check what ok` prints one line per
# check and counts the failures in `failures`.
set failures 0
proc check {what ok} {
    global failures
    if {$ok} {
        puts "ok: $what"
    } else {
        puts "FAILED: $what"
        incr failures
    }
}
