#!/usr/bin/env python3
"""Puts one-line faults into the client, one at a time, and runs the client's
Windows tests against each: a fault that no test notices is a test missing.

    tools/mutation/mutate.py run FAULTS... [--workers N] [--results FILE]
    tools/mutation/mutate.py report [--results FILE] [FAULTS...]

A faults file holds one fault a line, '#' lines being comments:

    native/desktop/http.cc:57: status == 200 => status != 200
    native/desktop/state.cc:88: requestThread.join(); =>     # drop the join
    native/shell/simple_app.cc:40: url.empty() => false  # harmless: why

The text left of ' => ' must occur on that line exactly once (add '@N' after
the line number to pick its N-th occurrence); it is replaced by the text on
the right, which may be empty. A note starting with 'harmless:' says why the
fault cannot change what the client does; the report lists it apart.

Each worker is a detached git worktree of HEAD, with the uncommitted changes
of this checkout applied, built with the windows preset under
build/mutation/. A fault is built, then every client test program runs, a
few at a time; the first failure ends the run and names the test. Faults
that do not compile are reported as such. Results go to a tab-separated
file, one row a fault, so a run can be stopped and continued.
"""

import argparse
import concurrent.futures
import json
import os
import queue
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WORK = ROOT / "build" / "mutation"
# Kept with the faults files, so a clean clone can report the last sweep.
DEFAULT_RESULTS = ROOT / "tools" / "mutation" / "results.tsv"
# Tests of the CEF stand-in, the service and the harness do not run client code.
NOT_CLIENT = re.compile(r"^(cef_|service_|harness_|wine\.)")
TEST_TIMEOUT = 150
FAULT_LINE = re.compile(r"^(?P<path>[^:]+):(?P<line>\d+)(?:@(?P<nth>\d+))?:\s?(?P<rest>.*)$")


class Fault:
    def __init__(self, path, line, nth, old, new, note, text):
        self.path, self.line, self.nth = path, line, nth
        self.old, self.new, self.note, self.text = old, new, note, text

    @property
    def key(self):
        return self.text


def parse_faults(files):
    faults = []
    for name in files:
        for number, raw in enumerate(Path(name).read_text(encoding="utf-8").splitlines(), 1):
            if not raw.strip() or raw.lstrip().startswith("#"):
                continue
            match = FAULT_LINE.match(raw)
            if not match or " => " not in match["rest"] + " ":
                sys.exit(f"{name}:{number}: not a fault: {raw}")
            rest = match["rest"]
            note = ""
            if "  # " in rest:
                rest, note = rest.split("  # ", 1)
            old, new = (rest + " ").split(" => ", 1) if rest.endswith(" =>") else rest.split(" => ", 1)
            faults.append(Fault(match["path"], int(match["line"]), int(match["nth"]) if match["nth"] else None,
                                old, new.rstrip(), note.strip(), raw.split("  # ")[0].rstrip()))
    return faults


def apply(source, fault):
    lines = source.split("\n")
    line = lines[fault.line - 1]
    count = line.count(fault.old)
    if count == 0 or (fault.nth is None and count > 1):
        raise ValueError(f"'{fault.old}' occurs {count} times on line {fault.line}: {line.strip()}")
    start = -1
    for _ in range(fault.nth or 1):
        start = line.find(fault.old, start + 1)
        if start < 0:
            raise ValueError(f"no occurrence {fault.nth} of '{fault.old}' on line {fault.line}")
    lines[fault.line - 1] = line[:start] + fault.new + line[start + len(fault.old):]
    return "\n".join(lines)


def run(command, cwd, **kwargs):
    return subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          errors="replace", **kwargs)


def passed(code, output, pass_patterns, fail_patterns, will_fail):
    """CTest's verdict: a pass expression replaces the exit code, a fail
    expression overrides both, WILL_FAIL inverts the result."""
    ok = any(re.search(p, output) for p in pass_patterns) if pass_patterns else code == 0
    if any(re.search(p, output) for p in fail_patterns):
        ok = False
    return ok != will_fail


