#!/usr/bin/env bash
# Writes N copies of each flat BLIF model given as one model on stdout.
# Every signal of copy k is renamed "c<k>_<name>" (the copies of the first
# design are c0 ... c<N-1>, the next design's follow), so the copies share
# nothing, not even their clocks. The reader's constant nets ($true, $false,
# $undef) keep their names: renamed, nothing would drive them. A copy that
# defines one itself is written once.
#
#   bench/merge_blif.sh N design.blif [design.blif]... > merged.blif
set -eu
[ $# -ge 2 ] || { echo "usage: $0 N design.blif [design.blif]..." >&2; exit 2; }
n=$1
shift
[ "$n" -ge 1 ] 2>/dev/null || { echo "N must be a positive number" >&2; exit 2; }
for file in "$@"; do
  [ -r "$file" ] || { echo "cannot read $file" >&2; exit 2; }
done

# Joins continued lines, then prefixes the signal tokens of each copy. Cover
# rows (the lines after .names) are copied as they are.
awk -v copies="$n" '
function sig(p, name) { return name == "$true" || name == "$false" || name == "$undef" ? name : p name }
FNR == 1 { ++files }
{
  line = $0
  while (line ~ /\\$/) {
    sub(/\\$/, "", line)
    if ((getline nxt) <= 0) break
    line = line " " nxt
  }
  sub(/^[ \t]+/, "", line)
  lines[files, ++count[files]] = line
}
END {
  print ".model merged"
  for (f = 1; f <= files; ++f)
  for (k = 0; k < copies; ++k) {
    p = "c" ((f - 1) * copies + k) "_"
    skip = 0
    for (i = 1; i <= count[f]; ++i) {
      line = lines[f, i]
      m = split(line, t, /[ \t]+/)
      if (m == 0 || line == "") continue
      d = t[1]
      if (substr(d, 1, 1) == ".") skip = 0
      if (skip) continue
      if (d == ".model" || d == ".end") continue
      if (d == ".names" && sig(p, t[m]) == t[m] && defined[t[m]]++) {
        skip = 1
      } else if (d == ".inputs" || d == ".outputs" || d == ".names") {
        out = d
        for (j = 2; j <= m; ++j) out = out " " sig(p, t[j])
        print out
      } else if (d == ".latch") {
        # .latch input output [type control] [init]
        out = d " " sig(p, t[2]) " " p t[3]
        if (m >= 5) out = out " " t[4] " " sig(p, t[5])
        for (j = (m >= 5 ? 6 : 4); j <= m; ++j) out = out " " t[j]
        print out
      } else if (d == ".subckt" || d == ".gate") {
        out = d " " t[2]
        for (j = 3; j <= m; ++j) {
          eq = index(t[j], "=")
          out = out " " (eq ? substr(t[j], 1, eq) sig(p, substr(t[j], eq + 1)) : t[j])
        }
        print out
      } else if (substr(d, 1, 1) == ".") {
        print "unsupported directive " d > "/dev/stderr"
        exit 2
      } else {
        print line
      }
    }
  }
  print ".end"
}' "$@"
