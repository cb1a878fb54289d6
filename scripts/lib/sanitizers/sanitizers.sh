# Sanitizer settings for the test runs. Sourced by scripts/test.sh.
# Every report goes to a file under LOGDIR as well as failing the process that made it (exit
# code 66), so reports from programs that the end-to-end tests start and stop also count.

# sanitizer_env asan|tsan LOGDIR: exports the options; LOGDIR is emptied.
sanitizer_env() {
    local kind=$1 logs=$2
    local here
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    rm -rf "$logs"
    mkdir -p "$logs"
    case "$kind" in
    asan)
        export ASAN_OPTIONS="halt_on_error=1:exitcode=66:detect_leaks=1:log_path=$logs/asan"
        export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
        export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:exitcode=66:log_path=$logs/ubsan"
        ;;
    tsan)
        # Qt, fontconfig and the other system libraries are not instrumented: their own
        # locks are invisible, so their heap and string calls would show as races among
        # themselves. Only our instrumented code's accesses are checked.
        export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:ignore_noninstrumented_modules=1:log_path=$logs/tsan:suppressions=$here/tsan.supp"
        ;;
    *)
        echo "sanitizer_env: unknown kind $kind" >&2
        return 2
        ;;
    esac
}

# sanitizer_reports LOGDIR: prints every report written there; fails when there is one.
sanitizer_reports() {
    local logs=$1 f found=0
    for f in "$logs"/*; do
        [ -s "$f" ] || continue
        found=1
        echo "==== sanitizer report: $f" >&2
        cat "$f" >&2
    done
    unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS
    return $found
}

# sanitizer_suite asan|tsan BUILD_DIR "TARGET..." EXCLUDE_REGEX CMAKE_ARG...
# Configures and builds BUILD_DIR (only the targets named, those that exist, or everything when
# the list is empty) and runs the tests built there, but those matching EXCLUDE_REGEX, under
# the sanitizer. Fails on a failed test or on any report.
sanitizer_suite() {
    local kind=$1 build=$2 targets=$3 exclude=${4:-^$}
    shift 4
    local logs="$build/sanitizer-logs" status=0 t
    sanitizer_env "$kind" "$logs"
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    local build_args=()
    if [ -n "$targets" ]; then
        local known
        known=$(cmake --build "$build" --target help | sed -n 's/^\([A-Za-z0-9_.-]*\): .*/\1/p')
        for t in $targets; do
            grep -qx -- "$t" <<<"$known" && build_args+=(--target "$t")
        done
    fi
    cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" "${build_args[@]}" || status=1
    if [ $status -eq 0 ]; then
        (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure \
            -j "$(nproc 2>/dev/null || echo 2)" --timeout 300 -E "_NOT_BUILT\$|$exclude") || status=1
    fi
    sanitizer_reports "$logs" || status=1
    return $status
}
