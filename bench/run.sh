#!/usr/bin/env bash
# Builds dat-tool and the benchmarks (Release), writes the workloads into $QM_BENCH_WORK (default
# /tmp/qm-bench-work; files already there are reused), runs every comparison on this machine and
# writes docs/benchmarks.md.
#
#   bench/run.sh             full run (about 5 to 10 minutes, plus about 2 minutes the first time
#                            to write the 3.5 GB of workloads)
#   bench/run.sh --quick     one short round of everything, to check the script; the report goes
#                            to $QM_BENCH_WORK/benchmarks-quick.md unless --out is given
#   --no-build               use the binaries already in the build folder
#   --out FILE               write the report there instead
#
# Each pair of commands is timed with hyperfine in alternating rounds (A, B, A, B, ...) so that a
# change in the machine's load during the run hits both sides; the figure is the median of all
# runs of a command. The build folder is $QM_BENCH_BUILD (default build-bench).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BENCH_BUILD:-$root/build-bench}
export QM_BENCH_WORK=${QM_BENCH_WORK:-/tmp/qm-bench-work}
quick=0
do_build=1
report=""
while (($#)); do
  case "$1" in
    --quick) quick=1 ;;
    --no-build) do_build=0 ;;
    --out) report=$2; shift ;;
    *) echo "usage: bench/run.sh [--quick] [--no-build] [--out FILE]" >&2; exit 2 ;;
  esac
  shift
done

started=$(date +%s)
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
section() { printf '\n== %s (%ds)\n' "$1" $(($(date +%s) - started)); }

if ((do_build)); then
  section "build"
  "$root/scripts/install-deps.sh"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_BENCH=ON -DQM_BUILD_TESTS=ON >/dev/null
  ninja -C "$build" -j2 dat-tool make_workloads dat_bench records_bench
fi
for tool in hyperfine /usr/bin/time python3 zstd tar unzip zipinfo zip; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done
tool=$build/apps/quillmere-tools/dat-tool

section "workloads"
work=$("$build/bench/make_workloads")
if [ ! -f "$work/cell-500k.zip" ]; then
  echo "writing $work/cell-500k.zip"
  python3 "$root/bench/make_zip.py" "$work/cell-500k.stream" "$work/cell-500k.zip.partial"
  mv "$work/cell-500k.zip.partial" "$work/cell-500k.zip"
fi
out=$QM_BENCH_WORK/out
res=$QM_BENCH_WORK/results
rm -rf "$out" "$res"
mkdir -p "$out" "$res"
if [ -z "$report" ]; then
  if ((quick)); then report=$QM_BENCH_WORK/benchmarks-quick.md; else report=$root/docs/benchmarks.md; fi
fi

q() { printf '%q' "$1"; }
T=$(q "$tool")
W=$(q "$work")
O=$(q "$out")
# Rounds per pair; set before each group of pairs (a quick run does one).
rounds=2
set_rounds() { rounds=$1; ((quick)) && rounds=1; return 0; }

# measure NAME RUNS WARMUP MODE COMMAND [PREPARE]: one hyperfine call; MODE "direct" runs the
# command without a shell, "shell" through sh (pipelines). Repeated calls for one NAME add rounds.
measure() {
  local name=$1 runs=$2 warmup=$3 mode=$4 cmd=$5 prepare=${6:-}
  ((quick)) && { runs=$(((runs + 9) / 10)); warmup=0; }
  local n=1
  while [ -e "$res/$name.$n.json" ]; do n=$((n + 1)); done
  printf '%s\n' "$cmd" >"$res/$name.cmd"
  local args=(--style basic --runs "$runs" --warmup "$warmup" --export-json "$res/$name.$n.json" --command-name "$name")
  [ "$mode" = direct ] && args+=(-N)
  [ -n "$prepare" ] && args+=(--prepare "$prepare")
  hyperfine "${args[@]}" "$cmd" | grep -E 'Time|Range' || true
}
# pair NAME_A RUNS_A CMD_A NAME_B RUNS_B CMD_B [MODE_A MODE_B PREPARE_A PREPARE_B WARMUP]
pair() {
  local warmup=${11:-1}
  for ((r = 1; r <= rounds; r++)); do
    echo "-- $1 (round $r)"
    measure "$1" "$2" "$warmup" "${7:-direct}" "$3" "${9:-}"
    echo "-- $4 (round $r)"
    measure "$4" "$5" "$warmup" "${8:-direct}" "$6" "${10:-}"
  done
}

