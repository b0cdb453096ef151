#!/usr/bin/env python3
"""Turns the results folder of bench/run.sh (hyperfine JSON per command and round, the peak
memory, the Google Benchmark JSON, the machine facts) into docs/benchmarks.md."""
import glob
import json
import os
import statistics
import sys


def fmt_time(seconds):
    if seconds is None:
        return "n/a"
    if seconds < 1e-3:
        return f"{seconds * 1e6:.0f} µs"
    if seconds < 1:
        ms = seconds * 1e3
        return f"{ms:.3g} ms" if ms >= 100 else f"{ms:.2f} ms" if ms < 10 else f"{ms:.1f} ms"
    return f"{seconds:.2f} s"


def load_hyperfine(res):
    """Every command's runs over all its rounds: times, CPU (user + system) per run, command."""
    out = {}
    for path in sorted(glob.glob(os.path.join(res, "*.json"))):
        base = os.path.basename(path)
        if base.endswith("_bench.json"):
            continue
        name = base.rsplit(".", 2)[0]
        with open(path) as f:
            result = json.load(f)["results"][0]
        entry = out.setdefault(name, {"times": [], "cpu": [], "command": result["command"], "rounds": 0})
        entry["times"] += result["times"]
        entry["cpu"] += [(result["user"] + result["system"])] * len(result["times"])
        entry["rounds"] += 1
        cmd_path = os.path.join(res, name + ".cmd")
        if os.path.exists(cmd_path):
            with open(cmd_path) as f:
                entry["command"] = f.read().strip()
    for entry in out.values():
        entry["median"] = statistics.median(entry["times"])
        entry["cpu_mean"] = statistics.mean(entry["cpu"])
    return out


def load_gbench(res):
    """Median real and CPU time in seconds per benchmark (the single run without repetitions)."""
    out = {}
    for path in glob.glob(os.path.join(res, "*_bench.json")):
        with open(path) as f:
            data = json.load(f)
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
        for b in data["benchmarks"]:
            name = b.get("run_name", b["name"])
            kind = b.get("aggregate_name", "")
            if kind not in ("", "median"):
                continue
            if kind == "" and name in out:
                continue
            unit = scale[b.get("time_unit", "ns")]
            out[name] = {
                "real": b["real_time"] * unit,
                "cpu": b["cpu_time"] * unit,
                "reps": b.get("repetitions", 1),
                "bytes_per_second": b.get("bytes_per_second"),
                "items_per_second": b.get("items_per_second"),
                "peak_rss_MiB": b.get("peak_rss_MiB"),
            }
    return out


def load_machine(res):
    facts = {}
    with open(os.path.join(res, "machine.txt")) as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            facts[key] = value
    return facts


