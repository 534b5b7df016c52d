#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ (AddressSanitizer and UndefinedBehaviorSanitizer)
# in their own build folder and runs each for SECONDS, one after another, in one process.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]      (default: 60 seconds, every target)
#
# New inputs go to <build>/fuzz/corpus/<target>; the small seed corpus under fuzz/corpus is
# only read. A crash leaves its input in <build>/fuzz/artifacts and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_log_data_short fuzz_log_data_long fuzz_log_info fuzz_find_last_log_recnum fuzz_parse_date_time
    fuzz_logview_csv fuzz_object_name fuzz_xif fuzz_resource_catalogue fuzz_value_text fuzz_numbers
    fuzz_nv_type_text fuzz_config_file fuzz_store_url)
fi
build_dir=${TELLUMIC_FUZZ_BUILD_DIR:-build-fuzz}
lock=${TELLUMIC_BUILD_LOCK:-/tmp/tellumic-build.lock}

# clang and its runtime libraries (libFuzzer, the sanitizers).
missing=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

flock "$lock" bash -c "
  cmake -S . -B '$build_dir' -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTELLUMIC_BUILD_FUZZ=ON -DTELLUMIC_BUILD_TESTS=OFF -DTELLUMIC_BUILD_BENCH=OFF \
    '-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all' >/dev/null
  cmake --build '$build_dir' -j2 --target ${targets[*]}"

status=0
for t in "${targets[@]}"; do
  corpus="$build_dir/fuzz/corpus/$t"
  mkdir -p "$corpus" "$build_dir/fuzz/artifacts"
  echo "== $t for $seconds s"
  if ! "$build_dir/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$build_dir/fuzz/artifacts/$t-" "$corpus" "fuzz/corpus/$t"; then
    echo "== $t FAILED: see $build_dir/fuzz/artifacts" >&2
    status=1
  fi
done
exit $status
