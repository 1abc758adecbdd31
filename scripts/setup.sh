# Sourced by the other scripts: installs what the build needs and builds.
# Not meant to be run on its own.

cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
TOP=$(pwd)
BUILD_DIR=${TAV_BUILD_DIR:-$TOP/build}
# The sanitized build, with the fuzz targets.
SANITIZE_DIR=${TAV_SANITIZE_DIR:-$TOP/build-asan}
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}

# Debian packages the panel and its tests build with.
TAV_PACKAGES=(g++ make cmake pkg-config qtbase5-dev libqt5serialport5-dev libqt5charts5-dev
    libqt5svg5-dev desktop-file-utils libmosquitto-dev
    # the MQTT bridge's tests: a real broker, its clients, a throw-away CA
    mosquitto mosquitto-clients openssl
    # the README's session, run as it stands
    python3)
# What the sanitized build and the fuzz targets add: clang, its sanitizer and
# libFuzzer runtimes, and llvm-symbolizer for readable reports (and for the
# leak suppressions, which match function names).
TAV_SANITIZER_PACKAGES=(clang libclang-rt-14-dev llvm)

# ensure_packages PKG...: installs the missing ones when root, otherwise says
# which apt-get line to run and fails.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >/dev/null &&
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# build_tree DIR [CMAKE ARGS...]: configures and builds into DIR.
build_tree() {
    local dir=$1
    shift
    cmake -S "$TOP" -B "$dir" "$@" >/dev/null &&
        cmake --build "$dir"
}

# build_quietly DIR TARGET...: configures DIR and builds only the given
# targets, printing nothing unless that fails; then it shows the whole output,
# which is kept in DIR/build.log either way.
build_quietly() {
    local dir=$1
    shift
    mkdir -p "$dir"
    if ! { cmake -S "$TOP" -B "$dir" && cmake --build "$dir" --target "$@"; } \
        >"$dir/build.log" 2>&1; then
        cat "$dir/build.log" >&2
        echo "The build failed; its output is above and in $dir/build.log" >&2
        return 1
    fi
}

# build_sanitized DIR: builds everything with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, fuzz targets included, into DIR.
build_sanitized() {
    CC=clang CXX=clang++ build_tree "$1" -DTAV_FUZZ=ON
}

# sanitizer_options REPORT_DIR: makes every sanitized process of this shell
# stop at its first report, check for leaks (less the toolkit's own, listed in
# tests/sanitizers/lsan.supp) and, when REPORT_DIR is given, write its reports
# there as well as failing: a report from a helper process then counts too.
sanitizer_options() {
    local log=${1:+:log_path=$1/report}
    export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1$log"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1$log"
    export LSAN_OPTIONS="suppressions=$TOP/tests/sanitizers/lsan.supp:print_suppressions=0"
    export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-$(command -v llvm-symbolizer || true)}
}

# wait_for_link LINK [PID]: waits up to 5 s for a simulator's link to appear;
# fails when it does not, or at once when the simulator PID has ended.
wait_for_link() {
    local link=$1 pid=${2:-} _
    for _ in $(seq 100); do
        [ -L "$link" ] && return 0
        if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then
            return 1
        fi
        sleep 0.05
    done
    return 1
}

# start_xvfb SCREEN: starts Xvfb on a free display (SCREEN as 1024x768x24) and
# exports DISPLAY for it; XVFB_PID is its process, to stop when done. Fails
# when no display came within 10 s.
start_xvfb() {
    local file _
    file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$file" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$file" ] && break
        sleep 0.1
    done
    DISPLAY=":$(cat "$file")"
    rm -f "$file"
    [ "$DISPLAY" != ":" ] && export DISPLAY
}

# The fuzz targets (fuzz/), each with its folder of seeds in fuzz/corpus/: the
# first two take a reply, the third a recording, the fourth an MQTT command
# message.
TAV_FUZZERS=(fuzz-replyfields fuzz-decoder fuzz-recording fuzz-commands)
declare -gA TAV_FUZZ_SEEDS=([fuzz-replyfields]=replies [fuzz-decoder]=replies
    [fuzz-recording]=recordings [fuzz-commands]=commands)

# run_fuzzers DIR SECONDS: runs every fuzz target built in DIR for SECONDS, side
# by side, growing a working corpus in DIR/fuzz-work/NAME from its seeds. Prints
# each run's closing figures; fails, with the end of its log, when one fails.
run_fuzzers() {
    local dir=$1 seconds=$2 name failed=0
    local -A pid
    for name in "${TAV_FUZZERS[@]}"; do
        mkdir -p "$dir/fuzz-work/$name"
        "$dir/fuzz/$name" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
            -print_final_stats=1 -artifact_prefix="$dir/fuzz-work/$name-" \
            "$dir/fuzz-work/$name" "$TOP/fuzz/corpus/${TAV_FUZZ_SEEDS[$name]}" \
            >"$dir/fuzz-work/$name.log" 2>&1 &
        pid[$name]=$!
    done
    for name in "${TAV_FUZZERS[@]}"; do
        if wait "${pid[$name]}"; then
            echo "$name: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$dir/fuzz-work/$name.log" | tail -1)"
            grep -E 'stat::number_of_executed_units' "$dir/fuzz-work/$name.log" | sed "s/^/$name: /"
        else
            failed=1
            tail -n 60 "$dir/fuzz-work/$name.log" >&2
            echo "$name failed (log: $dir/fuzz-work/$name.log)" >&2
        fi
    done
    return $failed
}