# (work, figure, comparison label, comparison, target ratio or None, target text)
ROWS = [
    ("meta of the 500,000-entry DAT", "meta_dat", "`unzip -Z1` of the stored ZIP of the same entries", "unzip_z1",
     1.0, "no slower (≤ 1)"),
    ("list of the 500,000-entry DAT to /dev/null", "list_dat", "`zipinfo` of the ZIP to /dev/null", "zipinfo",
     0.5, "at most half (≤ 0.5)"),
    ("info of one entry in the 1,000,000-entry archive", "info_qma", "`dat-tool --version`", "version",
     1.5, "within 1.5x (≤ 1.5)"),
    ("info of one entry in a DAT of the same 1,000,000 entries", "info_dat_1m", "info in the archive", "info_qma",
     None, "(reported)"),
    ("list of the 1,000,000-entry archive to /dev/null", "list_qma", "", None, None, "(absolute)"),
    ("meta of the 1,000,000-entry archive", "meta_qma", "", None, None, "(absolute)"),
    ("export of a 64 MiB compressed archive entry to a file", "export_64m", "`zstd -d` of the same frame to a file",
     "zstd_d", 1.1, "within 1.1x (≤ 1.1)"),
    ("qma-pack -c of the 1 GiB folder (100,000 files)", "pack_c",
     "`tar -cf - DIR \\| zstd -3 -T1 -o x.tar.zst`", "tar_zstd", 1.0, "no slower (≤ 1)"),
    ("qma-pack (no compression) of the 1 GiB folder", "pack", "`tar -cf x.tar DIR`", "tar", 1.0, "no slower (≤ 1)"),
    ("spell-export of the 10,000-spell table to a file", "spell_export",
     "`python3 -m json.tool` on the tool's own output", "json_tool", 0.5, "well under (≤ 0.5)"),
    ("weenie-find over 200 tables x 1,000 weenies", "weenie_find",
     "200 `export` runs of the same tables (raw fetch)", "export_200", 2.0, "decode ≤ fetch (≤ 2)"),
    ("unpack of the 100,000-entry portal DAT into a folder", "unpack",
     "`unzip -q -o` of a stored ZIP of the same entries into a folder", "unzip_d", 1.0, "no slower (≤ 1)"),
    ("qma-pack -c straight from the 100,000-entry portal DAT", "pack_direct",
     "unpack, then qma-pack -c of the folder", "unpack_pack", 1.0, "faster (< 1)"),
    ("verify of the 1,000,000-entry archive", "verify_qma", "`zstd -t` of the same frames", "zstd_t",
     None, "(reported)"),
]


def verdict(ratio, target):
    if target is None or ratio is None:
        return "–"
    return "yes" if ratio <= target else "**no**"


