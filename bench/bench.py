#!/usr/bin/env python3
"""Measures dbrunner and writes docs/performance.md with its plot.

Started by bench/run, which installs the tools and builds the programs first.
Whole processes are timed with hyperfine in rounds whose command order
rotates, so every program sees the same moments of the machine; instructions
come from callgrind, peak memory from /usr/bin/time.
"""

import argparse
import datetime
import json
import os
import platform
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# The targets, for a SQLite run of the demo's kind and for large inputs.
MAX_INSTRUCTIONS = 1_400_000
MAX_WALL_RATIO_TO_SHELL = 0.75
MAX_RSS_KB = 4 * 1024
MAX_PER_MB_SPREAD = 2.0

UPDATE_SQL = "UPDATE T SET A='x' WHERE ID=17"
# RESET puts another value in the row, so that the next UPDATE has to write.
STATEMENT_INI = ("[UPD]\nSQL001=UPDATE T SET A='x' WHERE ID=$parm01\n"
                 "[RESET]\nSQL001=UPDATE T SET A='y' WHERE ID=$parm01\n")
CREATE_TABLE = ("PRAGMA journal_mode=DELETE;"
                "CREATE TABLE T(ID INTEGER PRIMARY KEY, A TEXT);"
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
                "INSERT INTO T SELECT i, 'v' || i FROM n;")


def log(message):
    print(f"bench: {message}", file=sys.stderr, flush=True)


def run(args, cwd=None, env=None, check=True):
    return subprocess.run([str(a) for a in args], cwd=cwd, env=env, check=check,
                          capture_output=True, text=True)


def first_line(args):
    try:
        return run(args).stdout.strip().splitlines()[0]
    except (OSError, subprocess.CalledProcessError, IndexError):
        return "unknown"


def row_value(db):
    return run(["sqlite3", db, "SELECT A FROM T WHERE ID=17"]).stdout.strip()


class Fixtures:
    """The files of the measurements, one directory per case."""

    def __init__(self, work, build):
        self.work = work
        self.writer = build / "bench" / "dbrunner_bench_fixtures"

    def credentials(self, path, fillers, db_name, db_sys, login=()):
        run([self.writer, path, fillers, db_name, db_sys, *login])
        return path

    def case(self, name, ini=STATEMENT_INI, db_sys="BENCH"):
        """A directory with the 1,000-row database, a credential file of four
        records (cred.ini) and the statement file."""
        d = self.work / name
        d.mkdir(parents=True)
        run(["sqlite3", d / "t.db", CREATE_TABLE])
        self.credentials(d / "cred.ini", 0, "sqlite:t.db", db_sys)
        (d / f"DBRUNNER.{db_sys}.INI").write_text(ini)
        return d


def realtime_prefix():
    """chrt's lowest real-time priority where it is permitted (root): then the
    other work of a busy machine cannot preempt a run half-way."""
    if shutil.which("chrt") and subprocess.run(["chrt", "-f", "1", "true"],
                                               capture_output=True).returncode == 0:
        return ["chrt", "-f", "1"]
    return []


REALTIME = realtime_prefix()


def hyperfine_rounds(commands, cwd, rounds, runs, warmup=1, prepare=None, env=None):
    """Runs `commands` ({name: argv}) in `rounds` hyperfine calls, the order
    rotated and reversed from one call to the next. Returns {name: [seconds]}
    and each round's medians."""
    names = list(commands)
    times = {name: [] for name in names}
    per_round = []
    with tempfile.TemporaryDirectory() as tmp:
        out = Path(tmp) / "round.json"
        for r in range(rounds):
            k = r % len(names)
            order = names[k:] + names[:k]
            if r % 2:
                order.reverse()
            args = REALTIME + ["hyperfine", "-N", "--style", "none", "--warmup", str(warmup),
                    "--runs", str(runs), "--export-json", str(out)]
            if prepare:
                args += ["--prepare", shlex.join(prepare)]
            for name in order:
                args += ["-n", name, shlex.join(commands[name])]
            result = subprocess.run(args, cwd=cwd, env=env, capture_output=True, text=True)
            if result.returncode != 0:
                raise SystemExit(f"bench: hyperfine failed in {cwd}:\n{result.stderr}")
            medians = {}
            for entry in json.loads(out.read_text())["results"]:
                times[entry["command"]] += entry["times"]
                medians[entry["command"]] = statistics.median(entry["times"])
            per_round.append(medians)
    return times, per_round


