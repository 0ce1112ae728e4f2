#!/bin/sh
# A first unattended export of 480 bookings into an empty vdir, against khal's import --batch
# of the same 480 events into an empty vdir, side by side, three rounds. khal (Debian package
# "khal") is needed for this benchmark only.
#
#   bench/calendar/compare_khal.sh BUILD-DIR [ROUNDS]
#
# The events khal imports are the ones Almbro wrote in the same round, put into one calendar
# file; both write into a fresh folder on the same file system.
set -eu
build=$(cd "$1" && pwd)
rounds=${2:-3}
work=$(mktemp -d /tmp/almbro-khal-XXXXXX)
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }

"$build/bench/wizard/bench_wizard" prepare "$work/prep" > /dev/null
home="$work/prep/home"

total_almbro=0
total_khal=0
for round in $(seq "$rounds"); do
    cal="$work/almbro-$round"
    t0=$(now)
    env -u DISPLAY HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$work/cache-$round" \
        XDG_CONFIG_HOME="$home/.config" ALMBRO_CALENDAR="$cal" QT_QPA_PLATFORM=offscreen \
        "$build/almbro" /auto day d2 > "$work/almbro-$round.out" 2>&1 || { cat "$work/almbro-$round.out"; exit 1; }
    t1=$(now)
    n=$(ls "$cal/Calendar" | wc -l)

    # The same events in one file, as khal import takes them.
    {
        printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Almbro bench//EN\r\n'
        for f in "$cal"/Calendar/*.ics; do
            sed -e '/^BEGIN:VCALENDAR/d' -e '/^END:VCALENDAR/d' -e '/^VERSION:/d' -e '/^PRODID:/d' "$f"
        done
        printf 'END:VCALENDAR\r\n'
    } > "$work/events-$round.ics"
    mkdir -p "$work/khal-$round/cal"
    cat > "$work/khal-$round/config" <<CONF
[calendars]
[[bench]]
path = $work/khal-$round/cal
type = calendar
[locale]
timeformat = %H:%M
dateformat = %Y-%m-%d
longdateformat = %Y-%m-%d
datetimeformat = %Y-%m-%d %H:%M
longdatetimeformat = %Y-%m-%d %H:%M
local_timezone = Europe/Stockholm
default_timezone = Europe/Stockholm
[sqlite]
path = $work/khal-$round/khal.db
CONF
    t2=$(now)
    TZ=Europe/Stockholm khal -c "$work/khal-$round/config" import --batch -a bench "$work/events-$round.ics" > /dev/null 2>&1
    t3=$(now)
    k=$(ls "$work/khal-$round/cal" | wc -l)
    a=$(echo "$t1 - $t0" | bc -l)
    b=$(echo "$t3 - $t2" | bc -l)
    total_almbro=$(echo "$total_almbro + $a" | bc -l)
    total_khal=$(echo "$total_khal + $b" | bc -l)
    printf 'round %s: almbro /auto day d2 %.3f s (%s files), khal import --batch %.3f s (%s files), ratio %.3f\n' \
        "$round" "$a" "$n" "$b" "$k" "$(echo "$a / $b" | bc -l)"
done
printf 'all rounds: almbro %.3f s, khal %.3f s, ratio %.3f\n' "$total_almbro" "$total_khal" \
    "$(echo "$total_almbro / $total_khal" | bc -l)"
