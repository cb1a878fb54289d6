#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (ASan + UBSan) and runs each for SECONDS.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (default 60 s; all targets)
# New inputs go to <build>/corpus/<target>, crashes to <build>/artifacts/<target>; a crash
# fails the script. A crash input worth keeping belongs in fuzz/<area>/corpus/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh

seconds=${1:-60}
shift || true
build=${ORVIK_FUZZ_BUILD_DIR:-build-fuzz}
# target name -> folder with its seed corpus
declare -A areas=([fuzz_frame_receiver]=frames [fuzz_settings_file]=settings
    [fuzz_switch_info]=switches [fuzz_pcapng_reader]=captures [fuzz_node_settings]=nodesettings
    [fuzz_history_replay]=history [fuzz_rfc2217_stream]=telnet [fuzz_mqtt_command]=mqtt)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_frame_receiver fuzz_settings_file fuzz_switch_info
    fuzz_pcapng_reader fuzz_node_settings fuzz_history_replay fuzz_rfc2217_stream
    fuzz_mqtt_command)
for t in "${targets[@]}"; do
    [ -n "${areas[$t]:-}" ] || { echo "fuzz.sh: unknown target $t" >&2; exit 2; }
done

ensure_packages cmake ninja-build "${ORVIK_FUZZ_PACKAGES[@]}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DORVIK_BUILD_GUI=OFF -DORVIK_BUILD_TESTS=OFF -DORVIK_FUZZ=ON \
    -DORVIK_SANITIZE=address,undefined >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for t in "${targets[@]}"; do
    work="$build/corpus/$t"
    artifacts="$build/artifacts/$t"
    mkdir -p "$work" "$artifacts"
    bin=$(find "$build/fuzz" -type f -name "$t" -perm -u+x | head -n 1)
    echo "== $t: ${seconds} s"
    if ! "$bin" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$work" "fuzz/${areas[$t]}/corpus" 2>"$build/$t.log"; then
        status=1
        echo "fuzz.sh: $t failed; inputs in $artifacts, log $build/$t.log" >&2
        grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$build/$t.log" >&2 || true
        continue
    fi
    grep -E '^stat::number_of_executed_units|^stat::new_units_added|cov:' "$build/$t.log" |
        tail -n 3
done
exit $status