def instructions(argv, cwd, env=None):
    """Instructions of the whole process, dynamic loader included (callgrind),
    and the inclusive count of each function."""
    with tempfile.TemporaryDirectory() as tmp:
        out = Path(tmp) / "callgrind.out"
        result = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                                 *map(str, argv)], cwd=cwd, env=env, capture_output=True, text=True)
        match = re.search(r"Collected : (\d+)", result.stderr)
        if result.returncode != 0 or not match:
            raise SystemExit(f"bench: callgrind failed for {argv[0]}:\n{result.stderr[-2000:]}")
        annotate = run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", out],
                       check=False).stdout
    inclusive = {}
    for line in annotate.splitlines():
        m = re.match(r"\s*([\d,]+) \([^)]*\)\s+\S*?:(.*?) \[", line)
        if m:
            inclusive.setdefault(m.group(2), int(m.group(1).replace(",", "")))
    return int(match.group(1)), inclusive


def peak_rss_kb(argv, cwd, times=7, env=None):
    peak = 0
    for _ in range(times):
        result = subprocess.run(["/usr/bin/time", "-f", "%M", *map(str, argv)], cwd=cwd, env=env,
                                capture_output=True, text=True)
        peak = max(peak, int(result.stderr.strip().splitlines()[-1]))
    return peak


def median_ms(values):
    return statistics.median(values) * 1000.0


def median_difference_error_ms(a, b):
    """Standard error of the difference of two medians, from each sample's
    median absolute deviation (robust against the outliers of a busy machine)."""
    def error_squared(values):
        mid = statistics.median(values)
        sigma = 1.4826 * statistics.median([abs(v - mid) for v in values])
        return (1.2533 * sigma) ** 2 / len(values)
    return (error_squared(a) + error_squared(b)) ** 0.5 * 1000


def spread(values):
    values = [v for v in values if v > 0]
    return max(values) / min(values) if len(values) > 1 else float("nan")


def machine_rows(work):
    def field(path, key, sep=":"):
        for line in Path(path).read_text().splitlines():
            if line.startswith(key):
                return line.split(sep, 1)[1].strip().strip('"')
        return "unknown"

    virt = run(["systemd-detect-virt"], check=False).stdout.strip() if shutil.which(
        "systemd-detect-virt") else ""
    mem_gib = int(field("/proc/meminfo", "MemTotal").split()[0]) / 1024 / 1024
    return [
        ("CPU", f"{field('/proc/cpuinfo', 'model name')}, {os.cpu_count()} logical CPUs"
                + (f", virtual machine ({virt})" if virt and virt != "none" else "")),
        ("memory", f"{mem_gib:.1f} GiB"),
        ("system", f"{field('/etc/os-release', 'PRETTY_NAME=', '=')}, Linux {platform.release()}"),
        ("file system of the fixtures", run(["df", "-T", work]).stdout.splitlines()[-1].split()[1]),
        ("compiler", first_line(["c++", "--version"])),
        ("SQLite (linked into dbrunner, and the shell)", first_line(["sqlite3", "-version"]).split()[0]),
        ("hyperfine", first_line(["hyperfine", "--version"])),
        ("valgrind", first_line(["valgrind", "--version"])),
        ("load average at start", " ".join(Path("/proc/loadavg").read_text().split()[:3])),
    ]


def binary_checks(dbrunner, cwd):
    """The start-up levers, checked on the binary as built."""
    ldd = run(["ldd", dbrunner]).stdout
    needed = sorted({m.group(1) for m in re.finditer(r"^\s*(\S+\.so[.\d]*)", ldd, re.M)})
    trace = subprocess.run([str(dbrunner), "UPD", "cred.ini", "17"], cwd=cwd, capture_output=True,
                           text=True, env=dict(os.environ, LD_DEBUG="libs")).stderr
    loaded = sorted({Path(m.group(1)).name for m in re.finditer(r"calling init: (\S+)", trace)})
    symbols = run(["nm", "-C", dbrunner]).stdout
    dynamic = run(["readelf", "-d", dbrunner]).stdout
    has = lambda names: any(n in lib for lib in needed for n in names)
    return [
        ("libraries needed (ldd)", ", ".join(needed)),
        ("libraries loaded on a SQLite run (LD_DEBUG=libs)", ", ".join(loaded)),
        ("libstdc++ and libgcc", "dynamic" if has(("libstdc++", "libgcc_s")) else "static"),
        ("SQLite", "dynamic" if has(("libsqlite3",)) else "static"),
        ("server client library loaded on a SQLite run",
         "yes" if re.search(r"libpq|libodbc|libclntsh", trace) else "no"),
        ("iostream start-up (std::ios_base::Init::Init) linked",
         "yes" if "std::ios_base::Init::Init" in symbols else "no"),
        ("position-independent executable (ASLR)", "yes" if "PIE" in dynamic else "no"),
        ("packed relative relocations (DT_RELR)", "yes" if "(RELR)" in dynamic else "no"),
        ("binary size", f"{dbrunner.stat().st_size / 1e6:.2f} MB"),
    ]


