"""The timed rounds of bench/run, and its table.  bench/run prepares the
machine (tools, release build, a tmpfs) and then starts this file.

Every timed program is started through /usr/bin/time, whose small process
is the parent that the kernel charges our program's peak resident memory
to: a child of this Python process would inherit Python's own peak.  CPU
time is the user+sys that wait4 reports for that child and its children, to
the microsecond; it includes /usr/bin/time's own start (about 1 ms) for both
tools alike."""

import argparse
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time

MIB = 1 << 20
RSS_TARGET_KIB = 4096
RSS_FLAT_KIB = 256
# Every head part carries the program: 64 KiB, since it says every failure in
# the system's words, checks each part against its table, asks the drive for
# room, reads sizes as people type them, and judges names for Windows.
WINDOWS_IMAGE_TARGET = 65536
SPLIT_CPU_TARGET = 1.1
JOIN_CPU_TARGET = 1.3
MANY_PARTS_SLICE_KB = 10    # the smallest slice size a user can ask for
MANY_PARTS_CPU_TARGET = 1.3
# Recovery parts: a split with 1 and with 8 recovery parts against the same
# split without, in parts of the 1.44 MB preset (1400 KB); and the join of a
# set of 64 parts (8 MiB each) that rebuilds 1 lost slice against the same
# join of the whole set.  Ratios of wall time, the second core at work.
RECOVERY_SPLIT_PART_BYTES = 1400 * 1024
RECOVERY_PART_BYTES = 8 * MIB
RECOVERY_ONE_TARGET = 1.3
RECOVERY_EIGHT_TARGET = 2.0
REPAIR_TARGET = 1.5
ENCODE_GBS_TARGET = 1.0
QUIET_TRIES = 5


def fail(message):
    print("\nbench: FAILED: " + message, file=sys.stderr)
    sys.exit(1)


def size_name(n):
    if n % (1 << 30) == 0:
        return "%d GiB" % (n >> 30)
    if n % MIB == 0:
        return "%d MiB" % (n >> 20)
    return "%d bytes" % n


def parse_size(text):
    units = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    text = text.strip().upper().rstrip("IB")
    if text and text[-1] in units:
        return int(float(text[:-1]) * units[text[-1]])
    return int(text)


def progress(text):
    print(text, end="", file=sys.stderr, flush=True)


