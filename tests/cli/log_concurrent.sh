#!/bin/sh
# Several shell processes run `keel log` at once, in one folder, each line
# about 140 characters long (keep the whole below the 128 KiB that trims
# the log): every line of navl.log must be whole and end in CR LF, and each
# writer's lines must all be there, once each, in order.
#   log_concurrent.sh WORK WRITERS LINES COMMAND...
# COMMAND runs the keel program (with its emulator first, for Wine).
set -eu
work=$1
writers=$2
lines=$3
shift 3

rm -rf "$work"
mkdir -p "$work"
cd "$work"
pad=$(printf '%0100d' 0 | tr 0 x)

w=1
pids=
while [ "$w" -le "$writers" ]; do
  (
    i=1
    while [ "$i" -le "$lines" ]; do
      "$@" log "writer $w line $i $pad" </dev/null >/dev/null 2>"writer-$w.err" ||
        { echo "FAILED: writer $w line $i: status $?: $(cat "writer-$w.err")"; exit 1; }
      i=$((i + 1))
    done
  ) &
  pids="$pids $!"
  w=$((w + 1))
done
for pid in $pids; do
  wait "$pid" || { echo "FAILED: a writer's keel log failed"; exit 1; }
done

cr=$(printf '\r')
total=$(wc -l <navl.log)
whole=$(grep -Ec "^[0-9][0-9]/[0-9][0-9]/[0-9][0-9][0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]: writer [0-9]+ line [0-9]+ $pad$cr\$" navl.log || true)
if [ "$whole" -ne "$total" ]; then
  echo "FAILED: $((total - whole)) of $total lines are not whole:"
  grep -Ev "^[0-9/]+ [0-9:]+: writer [0-9]+ line [0-9]+ $pad$cr\$" navl.log | head -n 5
  exit 1
fi
# Per writer, the line numbers in the order the file holds them: 1..LINES.
sed 's/^.*: writer \([0-9]*\) line \([0-9]*\) .*$/\1 \2/' navl.log |
  awk -v writers="$writers" -v lines="$lines" '
    { if ($2 != next_line[$1] + 1) { bad = bad " writer " $1 " line " $2 " after " next_line[$1] + 0 }
      next_line[$1] = $2 }
    END {
      for (w = 1; w <= writers; w++)
        if (next_line[w] != lines) bad = bad " writer " w " ends at line " next_line[w] + 0
      if (bad != "") { print "FAILED:" bad; exit 1 }
    }'
echo "$writers writers, $lines lines each: all $total lines whole, in order, none lost"