def sqlite_run(fx, build, rounds, runs):
    """dbrunner, the floor and the sqlite3 shell on one UPDATE of the demo's kind."""
    d = fx.case("sqlite")
    argv = {
        "dbrunner": [build / "dbrunner", "UPD", "cred.ini", "17"],
        "floor": [build / "bench" / "dbrunner_floor", "UPD", "cred.ini", "17"],
        "sqlite3 shell": ["sqlite3", "t.db", UPDATE_SQL],
        "/bin/true": ["/bin/true"],
    }
    argv = {k: [str(a) for a in v] for k, v in argv.items()}
    reset = argv["dbrunner"][:1] + ["RESET", "cred.ini", "17"]
    programs = ("dbrunner", "floor", "sqlite3 shell")
    # Every program must do the work before it is timed.
    for name in programs:
        run(reset, cwd=d)
        result = run(argv[name], cwd=d, check=False)
        if result.returncode != 0 or row_value(d / "t.db") != "x":
            raise SystemExit(f"bench: {name} did not update the row (exit {result.returncode})")

    log(f"SQLite, row already as set: {rounds} rounds of {runs} runs")
    same, same_rounds = hyperfine_rounds(argv, d, rounds, runs, warmup=2)
    changing_rounds = max(3, rounds // 2)
    log(f"SQLite, row changes every run: {changing_rounds} rounds of {runs} runs")
    changed, _ = hyperfine_rounds({k: argv[k] for k in programs}, d, changing_rounds, runs,
                                  prepare=reset)

    log("SQLite: callgrind and peak memory")
    ir, ir_changed, rss, profile = {}, {}, {}, {}
    for name, args in argv.items():
        if name in programs:
            run(reset, cwd=d)
            ir_changed[name], _ = instructions(args, d)
        ir[name], profile[name] = instructions(args, d)
        rss[name] = peak_rss_kb(args, d)
    return {"dir": d, "same": same, "same_rounds": same_rounds, "changed": changed, "ir": ir,
            "ir_changed": ir_changed, "rss": rss, "profile": profile}


def scaling_points(fx, build, quick):
    """(series, [point]); each point is run side by side with its base run, the
    same job with the smallest input, in the same directory."""
    dbrunner = str(build / "dbrunner")
    job = lambda cred: [dbrunner, "UPD", cred, "17"]

    # Credential files with the wanted records last: every lookup reads them all.
    d = fx.case("scale-credentials")
    base_size = (d / "cred.ini").stat().st_size
    creds = []
    for n in [1000, 10000, 100000] + ([] if quick else [1000000]):
        path = fx.credentials(d / f"cred{n}.ini", n, "sqlite:t.db", "BENCH")
        creds.append(dict(label=f"{n:,} records", cwd=d, argv=job(path.name), base=job("cred.ini"),
                          extra=path.stat().st_size - base_size))

    # Statements of 1 to 999 keys of 2,000 characters, one literal across them
    # all. Each size has its own database, whose row takes the literal on the
    # first run; the base run is the one-key statement of the demo's kind.
    statements = []
    head, tail = "UPDATE T SET A='", "' WHERE ID=$parm01"
    for keys in [1, 10, 100, 999]:
        text = head + "s" * (keys * 2000 - len(head) - len(tail)) + tail
        ini = "[UPD]\n" + "".join(f"SQL{k + 1:03d}={text[k * 2000:(k + 1) * 2000]}\n"
                                   for k in range(keys))
        sd = fx.case(f"scale-statement-{keys}", ini=ini)
        (sd / "DBRUNNER.BASE.INI").write_text(STATEMENT_INI)
        fx.credentials(sd / "base.ini", 0, "sqlite:t.db", "BASE")
        extra = (sd / "DBRUNNER.BENCH.INI").stat().st_size - (sd / "DBRUNNER.BASE.INI").stat().st_size
        statements.append(dict(label=f"{keys:,} key{'s' if keys > 1 else ''} of 2,000 characters", cwd=sd,
                               argv=job("cred.ini"), base=job("base.ini"), extra=extra))

    # 99 parameters placed in one literal. One argument of hyperfine may hold
    # at most 128 KiB, so xargs hands the values over, to the base run (99
    # empty values) as well; its own cost is the same on both sides.
    placeholders = "".join(f"$parm{n:02d}" for n in range(1, 100))
    pd = fx.case("scale-parameters", ini=f"[UPD]\nSQL001=UPDATE T SET A='{placeholders}' WHERE ID=17\n")
    via_xargs = lambda name: ["xargs", "-0", "-x", "-s", "1500000", "-a", name, dbrunner, "UPD", "cred.ini"]
    (pd / "values0").write_bytes(b"\0" * 99)
    params = []
    for size in [10, 100, 1000, 10000]:
        (pd / f"values{size}").write_bytes((b"p" * size + b"\0") * 99)
        # callgrind and the memory count see dbrunner itself, without xargs.
        params.append(dict(label=f"99 values of {size:,} bytes", cwd=pd, argv=via_xargs(f"values{size}"),
                           base=via_xargs("values0"), extra=99 * size,
                           direct=[dbrunner, "UPD", "cred.ini"] + ["p" * size] * 99,
                           direct_base=[dbrunner, "UPD", "cred.ini"] + [""] * 99))
    return [("credential file", creds), ("statement", statements), ("parameters", params)]


def scaling(fx, build, quick):
    results = []
    for title, points in scaling_points(fx, build, quick):
        rows = []
        for p in points:
            # Warms the files and gives the row its value (the first run writes).
            for args in (p["argv"], p["base"]):
                result = run(args, cwd=p["cwd"], check=False)
                if result.returncode != 0:
                    raise SystemExit(f"bench: {title}, {p['label']}: exit {result.returncode}")
            probe, _ = hyperfine_rounds({"probe": p["argv"]}, p["cwd"], 1, 2)
            seconds = statistics.median(probe["probe"])
            runs = max(3, min(15, int(0.5 / seconds)))
            rounds = 2 if quick else (4 if seconds > 0.2 else 12)
            log(f"large inputs: {title}, {p['label']}: {rounds} rounds of {runs} runs")
            times, _ = hyperfine_rounds({"base": p["base"], "point": p["argv"]}, p["cwd"], rounds, runs)
            ir_point, _ = instructions(p.get("direct", p["argv"]), p["cwd"])
            ir_base, _ = instructions(p.get("direct_base", p["base"]), p["cwd"])
            mb = p["extra"] / 1e6
            marginal = median_ms(times["point"]) - median_ms(times["base"])
            noise = median_difference_error_ms(times["point"], times["base"])
            rows.append(dict(
                label=p["label"], mb=mb, resolved=marginal > 3 * noise, noise_ms=noise,
                median_ms=median_ms(times["point"]), base_ms=median_ms(times["base"]),
                marginal_ms=marginal, ms_per_mb=marginal / mb,
                ir_per_byte=(ir_point - ir_base) / p["extra"], rss_kb=peak_rss_kb(p.get("direct", p["argv"]), p["cwd"], 2)))
        results.append((title, rows))
    return results


def postgres_run(fx, build, rounds, runs):
    """dbrunner against the psql binary: connect, search path, update, commit."""
    pg_dir = os.environ.get("DBRUNNER_TEST_PG")
    if not pg_dir:
        return None, "no test server was started (bench/run starts one with scripts/pg-test-server " \
                     "when that script exists and --no-pg is not given)"
    port = os.environ["DBRUNNER_TEST_PG_PORT"]
    password = os.environ["DBRUNNER_TEST_PG_PASSWORD"]
    psql = os.environ.get("DBRUNNER_TEST_PSQL") or "psql"
    d = fx.work / "postgres"
    d.mkdir(parents=True)
    # The service names the socket directory and the database; the credential
    # file's user and password are the ones used.
    fx.credentials(d / "cred.ini", 0, "pg:dbr_test", "PGBENCH", ("dbr_user", password))
    (d / "DBRUNNER.PGBENCH.INI").write_text(STATEMENT_INI)
    env = dict(os.environ, PGPASSWORD=password)
    argv = {
        "dbrunner": [str(build / "dbrunner"), "UPD", "cred.ini", "17"],
        "psql": [psql, "-X", "-q", "-1", "-h", pg_dir, "-p", port, "-U", "dbr_user", "-d", "dbr_test",
                 "-c", "SET search_path TO zizivuza", "-c", UPDATE_SQL],
    }
    for name, args in argv.items():
        result = run(args, cwd=d, env=env, check=False)
        if result.returncode != 0:
            return None, (f"{name} could not run the update on the test server (exit {result.returncode}: "
                          f"{(result.stdout + result.stderr).strip()[:300]})")
    log(f"PostgreSQL: {rounds} rounds of {runs} runs")
    times, per_round = hyperfine_rounds(argv, d, rounds, runs, warmup=2, env=env)
    log("PostgreSQL: callgrind and peak memory")
    ir = {k: instructions(v, d, env)[0] for k, v in argv.items()}
    rss = {k: peak_rss_kb(v, d, env=env) for k, v in argv.items()}
    return {"times": times, "rounds": per_round, "ir": ir, "rss": rss}, None


def plot(results, png):
    with tempfile.TemporaryDirectory() as tmp:
        script = ["set terminal pngcairo size 1100,480 font ',10'", f"set output '{png}'",
                  "set multiplot layout 1,2 title 'dbrunner: cost of large inputs, beyond the base run'",
                  "set logscale x", "set logscale y", "set grid", "set key top right",
                  "set xlabel 'extra input (MB)'", "set format x '%g'"]
        panels = [("wall time per MB (ms), sizes above the noise", "ms_per_mb"),
                  ("instructions per byte", "ir_per_byte")]
        for ylabel, key in panels:
            plots = []
            for i, (title, rows) in enumerate(results):
                data = Path(tmp) / f"{key}{i}.dat"
                # Log axes cannot show a difference lost in noise (zero or less).
                data.write_text("".join(f"{r['mb']} {r[key]}\n" for r in rows
                                        if r[key] > 0 and (r["resolved"] or key != "ms_per_mb")))
                plots.append(f"'{data}' using 1:2 with linespoints lw 2 pt 7 title '{title}'")
            script += [f"set ylabel '{ylabel}'", "plot " + ", ".join(plots)]
        script.append("unset multiplot")
        run(["gnuplot", "-e", "; ".join(script)])


def write_report(path, machine, checks, lite, scale, pg, pg_note, settings):
    same, changed, ir, irc, rss = lite["same"], lite["changed"], lite["ir"], lite["ir_changed"], lite["rss"]
    med = {k: median_ms(v) for k, v in same.items()}
    medc = {k: median_ms(v) for k, v in changed.items()}
    wall_ratio = med["dbrunner"] / med["sqlite3 shell"]
    round_ratios = [r["dbrunner"] / r["sqlite3 shell"] for r in lite["same_rounds"]]
    yes = lambda ok: "yes" if ok else "**no**"
    lines = []
    add = lines.append

    add("# Performance")
    add("")
    add(f"Generated by `bench/run` on {datetime.date.today().isoformat()} ({settings}"
        f"{', timed at real-time priority' if REALTIME else ''}); run it again rather than editing "
        "this file.")
    add("")
    add("The job of the demo's kind: `UPDATE T SET A='x' WHERE ID=17` on a 1,000-row SQLite table "
        "(`T(ID INTEGER PRIMARY KEY, A TEXT)`, journal mode DELETE and synchronous FULL, SQLite's "
        "defaults), with dbrunner reading a credential file of four records and a statement file of "
        "one key, and `17` as its parameter. Whole processes are timed, start-up included, with "
        "hyperfine in rounds whose command order rotates, so that each program meets the same "
        "moments of the machine (paired and alternating). Instructions are callgrind's count for the "
        "whole process, dynamic loader included; peak memory is the largest `/usr/bin/time -f %M` "
        "of several runs.")
    add("")
    add("## Targets")
    add("")
    add("| target | measured | met |")
    add("|---|---|---|")
    worst_ir = max(ir["dbrunner"], irc["dbrunner"])
    add(f"| at most {MAX_INSTRUCTIONS / 1e6:.1f} M instructions per run | {ir['dbrunner'] / 1e6:.3f} M; "
        f"{irc['dbrunner'] / 1e6:.3f} M when the row changes | {yes(worst_ir <= MAX_INSTRUCTIONS)} |")
    add(f"| median wall time at most {MAX_WALL_RATIO_TO_SHELL} x the sqlite3 shell's | {wall_ratio:.2f} x "
        f"({med['dbrunner']:.2f} ms against {med['sqlite3 shell']:.2f} ms, {len(same['dbrunner'])} runs "
        f"each) | {yes(wall_ratio <= MAX_WALL_RATIO_TO_SHELL)} |")
    add(f"| peak resident memory at most 4 MB | {rss['dbrunner'] / 1024:.2f} MB "
        f"| {yes(rss['dbrunner'] <= MAX_RSS_KB)} |")
    for title, rows in scale:
        resolved = [r for r in rows if r["resolved"]]
        s_ms = spread([r["ms_per_mb"] for r in resolved])
        s_ir = spread([r["ir_per_byte"] for r in rows])
        orders = rows[-1]["mb"] / rows[0]["mb"]
        wall = (f"wall: factor {s_ms:.2f} over the {len(resolved)} sizes whose cost stands above the noise"
                if len(resolved) > 1 else "wall: too few sizes above the noise to compare")
        add(f"| {title}: cost per MB within a factor of 2 from {rows[0]['mb']:.3g} to {rows[-1]['mb']:.3g} MB "
            f"({orders:,.0f} x) | instructions: factor {s_ir:.2f}; {wall} "
            f"| {yes(s_ir <= MAX_PER_MB_SPREAD and (len(resolved) < 2 or s_ms <= MAX_PER_MB_SPREAD))} |")
    add("")
    add("## One SQLite run")
    add("")
    add("The statement sets a value the row holds from the first run on; SQLite then finds the "
        "record unchanged and writes nothing (no journal, no sync). That is the case of the targets. "
        "The second table resets the row before every run (hyperfine `--prepare`), so that every run "
        "writes and syncs the journal and the database.")
    add("")
    add("| program | median wall (ms) | wall vs sqlite3 shell | wall vs floor | instructions (M) "
        "| instructions vs shell | instructions vs floor | peak RSS (MB) |")
    add("|---|---|---|---|---|---|---|---|")
    for name in ("dbrunner", "floor", "sqlite3 shell", "/bin/true"):
        add(f"| {name} | {med[name]:.2f} | {med[name] / med['sqlite3 shell']:.2f} | "
            f"{med[name] / med['floor']:.2f} | {ir[name] / 1e6:.3f} | {ir[name] / ir['sqlite3 shell']:.2f} | "
            f"{ir[name] / ir['floor']:.2f} | {rss[name] / 1024:.2f} |")
    add("")
    add(f"Round by round, dbrunner's median against the shell's ran from {min(round_ratios):.2f} to "
        f"{max(round_ratios):.2f} (median {statistics.median(round_ratios):.2f}, {len(round_ratios)} rounds).")
    add("")
    add("The row changes on every run:")
    add("")
    add("| program | median wall (ms) | wall vs sqlite3 shell | wall vs floor | instructions (M) |")
    add("|---|---|---|---|---|")
    for name in ("dbrunner", "floor", "sqlite3 shell"):
        add(f"| {name} | {medc[name]:.2f} | {medc[name] / medc['sqlite3 shell']:.2f} | "
            f"{medc[name] / medc['floor']:.2f} | {irc[name] / 1e6:.3f} |")
    add("")
    add("The floor (`bench/floor.cc`) does only the reading of both files, the four key schedules and "
        "SQLite's open, update and close, in the least code, linked as dbrunner is and with the same "
        "SQLite settings (no memory statistics, no initial page-cache bulk, no mutex on the "
        "connection).")
    add("")
    add("Where the instructions go (callgrind, inclusive counts):")
    add("")
    add("| program | whole process | before `main` (dynamic loader, start-up) | four key schedules "
        "| rest of `main` (SQLite, files, the tool) |")
    add("|---|---|---|---|---|")
    for name in ("dbrunner", "floor"):
        prof = lite["profile"][name]
        main = prof.get("main", 0)
        keys = max((v for k, v in prof.items() if k.startswith("dbrunner::BlowfishInit(")), default=0)
        add(f"| {name} | {ir[name] / 1e6:.3f} M | {(ir[name] - main) / 1e6:.3f} M | {keys / 1e6:.3f} M "
            f"| {(main - keys) / 1e6:.3f} M |")
    add("")
    add("## The binary")
    add("")
    add("| check | result |")
    add("|---|---|")
    lines.extend(f"| {k} | {v} |" for k, v in checks)
    add("")
    add("## Large inputs")
    add("")
    add("Each point runs side by side with its base run (the same job with the smallest input); the "
        "difference of their medians, divided by the extra input, is the cost per MB. A difference "
        "not above three times its standard error (last column) is noise, not cost: marked so, and "
        "left out of the plot's left panel. Instructions per byte (callgrind, exact) show the line "
        "without noise.")
    add("")
    add("![cost per MB of large inputs](performance-scaling.png)")
    add("")
    add("| series | input | extra MB | median wall (ms) | base (ms) | ms per MB | instructions per byte "
        "| peak RSS (MB) | standard error (ms) |")
    add("|---|---|---|---|---|---|---|---|---|")
    for title, rows in scale:
        for r in rows:
            add(f"| {title} | {r['label']} | {r['mb']:.4g} | {r['median_ms']:.2f} | {r['base_ms']:.2f} | "
                f"{r['ms_per_mb']:.1f}{'' if r['resolved'] else ' (noise)'} | {r['ir_per_byte']:.1f} | {r['rss_kb'] / 1024:.1f} | {r['noise_ms']:.2f} |")
    add("")
    add("The credential file is read once and held whole; each of the four lookups scans it from its "
        "first line, as the format demands. The parameters are placed one after another, and each "
        "placement reads the statement before and after its place again, so the values' cost grows "
        "with the text around them: linear in their size for the fixed count of 99.")
    add("")
    add("## PostgreSQL")
    add("")
    if pg is None:
        add(f"Not measured: {pg_note}.")
    else:
        pm = {k: median_ms(v) for k, v in pg["times"].items()}
        add("On the tests' throwaway server (`scripts/pg-test-server`: Unix socket, SCRAM password, "
            "fsync off), from connect to commit: dbrunner runs its job (schema switch through "
            "`search_path`, the update, the commit); the psql binary runs "
            "`psql -X -q -1 -c \"SET search_path TO zizivuza\" -c \"UPDATE ...\"`.")
        add("")
        add("| program | median wall (ms) | vs psql | client instructions (M) | peak RSS (MB) |")
        add("|---|---|---|---|---|")
        for name in ("dbrunner", "psql"):
            add(f"| {name} | {pm[name]:.2f} | {pm[name] / pm['psql']:.2f} | {pg['ir'][name] / 1e6:.1f} "
                f"| {pg['rss'][name] / 1024:.2f} |")
    add("")
    add("## Machine")
    add("")
    add("| | |")
    add("|---|---|")
    lines.extend(f"| {k} | {v} |" for k, v in machine)
    add(f"| load average at end | {' '.join(Path('/proc/loadavg').read_text().split()[:3])} |")
    add("")
    add("Wall times depend on the machine and on whatever else runs on it; the ratios of one "
        "benchmark run, taken side by side, and the instruction counts carry over better.")
    path.write_text("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, type=Path, help="the build directory")
    parser.add_argument("--quick", action="store_true", help="fewer runs and smaller inputs")
    parser.add_argument("--out", type=Path, default=ROOT / "docs", help="where the report goes")
    args = parser.parse_args()
    build = args.build.resolve()

    work = build / "bench-work"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    fx = Fixtures(work, build)
    rounds, runs = (4, 3) if args.quick else (20, 3)

    machine = machine_rows(work)
    lite = sqlite_run(fx, build, rounds, runs)
    checks = binary_checks(build / "dbrunner", lite["dir"])
    scale = scaling(fx, build, args.quick)
    pg, pg_note = postgres_run(fx, build, max(2, rounds // 2), runs)

    args.out.mkdir(parents=True, exist_ok=True)
    plot(scale, args.out / "performance-scaling.png")
    settings = "quick run" if args.quick else f"{rounds} rounds of {runs} runs per program"
    write_report(args.out / "performance.md", machine, checks, lite, scale, pg, pg_note, settings)
    log(f"wrote {args.out / 'performance.md'} and {args.out / 'performance-scaling.png'}")


if __name__ == "__main__":
    main()