class Bench:
    def __init__(self, args):
        self.work = args.work
        self.rounds = args.rounds
        self.max_slice_kb = args.slice_kb
        self.cat = shutil.which("cat")
        self.split = shutil.which("split")
        # Everything the runs touch lives in the work directory (tmpfs).
        self.make_set = os.path.abspath(args.make_set)
        self.program = os.path.join(self.work, "cleaver")
        shutil.copyfile(args.program, self.program)
        os.chmod(self.program, 0o755)
        self.image_size = os.path.getsize(self.program)
        self.in_dir = self.dir("in")          # the input; our split writes beside it
        self.ours_dir = self.dir("ours")      # our parts, where the head part joins
        self.gnu_dir = self.dir("gnu")        # GNU split's parts
        self.cat_dir = self.dir("cat")        # cat's output
        self.input = os.path.join(self.in_dir, "in.bin")
        self.others = 0.0
        self.repeated = 0   # runs done again because other programs were busy
        self.kept_busy = 0  # runs kept busy after QUIET_TRIES tries
        self.others_cores = []  # the cores other programs used during each kept run
        self.log = os.path.join(self.work, "dialog.txt")
        self.rss_file = os.path.join(self.work, "rss.txt")
        # "m" unticks "Create a copy of Cleaver".
        self.join_answers = self.answers("join.txt", "m\no\n")

    def dir(self, name):
        path = os.path.join(self.work, name)
        os.makedirs(path, exist_ok=True)
        return path

    def answers(self, name, text):
        path = os.path.join(self.work, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def run(self, argv, cwd, stdin=os.devnull, stdout=os.devnull):
        """Runs one program; returns (CPU s, wall s, max RSS KiB, exit code)
        and leaves in self.others the CPU seconds that the rest of the machine
        used meanwhile."""
        with open(stdin, "rb") as fin, open(stdout, "wb") as fout:
            busy = machine_busy()
            start = time.perf_counter()
            child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", self.rss_file] + argv,
                                     cwd=cwd, stdin=fin, stdout=fout)
            _, status, usage = os.wait4(child.pid, 0)
            wall = time.perf_counter() - start
            busy = machine_busy() - busy
        child.returncode = os.waitstatus_to_exitcode(status)
        with open(self.rss_file) as f:
            rss = int(f.read().split()[-1])  # after "Command exited with ..." if any
        cpu = usage.ru_utime + usage.ru_stime
        self.others = max(0.0, busy - cpu)
        return cpu, wall, rss, child.returncode

    def quiet_sample(self, run, undo):
        """Runs `run` until the rest of the machine left a core free for it
        meanwhile, at most QUIET_TRIES times; `undo` removes what a discarded
        run wrote."""
        spare = max(0.25, len(os.sched_getaffinity(0)) - 1.0)
        for attempt in range(QUIET_TRIES):
            got = run()
            if got is None:
                return got
            quiet = self.others <= spare * got[1] + 0.02
            if quiet or attempt == QUIET_TRIES - 1:
                self.kept_busy += not quiet
                self.others_cores.append(self.others / got[1])
                return got
            self.repeated += 1
            undo()
            time.sleep(0.5 * (attempt + 1))  # let a short burst pass

    # -- the four programs -------------------------------------------------

    def our_parts(self, folder):
        """The head part and the slices, in order; not the recovery parts."""
        names = [n for n in os.listdir(folder) if n.startswith("in_") and n[3:4].isdigit()]
        return sorted(names, key=lambda n: int(n[3:].split(".")[0]))

    def our_split(self):
        cpu, wall, rss, code = self.run([self.program], self.work, self.split_answers, self.log)
        parts = self.our_parts(self.in_dir)
        if not parts:
            with open(self.log, errors="replace") as f:
                said = f.read()
            if "too large" in said.lower():
                return None  # refused
            fail("our split wrote no parts (exit %d); the dialog said:\n%s" % (code, said[-800:]))
        if code != 0:
            fail("our split exited with %d" % code)
        return cpu, wall, rss

    def gnu_split(self):
        cpu, wall, rss, code = self.run(
            [self.split, "-b", str(self.slice_bytes), self.input, os.path.join(self.gnu_dir, "x")],
            self.work)
        if code != 0:
            fail("split -b exited with %d" % code)
        return cpu, wall, rss

    def our_join(self, folder=None):
        folder = folder or self.ours_dir
        head = os.path.join(folder, self.our_parts(folder)[0])
        cpu, wall, rss, code = self.run([head], folder, self.join_answers, self.log)
        out = os.path.join(folder, "in.bin")
        if code != 0 or not os.path.exists(out):
            with open(self.log, errors="replace") as f:
                fail("our join wrote no in.bin (exit %d); the dialog said:\n%s" % (code, f.read()[-800:]))
        left = [n for n in os.listdir(folder) if n == "cleaver.exe" or n.endswith(".tmp")]
        if left:
            fail("our join left %s behind" % ", ".join(left))
        self.cmp(out, self.input)
        os.remove(out)
        return cpu, wall, rss

    def cat_join(self):
        out = os.path.join(self.cat_dir, "in.bin")
        parts = [os.path.join(self.gnu_dir, n) for n in sorted(os.listdir(self.gnu_dir))]
        cpu, wall, rss, code = self.run([self.cat] + parts, self.gnu_dir, stdout=out)
        if code != 0:
            fail("cat exited with %d" % code)
        self.cmp(out, self.input)
        os.remove(out)
        return cpu, wall, rss

    # -- checks ------------------------------------------------------------

    def cmp(self, a, b, length=None, skip_a=0, skip_b=0):
        argv = ["cmp"]
        if length is not None:
            argv += ["-n", str(length)]
        if skip_a or skip_b:
            argv += ["-i", "%d:%d" % (skip_a, skip_b)]
        result = subprocess.run(argv + [a, b], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                universal_newlines=True)
        if result.returncode != 0:
            fail("MISMATCH: %s\n%s" % (" ".join(argv + [a, b]), result.stdout.strip()))

    def check_our_parts(self, size):
        """Our head part is the program, the input's first stretch and a
        trailer; the slices are the rest of the input, slice-size each but
        the last."""
        parts = [os.path.join(self.ours_dir, n) for n in self.our_parts(self.ours_dir)]
        slices = [os.path.getsize(p) for p in parts[1:]]
        if any(n != self.slice_bytes for n in slices[:-1]) or not 0 < slices[-1] <= self.slice_bytes:
            fail("slice lengths %s, not %d each but the last" % (slices, self.slice_bytes))
        head_data = size - sum(slices)
        trailer = os.path.getsize(parts[0]) - self.image_size - head_data
        if head_data < 0 or trailer < 0:
            fail("the head part is %d bytes, too short" % os.path.getsize(parts[0]))
        self.cmp(self.program, parts[0], self.image_size)
        self.cmp(parts[0], self.input, head_data, self.image_size, 0)
        offset = head_data
        for path, length in zip(parts[1:], slices):
            self.cmp(path, self.input, length, 0, offset)
            offset += length
        return len(parts), trailer

    def check_gnu_parts(self, size):
        lengths = [os.path.getsize(os.path.join(self.gnu_dir, n)) for n in sorted(os.listdir(self.gnu_dir))]
        if sum(lengths) != size or any(n != self.slice_bytes for n in lengths[:-1]):
            fail("GNU split's parts are %s bytes" % lengths)

    # -- one input size ----------------------------------------------------

    def clear(self, *folders):
        for folder in folders:
            for name in os.listdir(folder):
                os.remove(os.path.join(folder, name))

    def clear_our_split(self):
        for name in os.listdir(self.in_dir):
            if name.startswith("in_"):
                os.remove(os.path.join(self.in_dir, name))

    def use_slice(self, size):
        """The slice size, in KB; a file must be larger than one part, so an
        input no larger than a slice is cut in quarters."""
        slice_kb = self.max_slice_kb
        if size <= slice_kb * 1024:
            slice_kb = max(10, size // 4 // 1024 // 4 * 4)
        self.slice_kb = slice_kb
        self.slice_bytes = slice_kb * 1024
        self.split_answers = self.answers("split.txt", "f\n%s\nu\n%d\no\n" % (self.input, slice_kb))

    def room_for(self, size):
        # input, our parts, GNU's parts and one rebuilt file at once
        need = 4 * size + 3 * self.slice_bytes + 64 * MIB
        stat = os.statvfs(self.work)
        return stat.f_bavail * stat.f_frsize >= need, need

    def make_input(self, size):
        with open(self.input, "wb") as out:
            subprocess.run(["head", "-c", str(size), "/dev/urandom"], stdout=out, check=True)
        if os.path.getsize(self.input) != size:
            fail("could not make a %s input" % size_name(size))

    def measure(self, size):
        label = size_name(size)
        self.use_slice(size)
        fits, need = self.room_for(size)
        if not fits:
            progress("%s: skipped, the work directory has no room for %.1f GiB\n" % (label, need / (1 << 30)))
            return {"size": size, "skipped": "no room"}
        progress("%s: input" % label)
        self.make_input(size)
        result = {"size": size, "slice_kb": self.slice_kb}

        samples = {"ours": [], "theirs": []}
        total = self.rounds + 1
        for r in range(total):
            last = r == total - 1
            order = ("ours", "theirs") if r % 2 == 0 else ("theirs", "ours")
            for who in order:
                if who == "ours":
                    got = self.quiet_sample(self.our_split, self.clear_our_split)
                    if got is None:
                        progress(", split refused\n")
                        self.clear(self.in_dir, self.gnu_dir)
                        return {"size": size, "skipped": "refused"}
                    if not last:
                        self.clear_our_split()
                else:
                    got = self.quiet_sample(self.gnu_split, lambda: self.clear(self.gnu_dir))
                    if not last:
                        self.clear(self.gnu_dir)
                if r > 0:
                    samples[who].append(got)
            progress(" s%d" % r if r else ", split s0(warm-up)")
        result["split"] = samples
        # The last round's parts stay for the joins.
        for name in self.our_parts(self.in_dir):
            os.rename(os.path.join(self.in_dir, name), os.path.join(self.ours_dir, name))
        parts, trailer = self.check_our_parts(size)
        self.check_gnu_parts(size)
        progress(", %d parts and a %d-byte trailer match the input" % (parts, trailer))

        samples = {"ours": [], "theirs": []}
        for r in range(total):
            order = ("ours", "theirs") if r % 2 == 0 else ("theirs", "ours")
            for who in order:
                got = self.quiet_sample(self.our_join if who == "ours" else self.cat_join, lambda: None)
                if r > 0:
                    samples[who].append(got)
            progress(" j%d" % r if r else ", join j0(warm-up)")
        result["join"] = samples
        progress(", every rebuilt file matched\n")
        self.clear(self.in_dir, self.ours_dir, self.gnu_dir, self.cat_dir)
        return result

    # -- recovery parts ------------------------------------------------------

    def measure_recovery(self, size):
        """Splits with 0, 1 and 8 recovery parts, rounds in turn; then the
        join of the set made with 1, whole and with a slice lost."""
        label = size_name(size)
        result = {"size": size, "label": label}
        stat = os.statvfs(self.work)
        if stat.f_bavail * stat.f_frsize < 4 * size + 64 * MIB:
            progress("recovery, %s: skipped, the work directory has no room\n" % label)
            result["skipped"] = "no room"
            return result
        progress("recovery, %s: input" % label)
        self.make_input(size)
        counts = (0, 1, 8)

        def split(count, part_bytes=RECOVERY_SPLIT_PART_BYTES):
            def run():
                cpu, wall, rss, code = self.run(
                    [self.program, "-s", str(part_bytes), "-r", str(count), self.input],
                    self.work, stdout=self.log)
                if code != 0:
                    fail("our split with %d recovery parts exited with %d" % (count, code))
                return cpu, wall, rss
            return run

        samples = {c: [] for c in counts}
        for r in range(self.rounds + 1):
            order = counts if r % 2 == 0 else counts[::-1]
            for c in order:
                got = self.quiet_sample(split(c), self.clear_our_split)
                if r > 0:
                    samples[c].append(got)
                self.clear_our_split()
            progress(" s%d" % r if r else ", split s0(warm-up)")
        # A set of 64 parts with 1 recovery part, for the joins.
        split(1, RECOVERY_PART_BYTES)()
        for name in os.listdir(self.in_dir):
            if name.startswith("in_"):
                os.rename(os.path.join(self.in_dir, name), os.path.join(self.ours_dir, name))
        result["split"] = samples
        lost = os.path.join(self.ours_dir, "in_07.QCB")
        aside = os.path.join(self.work, "in_07.QCB")
        joins = {"whole": [], "repair": []}
        for r in range(self.rounds + 1):
            order = ("whole", "repair") if r % 2 == 0 else ("repair", "whole")
            for who in order:
                if who == "repair":
                    os.rename(lost, aside)
                got = self.quiet_sample(lambda: self.our_join(), lambda: None)
                if who == "repair":
                    os.rename(aside, lost)
                if r > 0:
                    joins[who].append(got)
            progress(" j%d" % r if r else ", join j0(warm-up)")
        result["join"] = joins
        progress(", every rebuilt file matched\n")
        self.clear(self.in_dir, self.ours_dir)
        return result

    def gf16_paths(self, program):
        """Each way of the recovery code's multiply, in GB/s of one core."""
        out = subprocess.run([program, "5"], stdout=subprocess.PIPE, universal_newlines=True, check=True)
        return out.stdout

    # -- many small parts ----------------------------------------------------

    def measure_many_parts(self, count):
        """The head part's join of `count` slices of the smallest size against
        cat of the same slice files, in order, into one file.  Here the cost
        per part (finding, opening, closing, checking) outweighs the bytes
        moved.

        The split no longer writes parts this small for so many (the head
        part, with its table of 4 bytes a part, would be larger than a
        slice), so bench/make_many_parts writes the set: the program, no
        input bytes and the table in the head part, slices of exactly 10 KB.
        cat reads the .QCB slices only, which are the whole input."""
        slice_bytes = MANY_PARTS_SLICE_KB * 1024
        size = count * slice_bytes
        label = "%s slices of %d KB" % (format(count, ","), MANY_PARTS_SLICE_KB)
        result = {"count": count, "size": size, "slice_bytes": slice_bytes, "label": label}
        need = 4 * size + 64 * MIB  # input, slices, two rebuilt files
        stat = os.statvfs(self.work)
        if stat.f_bavail * stat.f_frsize < need:
            progress("%s: skipped, the work directory has no room for %.1f GiB\n" % (label, need / (1 << 30)))
            result["skipped"] = "no room"
            return result
        folder = self.dir("many")
        progress("%s: input" % label)
        self.make_input(size)
        _, _, _, code = self.run([self.make_set, self.program, self.input, str(slice_bytes)],
                                 self.work, stdout=self.log)
        parts = self.our_parts(self.in_dir)
        if code != 0 or not parts:
            with open(self.log, errors="replace") as f:
                fail("make_many_parts for %s exited with %d; it said:\n%s" % (label, code, f.read()[-800:]))
        for name in parts:
            os.rename(os.path.join(self.in_dir, name), os.path.join(folder, name))
        slices = parts[1:]
        lengths = [os.path.getsize(os.path.join(folder, n)) for n in slices]
        head_data = size - sum(lengths)
        if head_data != 0 or any(n != slice_bytes for n in lengths):
            fail("%s: the head part holds %d input bytes and the slices %d to %d, not none and %d each"
                 % (label, head_data, min(lengths), max(lengths), slice_bytes))
        result["parts"] = len(parts)
        progress(", %s parts" % format(len(parts), ","))
        # Names relative to the parts' folder keep cat's arguments short.
        cat_argv = [self.cat] + slices
        out = os.path.join(self.cat_dir, "in.bin")

        def cat_join():
            cpu, wall, rss, code = self.run(cat_argv, folder, stdout=out)
            if code != 0:
                fail("cat exited with %d" % code)
            self.cmp(out, self.input)
            os.remove(out)
            return cpu, wall, rss

        samples = {"ours": [], "theirs": []}
        for r in range(self.rounds + 1):
            order = ("ours", "theirs") if r % 2 == 0 else ("theirs", "ours")
            for who in order:
                got = self.quiet_sample((lambda: self.our_join(folder)) if who == "ours" else cat_join,
                                        lambda: None)
                if r > 0:
                    samples[who].append(got)
            progress(" j%d" % r if r else ", join j0(warm-up)")
        result["join"] = samples
        progress(", every rebuilt file matched\n")
        self.clear(self.in_dir, folder, self.cat_dir)
        os.rmdir(folder)
        return result


# -- the report ----------------------------------------------------------

def summary(size, samples):
    def med(who, i):
        return statistics.median(s[i] for s in samples[who])
    row = {
        "cpu": (med("ours", 0), med("theirs", 0)),
        "wall": (med("ours", 1), med("theirs", 1)),
        "rss": max(s[2] for s in samples["ours"]),
        "their_rss": max(s[2] for s in samples["theirs"]),
    }
    row["cpu_ratio"] = row["cpu"][0] / row["cpu"][1]
    row["wall_ratio"] = row["wall"][0] / row["wall"][1]
    row["mbs"] = tuple(size / 1e6 / w for w in row["wall"])
    return row


def machine():
    model = "?"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return "nproc %d, %s, Linux %s" % (len(os.sched_getaffinity(0)), model, platform.release())


def machine_busy():
    """CPU seconds that the whole machine has spent busy (steal included)."""
    with open("/proc/stat") as f:
        ticks = [int(t) for t in f.readline().split()[1:]]
    idle = ticks[3] + ticks[4]  # idle, iowait
    return (sum(ticks[:8]) - idle) / os.sysconf("SC_CLK_TCK")


def load():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


def report_recovery(recovery, gf16):
    """The recovery parts' table and targets."""
    targets = []
    print()
    print("Recovery parts: our split of %s into parts of 1400 KB with 0, 1 and 8 recovery parts, and the"
          % recovery["label"])
    print("head part's join of a set of 64 parts of %s with 1, whole and with one slice lost; same rounds"
          % size_name(RECOVERY_PART_BYTES))
    if "skipped" in recovery:
        print("\n%s" % recovery["skipped"])
        return [("recovery parts", recovery["skipped"], "n/a")]
    print()
    print("| step | CPU s | ratio | wall s | ratio | max RSS KiB |")
    print("|---|---|---|---|---|---|")
    base = None
    for c in (0, 1, 8):
        row = summary(recovery["size"], {"ours": recovery["split"][c], "theirs": recovery["split"][0]})
        print("| split, %d recovery parts | %.3f | %.2f | %.3f | %.2f | %s |" % (
            c, row["cpu"][0], row["cpu_ratio"], row["wall"][0], row["wall_ratio"], format(row["rss"], ",")))
        if c:
            limit = RECOVERY_ONE_TARGET if c == 1 else RECOVERY_EIGHT_TARGET
            targets.append(("split with %d recovery part%s at most %.1fx the plain split's time"
                            % (c, "" if c == 1 else "s", limit), "wall %.3f (CPU %.3f)"
                            % (row["wall_ratio"], row["cpu_ratio"]),
                            "PASS" if row["wall_ratio"] <= limit else "MISS"))
    row = summary(recovery["size"], {"ours": recovery["join"]["repair"], "theirs": recovery["join"]["whole"]})
    for who, i in (("whole", 1), ("one slice rebuilt", 0)):
        print("| join, %s | %.3f | %s | %.3f | %s | %s |" % (
            who, row["cpu"][i], "%.2f" % row["cpu_ratio"] if i == 0 else "",
            row["wall"][i], "%.2f" % row["wall_ratio"] if i == 0 else "",
            format(row["rss"] if i == 0 else row["their_rss"], ",")))
    targets.append(("join rebuilding 1 slice of 64 at most %.1fx the whole join's time" % REPAIR_TARGET,
                    "wall %.3f (CPU %.3f)" % (row["wall_ratio"], row["cpu_ratio"]),
                    "PASS" if row["wall_ratio"] <= REPAIR_TARGET else "MISS"))
    print()
    print(gf16.rstrip())
    best = [line for line in gf16.splitlines() if "what the program uses" in line]
    rate = float(best[0].split()[-6]) if best else 0.0
    targets.append(("recovery code at least %.0f GB/s a recovery part on one core, best way" % ENCODE_GBS_TARGET,
                    "%.2f GB/s" % rate, "PASS" if rate >= ENCODE_GBS_TARGET else "MISS"))
    return targets


def report(args, bench, results, many, recovery=None, gf16=""):
    win = args.windows_image
    win_size = os.path.getsize(win) if win and os.path.exists(win) else None
    print()
    print("QCleaver against GNU split and cat: %s, input from /dev/urandom" % args.place)
    if results:
        print("slice size %d KB (%s); an input no larger than that (a file must be larger than one part)"
              " is cut into quarter slices" % (args.slice_kb, size_name(args.slice_kb * 1024)))
    print("median of %d rounds after a warm-up round, order alternating (A B, B A, ...)" % bench.rounds)
    print("machine: %s; load average %.2f at the start, %.2f at the end" % (machine(), args.load, load()))
    print("images: Linux build/posix/cleaver %s bytes; Windows build/windows/cleaver.exe %s"
          % (format(bench.image_size, ","), format(win_size, ",") + " bytes" if win_size else "not built"))
    rows = {}
    if results:
        print()
        print("| input | step | CPU s ours / theirs | ratio | wall s ours / theirs | ratio "
              "| MB/s ours / theirs | max RSS KiB ours / theirs |")
        print("|---|---|---|---|---|---|---|---|")
    for res in results:
        label = size_name(res["size"])
        if "skipped" in res:
            print("| %s | split, join | %s | | | | | |" % (label, res["skipped"]))
            continue
        if res["slice_kb"] != args.slice_kb:
            label += " (%s slices)" % size_name(res["slice_kb"] * 1024)
        for step, theirs in (("split", "`split -b`"), ("join", "`cat`")):
            row = summary(res["size"], res[step])
            rows[(res["size"], step)] = row
            print("| %s | %s vs %s | %.3f / %.3f | %.2f | %.3f / %.3f | %.2f | %.0f / %.0f | %s / %s |" % (
                label, step, theirs, row["cpu"][0], row["cpu"][1], row["cpu_ratio"],
                row["wall"][0], row["wall"][1], row["wall_ratio"],
                row["mbs"][0], row["mbs"][1], format(row["rss"], ","), format(row["their_rss"], ",")))

    if many:
        print()
        print("Many small parts: the head part's join against cat of the .QCB slices in order (the head")
        print("part carries no input bytes here, so the slices alone are the input); same rounds")
        print()
        print("| set | step | CPU s ours / theirs | ratio | wall s ours / theirs | ratio "
              "| CPU µs a slice ours / theirs | max RSS KiB ours / theirs |")
        print("|---|---|---|---|---|---|---|---|")
        label = "%s (%s)" % (many["label"], size_name(many["size"]) if many["size"] % MIB == 0
                            else "%.0f MB" % (many["size"] / 1e6))
        if "skipped" in many:
            print("| %s | join | %s | | | | | |" % (label, many["skipped"]))
        else:
            row = many_row = summary(many["size"], many["join"])
            slices = many["parts"] - 1
            print("| %s | join vs `cat` | %.3f / %.3f | %.2f | %.3f / %.3f | %.2f | %.1f / %.1f | %s / %s |" % (
                label, row["cpu"][0], row["cpu"][1], row["cpu_ratio"],
                row["wall"][0], row["wall"][1], row["wall_ratio"],
                row["cpu"][0] / slices * 1e6, row["cpu"][1] / slices * 1e6,
                format(row["rss"], ","), format(row["their_rss"], ",")))

    def unmeasured():
        return ["%s %s" % (size_name(r["size"]), r["skipped"]) for r in results if "skipped" in r]

    def ratio_target(step, limit):
        got = [(s, r) for (s, st), r in sorted(rows.items()) if st == step]
        text = ", ".join("%s %.3f" % (size_name(s), r["cpu_ratio"]) for s, r in got)
        text = ", ".join([t for t in [text] + unmeasured() if t])
        if not got:
            return text, "n/a"
        return text, "PASS" if all(r["cpu_ratio"] <= limit for _, r in got) else "MISS"

    targets = []
    if results:
        targets.append(("split CPU at most %.1fx GNU split's" % SPLIT_CPU_TARGET,)
                       + ratio_target("split", SPLIT_CPU_TARGET))
        targets.append(("join CPU at most %.1fx cat's" % JOIN_CPU_TARGET,) + ratio_target("join", JOIN_CPU_TARGET))
    if many:
        if "skipped" in many:
            text, verdict = many["skipped"], "n/a"
        else:
            ratio = many_row["cpu_ratio"]
            text, verdict = "%.3f" % ratio, "PASS" if ratio <= MANY_PARTS_CPU_TARGET else "MISS"
        targets.append(("join of %s CPU at most %.1fx cat's" % (many["label"], MANY_PARTS_CPU_TARGET),
                        text, verdict))
    peaks = {}
    for (s, _), r in rows.items():
        peaks[s] = max(peaks.get(s, 0), r["rss"])
    if many and "skipped" not in many:
        peaks[many["label"]] = many_row["rss"]
    text = ", ".join("%s %s KiB" % (s if isinstance(s, str) else size_name(s), format(k, ","))
                     for s, k in sorted(peaks.items(), key=lambda item: (isinstance(item[0], str), item)))
    targets.append(("peak RSS at most 4 MiB (%s KiB)" % format(RSS_TARGET_KIB, ","), text or "-",
                    "n/a" if not peaks else "PASS" if max(peaks.values()) <= RSS_TARGET_KIB else "MISS"))
    if results:
        bulk = [k for s, k in peaks.items() if not isinstance(s, str)]
        if bulk and not unmeasured() and len(bulk) > 1:
            spread = max(bulk) - min(bulk)
            flat = ("spread %s KiB" % format(spread, ","), "PASS" if spread <= RSS_FLAT_KIB else "MISS")
        else:
            flat = (", ".join(unmeasured()) or "one size only", "MISS" if unmeasured() else "n/a")
        sizes = sorted(r["size"] for r in results)
        targets.append(("peak RSS flat from %s to %s (within %d KiB)"
                        % (size_name(sizes[0]), size_name(sizes[-1]), RSS_FLAT_KIB),) + flat)
    if recovery:
        targets += report_recovery(recovery, gf16)
    targets.append(("Windows image at most %s bytes" % format(WINDOWS_IMAGE_TARGET, ","),
                    format(win_size, ",") + " bytes" if win_size else "not built",
                    "n/a" if not win_size else "PASS" if win_size <= WINDOWS_IMAGE_TARGET else "MISS"))
    print()
    print("max RSS: the largest of all measured runs; MB/s: 10^6 bytes a second of wall time")
    print("other programs used %.2f cores on average during the kept runs; runs repeated because"
          " they left no core free: %d, kept so after %d tries: %d"
          % (statistics.mean(bench.others_cores or [0]), bench.repeated, QUIET_TRIES, bench.kept_busy))
    print()
    print("| target | measured | verdict |")
    print("|---|---|---|")
    for t in targets:
        print("| %s | %s | %s |" % t)
    sys.stdout.flush()


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--work", required=True)
    p.add_argument("--place", required=True, help="what the work directory is, for the report")
    p.add_argument("--program", required=True)
    p.add_argument("--windows-image", default="")
    p.add_argument("--sizes", default="64M 512M 3G")
    p.add_argument("--rounds", type=int, default=9, help="measured rounds, after one warm-up round")
    p.add_argument("--slice-kb", type=int, default=65536)
    p.add_argument("--make-set", required=True, help="bench/make_many_parts, built")
    p.add_argument("--many-parts", type=int, default=20000,
                   help="slices of %d KB in the many-parts join; 0 skips it" % MANY_PARTS_SLICE_KB)
    p.add_argument("--recovery-size", default="512M", help="the recovery parts' input; 0 skips them")
    p.add_argument("--gf16-bench", default="", help="bench/gf16_bench, built")
    args = p.parse_args()
    if args.rounds < 1:
        fail("at least one measured round")
    args.load = load()
    if args.load > 0.5:
        progress("bench: warning: load average %.2f; other programs on this machine skew the figures\n" % args.load)
    bench = Bench(args)
    results = [bench.measure(parse_size(s)) for s in args.sizes.replace(",", " ").split()]
    many = bench.measure_many_parts(args.many_parts) if args.many_parts > 0 else None
    recovery_size = parse_size(args.recovery_size)
    recovery = bench.measure_recovery(recovery_size) if recovery_size > 0 else None
    gf16 = bench.gf16_paths(args.gf16_bench) if recovery and args.gf16_bench else ""
    if not results and not many and not recovery:
        fail("nothing to measure: no sizes, no many-parts case and no recovery parts")
    report(args, bench, results, many, recovery, gf16)


if __name__ == "__main__":
    main()