def main(res, report_path):
    hf = load_hyperfine(res)
    gb = load_gbench(res)
    machine = load_machine(res)

    def figure(name):
        e = hf.get(name)
        if not e:
            return None, "n/a"
        return e["median"], f"{fmt_time(e['median'])} (median of {len(e['times'])})"

    lines = []
    add = lines.append
    add("# Benchmarks")
    add("")
    add("How dat-tool's commands compare with established tools doing the same work on the same data, "
        "each pair measured in the same run on the same machine. The ratio is the figure: "
        "the tool's time divided by the comparison's time (below 1 means the tool is faster).")
    add("")
    add("## How to run")
    add("")
    add("    bench/run.sh            # build (Release), write or reuse the workloads, run everything, write this file")
    add("    bench/run.sh --quick    # one short round, report into the work folder (checks the script)")
    add("")
    add("The workloads (about 3.5 GB) are written by `bench/make_workloads` with the fixture builders of "
        "`tests/support` into `$QM_BENCH_WORK` (default `/tmp/qm-bench-work`; about two minutes the first time) "
        "and reused by later runs; "
        "`bench/make_zip.py` writes the ZIP with Python's `zipfile`. Timings are hyperfine medians over "
        "alternating rounds per pair (A, B, A, B, ...), outputs to /dev/null, page cache warm; the file-writing "
        "commands remove their previous output and `sync` before every run, outside the timing. "
        "Peak memory is `/usr/bin/time -f %M`.")
    add("")
    add("## Machine")
    add("")
    mem_gib = int(machine.get("mem_kib", "0") or 0) / 1024 / 1024
    elapsed = int(machine.get("finished", 0)) - int(machine.get("started", 0))
    add(f"- {machine.get('nproc')} CPUs (`nproc`), {machine.get('cpu')}, {mem_gib:.1f} GiB memory, "
        f"{machine.get('kernel')}")
    add(f"- {machine.get('versions')}")
    add(f"- run of {machine.get('date')}, {elapsed // 60} min {elapsed % 60} s in all (build and workloads "
        f"included); load average {machine.get('load_start')} at the start, {machine.get('load_end')} at the end")
    if machine.get("quick") == "1":
        add("- **quick run**: one short round per command; the figures only show that the script works")
    add("")
    add("## Results")
    add("")
    add("| work | figure | comparison | ratio | target | met? |")
    add("|---|---|---|---|---|---|")
    for work, fig, cmp_label, cmp_name, target, target_text in ROWS:
        f_val, f_text = figure(fig)
        if cmp_name:
            c_val, c_text = figure(cmp_name)
            ratio = f_val / c_val if f_val and c_val else None
            add(f"| {work} | {f_text} | {cmp_label}: {c_text} | "
                f"{'n/a' if ratio is None else f'{ratio:.2f}'} | {target_text} | {verdict(ratio, target)} |")
        else:
            add(f"| {work} | {f_text} | – | – | {target_text} | – |")
    # Peak memory.
    for name, label in (("pack_c", "qma-pack -c of the 1 GiB folder"),
                        ("pack_direct", "qma-pack -c straight from the 100,000-entry portal DAT")):
        try:
            with open(os.path.join(res, f"{name}.maxrss")) as f:
                kib = int(f.read().split()[-1])
            mib = kib / 1024
            ratio = mib / 256
            add(f"| peak memory of {label} | {mib:.0f} MiB | limit 256 MiB | {ratio:.2f} | "
                f"under 256 MiB (< 1) | {'yes' if ratio < 1 else '**no**'} |")
        except (OSError, ValueError, IndexError):
            add(f"| peak memory of {label} | n/a | limit 256 MiB | n/a | under 256 MiB | – |")

    def gb_row(work, fig, cmp_name, cmp_label, target, target_text):
        a, b = gb.get(fig), gb.get(cmp_name)
        if not a or not b:
            add(f"| {work} | n/a | {cmp_label} | n/a | {target_text} | – |")
            return
        ratio = a["real"] / b["real"]
        add(f"| {work} | {fmt_time(a['real'])} (median of {a['reps']}) | {cmp_label}: {fmt_time(b['real'])} | "
            f"{ratio:.2f} | {target_text} | {verdict(ratio, target)} |")

    gb_row("weenie-find's work in process: fetch and decode the 200 tables (records_bench)",
           "BM_WeenieTablesFetchDecode", "BM_WeenieTablesFetch", "fetch only", 2.0, "decode ≤ fetch (≤ 2)")
    gb_row("open of the 500,000-entry DAT: tree walk into the map (dat_bench)", "BM_OpenCell500k",
           "BM_MapInsertFromFlatArray500k", "the same entries inserted into the same map from a flat array",
           2.0, "open ≤ 2x flat insert")
    add("")
    add("## All timings")
    add("")
    add("`$WORK` is the workload folder, `$OUT` the folder for outputs.")
    add("")
    add("| name | command | runs | median | min | max | CPU (user + sys, mean) |")
    add("|---|---|---|---|---|---|---|")
    def short(cmd):
        for key, alias in (("tool", "dat-tool"), ("out", "$OUT"), ("work", "$WORK")):
            if machine.get(key):
                cmd = cmd.replace(machine[key], alias)
        return "`" + cmd.replace("|", "\\|") + "`"

    for name, e in sorted(hf.items()):
        cmd = short(e["command"])
        add(f"| {name} | {cmd} | {len(e['times'])} | {fmt_time(e['median'])} | {fmt_time(min(e['times']))} | "
            f"{fmt_time(max(e['times']))} | {fmt_time(e['cpu_mean'])} |")
    add("")
    add("Google Benchmark (`bench/dat_bench`, `bench/records_bench`; medians of the repetitions):")
    add("")
    add("| benchmark | real time | CPU time | throughput |")
    add("|---|---|---|---|")
    for name, b in sorted(gb.items()):
        extra = []
        if b["bytes_per_second"]:
            extra.append(f"{b['bytes_per_second'] / 2**20:.0f} MiB/s")
        if b["items_per_second"]:
            extra.append(f"{b['items_per_second'] / 1e6:.2f} M items/s")
        if b["peak_rss_MiB"]:
            extra.append(f"peak RSS {b['peak_rss_MiB']:.0f} MiB")
        add(f"| {name} | {fmt_time(b['real'])} | {fmt_time(b['cpu'])} | {', '.join(extra)} |")
    add("")
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "report_notes.md")) as f:
        lines.append(f.read().rstrip("\n"))
    with open(report_path, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
