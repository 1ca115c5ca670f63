#!/usr/bin/env bash
# Start-up of IP.exe under Wine, side by side with the least Win32 program
# with a window (wine/trivial.c) and with the floor (floor.cpp, the same text
# in plain static Qt): from exec to the main window mapped, watched from the
# X server by bench-probe. Writes the figures into bench/RESULTS.md under
# "## Windows", keeping everything else there.
#
#   bash bench/wine.sh            # 9 rounds
#   BENCH_ROUNDS=21 bash bench/wine.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=${BENCH_ROUNDS:-9}
results=$root/bench/RESULTS.md
bench_build=${BENCH_BUILD_DIR:-$root/build-bench}

# shellcheck source=../scripts/windows.sh
. "$root/scripts/windows.sh"
stage_build -DKESTRUNE_BUILD_BENCH=ON >/dev/null
bash "$root/scripts/deps.sh" bench
cmake -S "$root" -B "$bench_build" -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_BUILD_BENCH=ON \
    -DKESTRUNE_BUILD_TESTS=ON >/dev/null
cmake --build "$bench_build" --parallel "$(nproc)" --target bench-probe tray-ready >/dev/null

wine_session_start
# One Wine server for every start, as on a desktop where Wine already runs.
wineserver -p
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-wine-bench.XXXXXX")
trap 'wineserver -k 2>/dev/null || true; wine_session_stop; rm -rf "$work"' EXIT

probe() { # name title exe
    "$bench_build/bench/bench-probe" "$2" 0 "$(command -v wine)" "$3" 2>/dev/null |
        sed -n 's/.*main_ms=\([0-9.]*\).*/\1/p' >>"$work/$1.txt"
}
# The first start of anything fills Wine's caches: not measured.
probe warmup Trivial "$build_dir/bench/bench-trivial.exe"
for ((round = 1; round <= rounds; round++)); do
    probe trivial Trivial "$build_dir/bench/bench-trivial.exe"
    probe floor Floor "$build_dir/bench/bench-floor.exe"
    probe ip "Kestrune's IP Tool" "$build_dir/IP.exe"
done

median() {
    sort -n "$1" | awk '{ v[NR] = $1 } END { if (NR == 0) print "n/a"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'
}
trivial=$(median "$work/trivial.txt")
floor=$(median "$work/floor.txt")
ip=$(median "$work/ip.txt")
size=$(stat -c %s "$build_dir/IP.exe")

{
    echo "## Windows"
    echo
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') by \`bash bench/wine.sh\` under $(wine --version),"
    echo "Xvfb with openbox and trayer. Medians of $rounds rounds, from exec to the main window mapped."
    echo
    echo "| Program | to the window | IP.exe's ratio to it |"
    echo "|---|---|---|"
    echo "| least Win32 window (\`wine/trivial.c\`) | $trivial ms | $(ratio "$ip" "$trivial")× |"
    echo "| floor in static Qt (\`floor.cpp\`) | $floor ms | $(ratio "$ip" "$floor")× |"
    echo "| IP.exe | $ip ms | |"
    echo
    echo "IP.exe as shipped (\`scripts/windows.sh build\`): $size bytes."
} >"$work/windows.md"

# Replace the Windows part of the results, keep the rest.
if [ -f "$results" ] && grep -q '^## Windows$' "$results"; then
    awk -v part="$work/windows.md" '
        /^## Windows$/ { while ((getline line < part) > 0) print line; skip = 1; next }
        skip && /^## / { skip = 0 }
        !skip { print }' "$results" >"$work/results.md"
else
    { cat "$results"; echo; cat "$work/windows.md"; } >"$work/results.md"
fi
cp "$work/results.md" "$results"
cat "$work/windows.md"
