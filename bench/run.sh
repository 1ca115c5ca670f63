#!/usr/bin/env bash
# Measures IP against the floor program, side by side, and writes the
# figures to bench/RESULTS.md. Runs on its own X session (Xvfb, openbox,
# trayer), like the tests.
#
#   bash bench/run.sh            # 5 rounds, a 300 s idle stretch
#   BENCH_ROUNDS=9 BENCH_IDLE_SECONDS=60 bash bench/run.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
rounds=${BENCH_ROUNDS:-5}
idle=${BENCH_IDLE_SECONDS:-300}
results=$root/bench/RESULTS.md

bash "$root/scripts/deps.sh" bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_BUILD_BENCH=ON -DKESTRUNE_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)" \
    --target IP bench-floor bench-probe bench-refresh bench-latency bench-flood tray-ready >/dev/null

# shellcheck source=../scripts/xsession.sh
. "$root/scripts/xsession.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-bench.XXXXXX")
trap 'xsession_stop; rm -rf "$work"' EXIT
xsession_start "$build/tests/tray-ready"
unset DBUS_SESSION_BUS_ADDRESS
mkdir -p "$work/empty" "$work/float"
printf '[IP]\nFloat=YES\n' >"$work/float/Kestrune.conf"

probe() { # name, idle seconds
    local name=$1 seconds=$2
    # A runtime folder each: copies running side by side are separate
    # sessions, and do not hand over to each other.
    export XDG_RUNTIME_DIR=$work/runtime-$name
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    case "$name" in
    floor) "$build/bench/bench-probe" Floor "$seconds" "$build/bench/bench-floor" ;;
    ip-empty)
        rm -f "$work/empty/Kestrune.conf"
        XDG_CONFIG_HOME=$work/empty "$build/bench/bench-probe" "Kestrune's IP Tool" "$seconds" "$build/IP"
        ;;
    ip-float)
        printf '[IP]\nFloat=YES\n' >"$work/float/Kestrune.conf"
        XDG_CONFIG_HOME=$work/float "$build/bench/bench-probe" "Kestrune's IP Tool" "$seconds" "$build/IP"
        ;;
    esac
}

# Each start with no session bus, and with one of its own (with no
# notification area on it: the icon docks in trayer either way).
with_bus() {
    dbus-run-session -- "$@"
}

variants=(floor ip-empty ip-float)
echo "Start-up and memory, $rounds rounds, without and with a session bus..."
for ((round = 1; round <= rounds; round++)); do
    for v in "${variants[@]}"; do
        probe "$v" 0 >>"$work/$v.txt"
        with_bus bash -c "$(declare -f probe); build=$build work=$work probe $v 0" >>"$work/$v-bus.txt" 2>/dev/null
    done
done

echo "Idle for ${idle} s, all three at once..."
pids=()
for v in "${variants[@]}"; do
    probe "$v" "$idle" >"$work/$v.idle" &
    pids+=($!)
done
wait "${pids[@]}"

echo "One refresh..."
"$build/bench/bench-refresh" >"$work/refresh.txt" 2>&1

echo "From an address change to the label, 50 changes..."
if unshare --net true 2>/dev/null; then
    QT_QPA_PLATFORM=offscreen unshare --net "$build/bench/bench-latency" >"$work/latency.txt" 2>&1 || true
else
    echo "latency: no network namespace can be made here" >"$work/latency.txt"
fi

echo "A flood of 20,000 address changes..."
if unshare --net true 2>/dev/null; then
    QT_QPA_PLATFORM=offscreen unshare --net "$build/bench/bench-flood" >"$work/flood.txt" 2>&1 || true
else
    echo "flood: no network namespace can be made here" >"$work/flood.txt"
fi

field() { # file, key -> values, one a line
    sed -n "s/.*\b$2=\([-0-9.]*\).*/\1/p" "$1"
}
median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "n/a"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'
}
benchmark() { # name -> msecs per iteration
    awk -v name="$1" '$0 ~ "RESULT : RefreshBenchmark::" name "\\(\\)" { getline; print $1 }' "$work/refresh.txt"
}

declare -A med
for v in "${variants[@]}"; do
    for mode in "" -bus; do
        for key in main_ms paint_ms docked_ms peak_kb settled_kb; do
            med[$v$mode.$key]=$(field "$work/$v$mode.txt" "$key" | median)
        done
    done
    med[$v.idle_cpu_ms]=$(field "$work/$v.idle" idle_cpu_ms | median)
    med[$v.idle_switches]=$(field "$work/$v.idle" idle_switches | median)
done
floor_getifaddrs=$(benchmark floorGetifaddrs)
read_ms=$(benchmark oneAddressRead)
tick_ms=$(benchmark wholeTick)

machine="$(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores, Linux $(uname -r)"
qt=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || echo unknown)
per_minute() { awk -v v="$1" -v s="$idle" 'BEGIN { printf "%.1f", v * 60 / s }'; }