# A spot in the middle of the cell index: landblock 10000, its first indoor cell.
mid_id=0x33010100

section "meta and list of the 500,000-entry DAT beside the ZIP tools"
set_rounds 3
pair meta_dat 3 "$T meta $W/cell-500k.dat" unzip_z1 1 "unzip -Z1 $W/cell-500k.zip" direct direct "" "" 0
pair list_dat 3 "$T list $W/cell-500k.dat" zipinfo 1 "zipinfo $W/cell-500k.zip" direct direct "" "" 0

section "info in the 1,000,000-entry archive and DAT"
set_rounds 2
pair info_qma 40 "$T info $W/cell-1m.qma $mid_id" version 40 "$T --version" direct direct "" "" 3
pair info_dat_1m 3 "$T info $W/cell-1m.dat $mid_id" info_qma 20 "$T info $W/cell-1m.qma $mid_id"

section "list and meta of the 1,000,000-entry archive"
pair list_qma 3 "$T list $W/cell-1m.qma" meta_qma 3 "$T meta $W/cell-1m.qma"

section "export of a 64 MiB entry beside zstd -d"
pair export_64m 8 "$T export $W/big-64m.qma 0x06000001 -o $O/export.bin" \
  zstd_d 8 "zstd -d -q -f $W/big-64m.zst -o $O/zstd.bin"

section "qma-pack of the 1 GiB folder beside tar and zstd"
cd "$work"  # tar archives the folder by its relative name
set_rounds 3
pair pack_c 1 "$T qma-pack portal-files $O/pack-c.qma -c" \
  tar_zstd 1 "tar -cf - portal-files | zstd -3 -T1 -q -f -o $O/pack.tar.zst" \
  direct shell "rm -f $O/pack-c.qma; sync" "rm -f $O/pack.tar.zst; sync" 0
rm -f "$out/pack-c.qma" "$out/pack.tar.zst"
pair pack 1 "$T qma-pack portal-files $O/pack.qma" \
  tar 1 "tar -cf $O/pack.tar portal-files" \
  direct direct "rm -f $O/pack.qma; sync" "rm -f $O/pack.tar; sync" 0
rm -f "$out/pack.qma" "$out/pack.tar"
echo "-- peak memory of qma-pack -c"
sync
/usr/bin/time -f %M -o "$res/pack_c.maxrss" "$tool" qma-pack portal-files "$out/pack-mem.qma" -c >/dev/null
cat "$res/pack_c.maxrss"
rm -f "$out/pack-mem.qma"
cd "$root"

section "spell-export beside python3 -m json.tool"
set_rounds 2
"$tool" spell-export "$work/spells-10k.dat" -o "$out/spells.json" >/dev/null
pair spell_export 10 "$T spell-export $W/spells-10k.dat -o $O/spells.json" \
  json_tool 5 "python3 -m json.tool $O/spells.json"

section "weenie-find beside 200 raw exports"
{
  echo "# The raw fetch of every weenie table, one export run each."
  for ((t = 0; t < 200; t++)); do
    printf '%s export %s 0x%08X -o %s\n' "$T" "$W/weenies-200x1000.dat" $((0x0E010000 + t)) "$O/table.bin"
  done
} >"$out/export-200.sh"
pair weenie_find 5 "$T weenie-find $W/weenies-200x1000.dat 123457" \
  export_200 3 "bash $O/export-200.sh"