class Worker:
    def __init__(self, index, jobs):
        self.tree = WORK / f"w{index}"
        self.build = self.tree / "build" / "windows"
        self.jobs = jobs

    def prepare(self):
        if not self.tree.exists():
            run(["git", "worktree", "add", "--detach", str(self.tree), "HEAD"], ROOT).check_returncode()
        run(["git", "checkout", "--detach", "--force", run(["git", "rev-parse", "HEAD"], ROOT).stdout.strip()],
            self.tree).check_returncode()
        run(["git", "clean", "-fdq", "-e", "build"], self.tree)
        diff = run(["git", "diff", "HEAD", "--binary"], ROOT).stdout
        if diff:
            subprocess.run(["git", "apply", "--whitespace=nowarn"], cwd=self.tree, input=diff, text=True, check=True)
        for untracked in run(["git", "ls-files", "--others", "--exclude-standard"], ROOT).stdout.split():
            if not untracked.startswith("build/"):
                target = self.tree / untracked
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes((ROOT / untracked).read_bytes())
        configure = run(["cmake", "--preset", "windows"], self.tree)
        if configure.returncode:
            sys.exit(f"{self.tree}: configure failed\n{configure.stdout[-3000:]}")
        # Once more before giving up: on a loaded machine a compiler can be
        # killed, and one worker's exit here ends the whole run.
        if not self.compile() and not self.compile():
            sys.exit(f"{self.tree}: the unchanged tree does not build")
        shown = json.loads(run(["ctest", "--show-only=json-v1"], self.build).stdout)
        self.tests = []
        for test in shown["tests"]:
            if NOT_CLIENT.match(test["name"]) or "command" not in test:
                continue
            props = {p["name"]: p["value"] for p in test.get("properties", [])}
            env = dict(os.environ)
            for item in props.get("ENVIRONMENT", []):
                name, value = item.split("=", 1)
                env[name] = value
            verdict = (props.get("PASS_REGULAR_EXPRESSION", []), props.get("FAIL_REGULAR_EXPRESSION", []),
                       str(props.get("WILL_FAIL", False)).upper() in ("1", "ON", "TRUE", "YES", "Y"))
            limit = max(TEST_TIMEOUT, float(props.get("TIMEOUT", 0)))
            self.tests.append((test["name"], test["command"], props.get("WORKING_DIRECTORY", str(self.build)), env,
                               verdict, limit))
        failed = self.run_tests()
        if failed:
            sys.exit(f"{self.tree}: the unchanged tree fails {failed[0]}:\n{failed[1]}")
        # Longest first: a fault that survives then costs about the longest test.
        self.tests.sort(key=lambda test: -self.durations.get(test[0], 0))

    def compile(self):
        return run(["cmake", "--build", str(self.build), "-j", str(self.jobs)], self.tree).returncode == 0

    def wine_server(self, action):
        run([str(self.build / "wine-run"), action], self.build)

    def run_tests(self):
        """Runs every client test; returns (name, output) of the first failure, or None."""
        self.wine_server("--start-server")
        pending = list(self.tests)
        running = {}
        failure = None
        self.durations = {}
        while (pending or running) and not failure:
            while pending and len(running) < self.jobs:
                name, command, cwd, env, verdict, limit = pending.pop(0)
                # A file, not a pipe: a test that writes more than a pipe holds
                # would otherwise stall until it times out.
                log = tempfile.TemporaryFile()
                process = subprocess.Popen(command, cwd=cwd, env=env, stdout=log, stderr=subprocess.STDOUT,
                                           start_new_session=True)
                running[process] = (name, time.monotonic(), verdict, log, limit)
            time.sleep(0.1)
            for process, (name, started, verdict, log, limit) in list(running.items()):
                code = process.poll()
                if code is None and time.monotonic() - started < limit:
                    continue
                if code is None:
                    failure = (name, "timed out")
                    break
                log.seek(0)
                output = log.read().decode("utf-8", "replace")
                log.close()
                self.durations[name] = time.monotonic() - started
                del running[process]
                if not passed(code, output, *verdict):
                    failure = (name, "\n".join(output.splitlines()[-25:]))
                    break
        for process in running:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait()
        # Ends whatever the killed programs started, then a clean server.
        self.wine_server("--stop-server")
        return failure

    def test(self, fault, first=()):
        # The tests that caught faults of the same file before run first: a
        # fault they catch then costs one test, not the longest ones.
        rank = {name: i for i, name in enumerate(first)}
        self.tests.sort(key=lambda test: (rank.get(test[0], len(rank)), -self.durations.get(test[0], 0)))
        path = self.tree / fault.path
        original = path.read_text(encoding="utf-8")
        try:
            try:
                path.write_text(apply(original, fault), encoding="utf-8")
            except ValueError as error:
                return "bad-fault", str(error)
            if not self.compile():
                return "no-build", ""
            durations = dict(self.durations)
            failed = self.run_tests()
            # A run cut short knows only some durations: keep the others.
            self.durations = {**durations, **self.durations}
            return ("caught", failed[0]) if failed else ("survived", "")
        finally:
            path.write_text(original, encoding="utf-8")


def load_results(path):
    results = {}
    if path.exists():
        for row in path.read_text(encoding="utf-8").splitlines():
            fields = row.split("\t")
            if len(fields) >= 3:
                results[fields[0]] = fields
    return results