# The floor and both starts of IP run one after another in each round, so
# each round gives a ratio of its own, and the machine's drift between
# rounds (which moves the floor itself by a fifth) cancels out. Prints the
# median of those ratios and its 95% interval: the order statistics of
# ranks n/2 ± 0.98·√n, which hold whatever the ratios' distribution.
paired() { # file, floor's file, key
    if [ "$(wc -l <"$1")" != "$(wc -l <"$2")" ]; then
        echo "rounds missing"
        return
    fi
    paste "$1" "$2" | sed -n "s/.*\b$3=\([-0-9.]*\).*\b$3=\([-0-9.]*\).*/\1 \2/p" |
        awk '$2 > 0 { print $1 / $2 }' | sort -g |
        awk '{ v[NR] = $1 }
            END {
                if (NR == 0) { print "n/a"; exit }
                m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
                k = int(NR / 2 - 0.98 * sqrt(NR)); if (k < 1) k = 1
                printf "%.2f× [%.2f–%.2f]", m, v[k], v[NR + 1 - k]
            }'
}

row() { # label, key, unit, mode ("" or -bus)
    local f=${med[floor$4.$2]} e=${med[ip-empty$4.$2]} l=${med[ip-float$4.$2]}
    echo "| $1 | $f $3 | $e $3 ($(paired "$work/ip-empty$4.txt" "$work/floor$4.txt" "$2")) |" \
        "$l $3 ($(paired "$work/ip-float$4.txt" "$work/floor$4.txt" "$2")) |"
}

{
    echo "# Benchmark results"
    echo
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') by \`bash bench/run.sh\` on: $machine;"
    echo "Qt $qt; Xvfb with openbox and trayer. Medians of $rounds rounds. Each ratio is to the floor"
    echo "program (\`bench/floor.cpp\`: the main window's text in the same fonts and places, in plain"
    echo "Qt, in one fixed window with one tray icon), taken round by round: the median of the"
    echo "rounds' ratios, and in brackets its 95% interval."
    for mode in "" -bus; do
        echo
        if [ -z "$mode" ]; then
            echo "Without a session bus:"
        else
            echo "With a session bus of its own (no notification area on it):"
        fi
        echo
        echo "| Figure | floor | IP, empty store | IP, Float = YES |"
        echo "|---|---|---|---|"
        row "Exec to main window mapped" main_ms ms "$mode"
        row "Exec to first paint of the main window" paint_ms ms "$mode"
        row "Exec to tray icon docked" docked_ms ms "$mode"
        row "Peak resident memory" peak_kb KiB "$mode"
        row "Settled resident memory" settled_kb KiB "$mode"
    done
    echo
    echo "Idle for ${idle} s, without a session bus (all three side by side, every thread counted):"
    echo
    echo "| Figure | floor | IP, empty store | IP, Float = YES |"
    echo "|---|---|---|---|"
    echo "| CPU time | ${med[floor.idle_cpu_ms]} ms | ${med[ip-empty.idle_cpu_ms]} ms | ${med[ip-float.idle_cpu_ms]} ms |"
    echo "| CPU per minute | $(per_minute "${med[floor.idle_cpu_ms]}") ms | $(per_minute "${med[ip-empty.idle_cpu_ms]}") ms | $(per_minute "${med[ip-float.idle_cpu_ms]}") ms |"
    echo "| Context switches | ${med[floor.idle_switches]} | ${med[ip-empty.idle_switches]} | ${med[ip-float.idle_switches]} |"
    echo
    echo "One refresh (QBENCHMARK, wall time):"
    echo
    echo "| Figure | time | ratio to getifaddrs() |"
    echo "|---|---|---|"
    echo "| bare getifaddrs() + freeifaddrs() | $floor_getifaddrs ms | 1.00× |"
    echo "| one address read | $read_ms ms | $(ratio "$read_ms" "$floor_getifaddrs")× |"
    echo "| whole tick (close, two reads, two labels) | $tick_ms ms | $(ratio "$tick_ms" "$floor_getifaddrs")× |"
    echo
    echo "From an address change to the label showing it (a network namespace of its own;"
    echo "50 changes, each an interface's address replaced; the minute's tick would take up to 60000 ms):"
    echo
    echo "| Figure | time | target |"
    echo "|---|---|---|"
    echo "| median | $(field "$work/latency.txt" latency_median_ms) ms | ≤ 50 ms |"
    echo "| max | $(field "$work/latency.txt" latency_max_ms) ms | ≤ 200 ms |"
    echo
    echo "A flood: $(field "$work/flood.txt" addresses) addresses added by one \`ip -batch\`, the last line moving the"
    echo "default route's source (the same flood with nobody listening took $(field "$work/flood.txt" flood_baseline_s) s):"
    echo
    echo "| Figure | value | target |"
    echo "|---|---|---|"
    echo "| the flood's wall time | $(field "$work/flood.txt" flood_s) s | |"
    echo "| listener and refresh CPU over the flood | $(field "$work/flood.txt" flood_cpu_s) s | |"
    echo "| share of one core | $(field "$work/flood.txt" flood_core_share) | ≤ 0.1 |"
    echo "| refreshes during the flood | $(field "$work/flood.txt" flood_refreshes) | |"
    echo "| flood's end to the final address shown | $(field "$work/flood.txt" flood_final_ms) ms | ≤ 250 ms |"
} >"$work/figures.md"

# Keep the notes below the figures as they are; replace the figures.
notes=""
if [ -f "$results" ] && grep -q '^## Notes' "$results"; then
    notes=$(sed -n '/^## Notes/,$p' "$results")
fi
{
    cat "$work/figures.md"
    if [ -n "$notes" ]; then
        echo
        echo "$notes"
    fi
} >"$results"
cat "$results"
