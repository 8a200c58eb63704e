#!/usr/bin/env bash
# Builds Quillet and starts it (./dev.sh start), builds it and runs every
# test (./dev.sh test), or builds the Debian package quillet_VERSION_amd64.deb
# (./dev.sh package). Installs the Debian packages it needs when run as
# root; otherwise prints the exact install line.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-svg-dev libgl-dev libgtest-dev
          fonts-liberation fonts-wqy-zenhei xvfb xauth xdotool imagemagick xclip
          dbus-daemon at-spi2-core python3-pyatspi
          clang clang-format libclang-rt-dev locales
          libisal-dev isal libzstd-dev zstd liblzma-dev xz-utils libbz2-dev bzip2 pkg-config
          libbigwig-dev zlib1g-dev python3-pybigwig
          snakemake seqkit samtools tabix file slurm-wlm munge
          dpkg-dev lintian appstream desktop-file-utils shared-mime-info)

ensure_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "Missing packages. Install them with:"
        echo "  sudo apt-get install -y ${missing[*]}"
        exit 1
    fi
}

# Configures and builds a preset of CMakePresets.json in build-PRESET.
build() { # preset [build options]
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j"$(nproc)" "${@:2}"
}

# Runs the tests of a build folder and adds CTest's own verdicts to the
# counts: a test that exits with its skip code (or is disabled) is skipped,
# not passed; one that could not run (no executable, a failed fixture) has
# failed, as in CTest's summary.
passed=0 failed=0 skipped=0 skipped_names=()
suite() { # build-dir
    local junit=$PWD/$1/ctest-results.xml counts p f s
    rm -f "$junit"
    (cd "$1" && ctest --output-on-failure -j"$(nproc)" --output-junit "$junit") || true
    counts=$(python3 - "$junit" "$1" <<'EOF'
import re
import sys
import xml.etree.ElementTree as ET


def skip_reason(output):
    """Why a test skipped, from its output: GoogleTest's message (the lines
    after "file:line: Skipped" up to its "[  SKIPPED ]" line), else the
    test's own last "SKIP..." or "skipped..." line, else its last line that
    is not GoogleTest's frame."""
    lines = [line.strip() for line in output.splitlines()]
    for i, line in enumerate(lines):
        if line.endswith(": Skipped"):
            said = []
            for text in lines[i + 1:]:
                if not text or text.startswith("[  SKIPPED ]"):
                    break
                said.append(text)
            if said:
                return " ".join(said)
    for line in reversed(lines):
        if re.match(r"skip", line, re.IGNORECASE):
            return line
    return next((line for line in reversed(lines) if line and not line.startswith("[")), "")


passed = failed = 0
skipped = []
try:
    cases = list(ET.parse(sys.argv[1]).getroot().iter("testcase"))
except (OSError, ET.ParseError):  # no results: CTest itself failed
    cases, failed = [], 1
for case in cases:
    status = case.get("status")
    skip = case.find("skipped")
    if status == "run":
        passed += 1
    elif status == "disabled" or (status == "notrun" and skip is not None
                                  and skip.get("message", "").startswith("SKIP_")):
        said = skip_reason(case.findtext("system-out") or "")
        skipped.append(f"{sys.argv[2]}: {case.get('name')}" + (f" ({said})" if said else ""))
    else:
        failed += 1
print(passed, failed, len(skipped))
print("\n".join(skipped))
EOF
)
    read -r p f s <<<"$(head -1 <<<"$counts")"
    passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
    [ "$s" -eq 0 ] || mapfile -t -O "${#skipped_names[@]}" skipped_names < <(tail -n +2 <<<"$counts")
    echo "== $1: $p passed, $f failed, $s skipped"
}

case "${1:-}" in
    start)
        ensure_packages
        build release
        exec ./build-release/quillet
        ;;
    package)
        # The release build's install rules, packaged by CPack (the CPACK_
        # settings in CMakeLists.txt), into this folder.
        ensure_packages
        build release
        rm -f build-release/quillet_*_amd64.deb
        (cd build-release && cpack -G DEB)
        deb=$(cd build-release && ls quillet_*_amd64.deb)
        mv "build-release/$deb" .
        echo "Built $deb; install it with: sudo apt install ./$deb"
        ;;
    test)
        ensure_packages
        started=$SECONDS
        # Warnings are errors here (the dev, asan and fuzz presets).
        build dev
        suite build-dev
        echo "== tests done ($((SECONDS - started)) s)"

        # The whole suite again with AddressSanitizer and UndefinedBehavior-
        # Sanitizer; any report fails the test that triggered it.
        build asan
        ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
            suite build-asan
        echo "== sanitized tests done ($((SECONDS - started)) s)"

        # Each fuzz target for a bounded time (QUILLET_FUZZ_SECONDS, 60 by
        # default), all at once, starting from the seeds in fuzz/corpus.
        # A crash, leak or sanitizer report fails; the input that caused it
        # is kept in build-fuzz/artifacts.
        mapfile -t targets <fuzz/targets.txt
        build fuzz --target "${targets[@]/#/fuzz_}"
        fuzz_pids=()
        for target in "${targets[@]}"; do
            mkdir -p "build-fuzz/corpus/$target" build-fuzz/artifacts
            "build-fuzz/fuzz/fuzz_$target" -max_total_time="${QUILLET_FUZZ_SECONDS:-60}" -timeout=10 \
                -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$target-" \
                "build-fuzz/corpus/$target" "fuzz/corpus/$target" >"build-fuzz/fuzz_$target.log" 2>&1 &
            fuzz_pids+=($!)
        done
        for i in "${!targets[@]}"; do
            target=${targets[$i]}
            if wait "${fuzz_pids[$i]}"; then
                passed=$((passed + 1))
                echo "fuzz_$target: $(grep -E '^stat::number_of_executed_units' "build-fuzz/fuzz_$target.log" | cut -d: -f4 | tr -d ' ') inputs, no findings"
            else
                failed=$((failed + 1))
                echo "fuzz_$target FAILED; its log ends:"
                grep -v '^#[0-9]' "build-fuzz/fuzz_$target.log" | tail -n 60
            fi
        done
        echo "== done in $((SECONDS - started)) s"
        [ $skipped -eq 0 ] || printf 'skipped: %s\n' "${skipped_names[@]}"
        # One closing line for the whole run: the tests of both builds, as
        # CTest judged them, and the fuzz targets.
        echo "tests: $passed passed, $failed failed, $skipped skipped"
        [ $failed -eq 0 ]
        ;;
    *)
        echo "usage: ./dev.sh start | ./dev.sh test | ./dev.sh package" >&2
        exit 2
        ;;
esac
