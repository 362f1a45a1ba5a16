#!/usr/bin/env python3
"""Start-up and peak memory of the programs beside a bare Qt program, run interleaved.

Usage: startup.py BUILD_DIR [RUNS]. Prints table rows in bench/run's layout. Each program runs
offscreen with its own temporary profile, data, settings and log folders (kept from run to run, as
a user's are), so a run never touches the user's files. Wall time is the median over the runs; peak memory is the largest resident set
the kernel reports for the process (ru_maxrss), median over the runs.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time


def profile_text(clients):
    rows = ",\n".join(
        '    { "company_name": "Client %05d Ltd", "vrn": "%09d" }' % (clients - i, 100000000 + i)
        for i in range(clients))
    return ('{\n  "client_id": "bench-client-id",\n  "client_secret": "bench-secret",\n'
            '  "service_base_url": "https://test-api.service.hmrc.gov.uk",\n  "clients": [\n'
            + rows + "\n  ]\n}\n")


def make_folders(root):
    """A set of data, settings and log folders and a 10-client profile under root."""
    folder = tempfile.mkdtemp(dir=root)
    for sub in ("data", "config", "runtime"):
        os.mkdir(os.path.join(folder, sub), 0o700)
    with open(os.path.join(folder, "profile.json"), "w") as out:
        out.write(profile_text(10))
    return folder


def run_once(command, folder):
    """Wall seconds, peak resident KiB and standard output of one run in the given folders."""
    profile = os.path.join(folder, "profile.json")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", CALVENOR_PROFILE=profile,
               CALVENOR_DATA_DIR=os.path.join(folder, "data"),
               XDG_CONFIG_HOME=os.path.join(folder, "config"),
               XDG_RUNTIME_DIR=os.path.join(folder, "runtime"), HOME=folder)
    start = time.perf_counter()
    output = os.path.join(folder, "output")
    with open(output, "w") as out:
        child = subprocess.Popen(command, env=env, stdout=out, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise RuntimeError("%s exited with %d" % (command[0], code))
    with open(output) as text:
        return wall, usage.ru_maxrss, text.read()


def row(figure, measured, target, ratio, ok):
    print("%-46s %-20s %-24s %-7s %s" % (figure, measured, target, ratio, ok))


def main():
    build = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    programs = {
        "bare": [os.path.join(build, "bench", "calvenor_bare_qt")],
        "calvenor": [os.path.join(build, "bin", "calvenor"), "--self-test"],
        "pellwick": [os.path.join(build, "bin", "pellwick"), "--self-test"],
        "filing": [os.path.join(build, "bench", "calvenor_headless_filing")],
    }
    walls = {name: [] for name in programs}
    peaks = {name: [] for name in programs}
    client_cpu = []
    failed = {}
    with tempfile.TemporaryDirectory(prefix="calvenor-startup-") as root:
        # The start-up programs keep their folders from run to run, as a user's do: the first
        # round, unmeasured, is their first start ever (it makes the device identifier) and warms
        # the file cache. Each filing gets fresh folders, so every one files a return.
        kept = {name: make_folders(root) for name in programs if name != "filing"}
        for round_ in range(runs + 1):
            for name, command in programs.items():
                if name in failed:
                    continue
                try:
                    folder = kept[name] if name in kept else make_folders(root)
                    wall, peak, output = run_once(command, folder)
                except (OSError, RuntimeError) as error:
                    failed[name] = str(error)
                    print("%s: %s" % (name, error), file=sys.stderr)
                    continue
                if round_ == 0:
                    continue
                walls[name].append(wall)
                peaks[name].append(peak)
                if name == "filing":
                    client_cpu.append(float(output.split()[-1]))
    wall = {name: statistics.median(v) * 1000 for name, v in walls.items() if name not in failed}
    peak = {name: statistics.median(v) / 1024 for name, v in peaks.items() if name not in failed}
    for name, label in (("calvenor", "Start-up, calvenor"), ("pellwick", "Start-up, pellwick")):
        if name in failed or "bare" in failed:
            row(label, "failed", "", "", "no")
            continue
        ratio = wall[name] / wall["bare"]
        row(label, "%.0f / %.0f ms" % (wall[name], wall["bare"]), "<= x1.3 bare Qt",
            "%.2f" % ratio, "yes" if ratio <= 1.3 else "no")
    for name, label in (("calvenor", "Peak memory, calvenor start-up"),
                        ("filing", "Peak memory, headless filing")):
        if name in failed or "bare" in failed:
            row(label, "failed", "", "", "no")
            continue
        extra = peak[name] - peak["bare"]
        row(label, "%.1f / %.1f MiB" % (peak[name], peak["bare"]), "<= bare Qt + 15 MiB",
            "%+.1f" % extra, "yes" if extra <= 15 else "no")
    if client_cpu and "filing" not in failed:
        row("Complete filing, client CPU time", "%.1f ms" % statistics.median(client_cpu),
            "reported", "-", "-")
    else:
        row("Complete filing, client CPU time", "failed", "", "", "no")


if __name__ == "__main__":
    main()