section "whole-container commands: unpack, direct pack, verify"
# The peers' inputs: a stored ZIP of the portal database's entries, and the archive's frames.
if [ ! -f "$work/portal-100k.zip" ]; then
  rm -rf "$work/unpack-tmp"
  "$tool" unpack "$work/portal-100k.dat" "$work/unpack-tmp" >/dev/null
  (cd "$work/unpack-tmp" && zip -q -0 -r "$work/portal-100k.zip.tmp" .) && mv "$work/portal-100k.zip.tmp" "$work/portal-100k.zip"
  rm -rf "$work/unpack-tmp"
fi
[ -f "$work/cell-1m.frames.zst" ] || python3 "$root/bench/extract_frames.py" "$work/cell-1m.qma" "$work/cell-1m.frames.zst"
set_rounds 2
pair unpack 1 "$T unpack $W/portal-100k.dat $O/unpacked" \
  unzip_d 1 "unzip -q -o $W/portal-100k.zip -d $O/unzipped" \
  direct direct "rm -rf $O/unpacked; sync" "rm -rf $O/unzipped; sync" 0
rm -rf "$out/unpacked" "$out/unzipped"
pair pack_direct 1 "$T qma-pack $W/portal-100k.dat $O/direct.qma -c" \
  unpack_pack 1 "$T unpack $W/portal-100k.dat $O/staged >/dev/null && $T qma-pack $O/staged $O/staged.qma -c" \
  direct shell "rm -f $O/direct.qma; sync" "rm -rf $O/staged $O/staged.qma; sync" 0
rm -rf "$out/direct.qma" "$out/staged" "$out/staged.qma"
echo "-- peak memory of the direct pack"
sync
/usr/bin/time -f %M -o "$res/pack_direct.maxrss" "$tool" qma-pack "$work/portal-100k.dat" "$out/direct-mem.qma" -c >/dev/null
cat "$res/pack_direct.maxrss"
rm -f "$out/direct-mem.qma"
pair verify_qma 2 "$T verify $W/cell-1m.qma" zstd_t 2 "zstd -t -q $W/cell-1m.frames.zst"

section "Google Benchmark: bench/dat_bench and bench/records_bench"
gb_args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_out_format=json)
((quick)) && gb_args=(--benchmark_repetitions=1 --benchmark_min_time=0.05 --benchmark_out_format=json)
"$build/bench/dat_bench" "${gb_args[@]}" --benchmark_out="$res/dat_bench.json"
"$build/bench/records_bench" "${gb_args[@]}" --benchmark_out="$res/records_bench.json"

section "report"
{
  echo "nproc=$(nproc)"
  echo "cpu=$(LC_ALL=C lscpu | sed -n 's/^Model name: *//p' | head -1)"
  echo "mem_kib=$(sed -n 's/^MemTotal: *\([0-9]*\).*/\1/p' /proc/meminfo)"
  echo "kernel=$(uname -sr)"
  echo "load_start=$load_start"
  echo "load_end=$(cut -d' ' -f1-3 /proc/loadavg)"
  echo "started=$started"
  echo "finished=$(date +%s)"
  echo "date=$(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "versions=hyperfine $(hyperfine --version | cut -d' ' -f2), $(zstd -V | sed 's/.*v\([0-9.]*\).*/zstd \1/'), $(tar --version | head -1 | sed 's/.* /tar /'), $(unzip -v | head -1 | cut -d' ' -f1-2), $(python3 --version), $(g++ --version | head -1 | sed 's/.* /g++ /')"
  echo "quick=$quick"
  echo "tool=$tool"
  echo "work=$work"
  echo "out=$out"
} >"$res/machine.txt"
python3 "$root/bench/report.py" "$res" "$report"
rm -rf "$out"
echo "wrote $report ($(($(date +%s) - started)) s in all)"