def command_run(args):
    faults = parse_faults(args.faults)
    results_path = Path(args.results)
    results_path.parent.mkdir(parents=True, exist_ok=True)
    done = load_results(results_path)
    todo = [f for f in faults if f.key not in done or args.again]
    print(f"{len(faults)} faults, {len(todo)} to run, {args.workers} workers", flush=True)
    if not todo:
        return
    work = queue.Queue()
    for fault in todo:
        work.put(fault)
    lock = threading.Lock()
    # Per source file, how often each test caught one of its faults.
    catches = {}
    for key, fields in done.items():
        if fields[1] == "caught" and fields[2]:
            counts = catches.setdefault(key.split(":")[0], {})
            counts[fields[2]] = counts.get(fields[2], 0) + 1
    workers = [Worker(i, args.jobs) for i in range(args.workers)]
    with concurrent.futures.ThreadPoolExecutor(len(workers)) as pool:
        list(pool.map(Worker.prepare, workers))

    def drain(worker):
        while True:
            try:
                fault = work.get_nowait()
            except queue.Empty:
                return
            started = time.monotonic()
            with lock:
                counts = dict(catches.get(fault.path, {}))
            verdict, detail = worker.test(fault, sorted(counts, key=lambda name: -counts[name]))
            row = [fault.key, verdict, detail.splitlines()[0] if detail else "", f"{time.monotonic() - started:.0f}",
                   fault.note]
            with lock:
                with results_path.open("a", encoding="utf-8") as out:
                    out.write("\t".join(row) + "\n")
                if verdict == "caught":
                    counts = catches.setdefault(fault.path, {})
                    counts[row[2]] = counts.get(row[2], 0) + 1
                print(f"{verdict:9} {fault.key}  {row[2]}", flush=True)

    with concurrent.futures.ThreadPoolExecutor(len(workers)) as pool:
        list(pool.map(drain, workers))
    # The worker trees keep their builds for the next run; the sources go back.
    for worker in workers:
        run(["git", "checkout", "--", "."], worker.tree)


def command_report(args):
    results = load_results(Path(args.results))
    if args.faults:
        # Notes written into the faults files after a run count too; a fault
        # no longer written there (since rewritten) is not reported.
        written = {fault.key: fault for fault in parse_faults(args.faults)}
        results = {key: (fields + [""] * 5)[:4] + [written[key].note] + fields[5:]
                   for key, fields in results.items() if key in written}
    by_file = {}
    for key, fields in results.items():
        by_file.setdefault(key.split(":")[0], []).append(fields)
    print("| file | tried | caught | harmless | survived | not built |")
    print("|---|---|---|---|---|---|")
    totals = [0, 0, 0, 0, 0]
    survivors = []
    for name in sorted(by_file):
        rows = by_file[name]
        tried = [r for r in rows if r[1] in ("caught", "survived")]
        caught = sum(r[1] == "caught" for r in rows)
        harmless = sum(r[1] == "survived" and r[4].startswith("harmless") for r in rows if len(r) > 4)
        survived = [r for r in rows if r[1] == "survived" and not (len(r) > 4 and r[4].startswith("harmless"))]
        not_built = sum(r[1] in ("no-build", "bad-fault") for r in rows)
        survivors += survived
        counts = [len(tried), caught, harmless, len(survived), not_built]
        totals = [a + b for a, b in zip(totals, counts)]
        print(f"| `{name}` | " + " | ".join(map(str, counts)) + " |")
    print("| all | " + " | ".join(map(str, totals)) + " |")
    if totals[0]:
        print(f"\ncaught {totals[1]} of {totals[0] - totals[2]} that can change behaviour "
              f"({100.0 * totals[1] / max(1, totals[0] - totals[2]):.1f}%)")
    for row in survivors:
        print(f"survived: {row[0]}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    run_parser = sub.add_parser("run", help="run faults")
    run_parser.add_argument("faults", nargs="+")
    run_parser.add_argument("--workers", type=int, default=2)
    run_parser.add_argument("--jobs", type=int, default=6, help="builds and tests at once per worker")
    run_parser.add_argument("--results", default=str(DEFAULT_RESULTS))
    run_parser.add_argument("--again", action="store_true", help="run faults that have a result too")
    report_parser = sub.add_parser("report", help="summarise results per file")
    report_parser.add_argument("--results", default=str(DEFAULT_RESULTS))
    report_parser.add_argument("faults", nargs="*", help="faults files whose notes replace those of the run")
    args = parser.parse_args()
    command_run(args) if args.command == "run" else command_report(args)


if __name__ == "__main__":
    main()
