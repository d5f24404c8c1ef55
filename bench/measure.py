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
import struct
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
# split without, in parts of the 1.44 MB preset (1400 KB) and, with 8, in
# parts of 16 MiB; and the join of a set of 16 MiB parts with 2 recovery
# parts that rebuilds 1 lost slice against the same join of the whole set.
# Ratios of wall time, the second core at work.
RECOVERY_SPLIT_PART_BYTES = 1400 * 1024
RECOVERY_PART_BYTES = 16 * MIB
RECOVERY_ONE_TARGET = 1.3
RECOVERY_EIGHT_TARGET = 2.0
RECOVERY_BIG_EIGHT_TARGET = 3.5
REPAIR_TARGET = 1.3
RECOVERY_FLIPS = 4          # slices with a byte flipped, in a set with 1 recovery part
# par2's block: 16 to a part of 16 MiB, so that N parts' worth of recovery
# blocks rebuild any N lost parts, as N recovery parts of ours do.
PAR2_BLOCK_BYTES = MIB
FLOOR_ZERO_MIB = 4096
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
        self.par2 = args.par2
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

    def tool(self, argv, cwd, what):
        """Runs one program that must succeed; returns (CPU s, wall s, max RSS KiB)."""
        cpu, wall, rss, code = self.run(argv, cwd, stdout=self.log)
        if code != 0:
            with open(self.log, errors="replace") as f:
                fail("%s exited with %d; it said:\n%s" % (what, code, f.read()[-800:]))
        return cpu, wall, rss

    def rounds_of(self, runs, tag):
        """Paired rounds of the named runs, in turn, order reversed every other
        round, the first round dropped; each run undoes its own effects."""
        names = list(runs)
        samples = {n: [] for n in names}
        for r in range(self.rounds + 1):
            for n in names if r % 2 == 0 else names[::-1]:
                got = self.quiet_sample(runs[n], lambda: None)
                if r > 0:
                    samples[n].append(got)
            progress(" %s%d" % (tag, r) if r else ", %s0(warm-up)" % tag)
        return samples

    def set_files(self, folder):
        return sorted(os.listdir(folder))

    def par2_create(self, folder, name, recovery_parts, part_bytes):
        """par2 data over the data parts in `folder` worth `recovery_parts` of
        our recovery parts: blocks of PAR2_BLOCK_BYTES, as many recovery blocks
        as fill that many parts, in as many files of the same size."""
        blocks = recovery_parts * part_bytes // PAR2_BLOCK_BYTES
        argv = [self.par2, "create", "-q", "-q", "-s%d" % PAR2_BLOCK_BYTES, "-c%d" % blocks, "-u",
                "-n%d" % recovery_parts, name + ".par2"] + self.our_parts(folder)

        def run():
            got = self.tool(argv, folder, "par2 create")
            made = [n for n in os.listdir(folder) if n.endswith(".par2")]
            if len(made) != recovery_parts + 1:
                fail("par2 create wrote %s" % made)
            return got
        return run

    def par2_remove(self, folder):
        for n in os.listdir(folder):
            if n.endswith(".par2"):
                os.remove(os.path.join(folder, n))

    def measure_recovery(self, size):
        """Splits with 0, 1 and 8 recovery parts in parts of 1400 KB; splits
        with 0 and 8 in parts of 16 MiB, against par2 create of the same
        redundancy; the join of a set with 2 that rebuilds a lost slice,
        against the whole join and par2 repair; the repair of a byte flipped
        in each of 4 slices with 1 recovery part, against par2 repair; and
        the floor that memory and the arithmetic set."""
        label = size_name(size)
        result = {"size": size, "label": label, "par2": bool(self.par2)}
        if self.par2:
            said = subprocess.run([self.par2, "-V"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  universal_newlines=True).stdout.strip()
            result["par2_version"] = said.splitlines()[0] if said else "version unknown"
        stat = os.statvfs(self.work)
        if stat.f_bavail * stat.f_frsize < 5 * size + 64 * MIB:
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
        result["split"] = samples
        progress("\n")

        # Parts of 16 MiB: a plain split, one with 8 recovery parts, and par2
        # create over a plain set made once, each run removing what it made.
        part = RECOVERY_PART_BYTES
        plain_dir, eight_dir, theirs_dir = self.dir("r-plain"), self.dir("r-eight"), self.dir("r-par2")
        self.tool([self.program, "-s", str(part), "-o", theirs_dir, self.input], self.work, "our plain split")
        result["parts"] = parts = len(self.our_parts(theirs_dir))
        # The middle slice is lost; a byte is flipped in 4 full slices spread
        # over the set (3, 7, 11 and 15 of 17), the last slice being short.
        lost_name = result["lost"] = "in_%02d.QCB" % (parts // 2)
        full = parts - 2
        step = (full + 1) // RECOVERY_FLIPS
        flipped = ["in_%02d.QCB" % (full - step * k) for k in range(RECOVERY_FLIPS)][::-1] if step else []
        progress("recovery, %s in %d parts of %s: split" % (label, result["parts"], size_name(part)))

        def split_to(folder, count):
            def run():
                got = self.tool([self.program, "-s", str(part), "-r", str(count), "-o", folder, self.input],
                                self.work, "our split with %d recovery parts" % count)
                made = self.set_files(folder)
                if len([n for n in made if n.startswith("in_R")]) != count or not self.our_parts(folder):
                    fail("our split with %d recovery parts wrote %s" % (count, made))
                self.clear(folder)
                return got
            return run

        runs = {"plain": split_to(plain_dir, 0), "eight": split_to(eight_dir, 8)}
        if self.par2:
            make = self.par2_create(theirs_dir, "eight", 8, part)

            def par2_eight():
                got = make()
                self.par2_remove(theirs_dir)
                return got
            runs["par2"] = par2_eight
        result["big"] = self.rounds_of(runs, "s")
        progress("\n")

        # The join of a set with 2 recovery parts, whole and with a slice lost;
        # the same slice rebuilt by --repair, and by par2 repair from par2 data
        # worth 2 recovery parts over the plain set.
        two_dir, out_dir = self.dir("r-two"), self.dir("r-out")
        self.tool([self.program, "-s", str(part), "-r", "2", "-o", two_dir, self.input], self.work,
                  "our split with 2 recovery parts")
        result["two_parts"] = len(self.our_parts(two_dir))
        head = os.path.join(two_dir, self.our_parts(two_dir)[0])
        aside = os.path.join(self.work, "aside.QCB")
        progress("recovery, the join of a set with 2 recovery parts, %s lost" % lost_name)
        if self.par2:
            self.par2_create(theirs_dir, "two", 2, part)()
        two_files = self.set_files(two_dir)
        theirs_files = self.set_files(theirs_dir)

        def join(lost):
            def run():
                if lost:
                    os.rename(os.path.join(two_dir, lost_name), aside)
                got = self.tool([self.program, "--join", head, "--no-copy", "-o", out_dir], two_dir, "our join")
                if lost:
                    os.rename(aside, os.path.join(two_dir, lost_name))
                if self.set_files(out_dir) != ["in.bin"] or self.set_files(two_dir) != two_files:
                    fail("our join left %s in its folder and %s in the set" % (
                        self.set_files(out_dir), self.set_files(two_dir)))
                self.cmp(os.path.join(out_dir, "in.bin"), self.input)
                self.clear(out_dir)
                return got
            return run

        def rebuild(folder, argv, what, files):
            def run():
                lost = os.path.join(folder, lost_name)
                os.rename(lost, aside)
                got = self.tool(argv, folder, what)
                if self.set_files(folder) != files:
                    fail("%s left %s" % (what, self.set_files(folder)))
                self.cmp(lost, aside)
                os.replace(aside, lost)
                return got
            return run

        runs = {"whole": join(False), "lost": join(True),
                "repair": rebuild(two_dir, [self.program, "--repair", head], "our repair", two_files)}
        if self.par2:
            runs["par2"] = rebuild(theirs_dir, [self.par2, "repair", "-q", "-q", "two.par2"], "par2 repair",
                                   theirs_files)
        result["join"] = self.rounds_of(runs, "j")
        progress(", every rebuilt file and part matched\n")
        self.clear(two_dir)
        self.par2_remove(theirs_dir)

        # One recovery part against a byte flipped in each of 4 slices, at
        # places in different stretches; par2 data worth 1 recovery part.
        one_dir, orig_dir = self.dir("r-one"), self.dir("r-orig")
        self.tool([self.program, "-s", str(part), "-r", "1", "-o", one_dir, self.input], self.work,
                  "our split with 1 recovery part")
        if not flipped:
            fail("%d parts of %s are too few for a byte flipped in %d slices; a larger input has room"
                 % (parts, size_name(part), RECOVERY_FLIPS))
        with open(os.path.join(one_dir, "in_R01.QCB"), "rb") as f:
            header = f.read(52)
        if header[:4] != b"QCR2":
            fail("in_R01.QCB starts with %r" % header[:4])
        block, stretch = struct.unpack_from("<qI", header, 24)
        places = [1000, block // 4 + 12345, block // 2 + 777, block - 3]
        if len({p // stretch for p in places}) != len(places):
            fail("the flipped bytes share a stretch of %d bytes" % stretch)
        result["stretch_bytes"] = stretch
        result["flips"] = list(zip(flipped, places))
        progress("recovery, a byte flipped in %d slices, stretches of %d KB" % (len(places), stretch // 1024))
        if self.par2:
            self.par2_create(theirs_dir, "one", 1, part)()

        def damage(folder, tag):
            for name, place in result["flips"]:
                path = os.path.join(folder, name)
                shutil.copyfile(path, os.path.join(orig_dir, tag + name))
                with open(path, "r+b") as f:
                    f.seek(place)
                    byte = f.read(1)
                    f.seek(place)
                    f.write(bytes([byte[0] ^ 0x5A]))

        def mend(folder, argv, what, tag, kept):
            files = self.set_files(folder)

            def run():
                got = self.tool(argv, folder, what)
                made = sorted(files + [n + kept for n, _ in result["flips"]])
                if self.set_files(folder) != made:
                    fail("%s left %s" % (what, self.set_files(folder)))
                for name, _ in result["flips"]:
                    path = os.path.join(folder, name)
                    self.cmp(path, os.path.join(orig_dir, tag + name))
                    os.replace(path + kept, path)  # damaged again for the next run
                return got
            return run

        damage(one_dir, "ours-")
        one_head = os.path.join(one_dir, self.our_parts(one_dir)[0])
        runs = {"ours": mend(one_dir, [self.program, "--repair", one_head], "our repair", "ours-", ".damaged")}
        if self.par2:
            damage(theirs_dir, "par2-")
            runs["par2"] = mend(theirs_dir, [self.par2, "repair", "-q", "-q", "one.par2"], "par2 repair",
                                "par2-", ".1")
        result["stretch"] = self.rounds_of(runs, "r")
        progress(", every mended part matched\n")
        self.clear(one_dir, orig_dir, theirs_dir)

        # The floor: moving the bytes through memory as the split must.
        progress("recovery, floor: dd")
        copy = os.path.join(out_dir, "copy.bin")
        mib = size // MIB
        dd = ["dd", "bs=1M", "status=none"]

        def timed(argv):
            def run():
                got = self.tool(argv, self.work, "dd")
                if os.path.exists(copy):
                    os.remove(copy)
                return got
            return run

        result["floor"] = self.rounds_of({
            "memory": timed(dd + ["if=/dev/zero", "of=/dev/null", "count=%d" % FLOOR_ZERO_MIB]),
            "read": timed(dd + ["if=" + self.input, "of=/dev/null"]),
            "copy": timed(dd + ["if=" + self.input, "of=" + copy]),
            "write": timed(dd + ["if=/dev/zero", "of=" + copy, "count=%d" % (8 * part // MIB)]),
        }, "f")
        result["floor_mib"] = mib
        progress("\n")
        self.clear(self.in_dir)
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


def verdict(ratio, limit):
    return "PASS" if ratio <= limit else "MISS"


def report_recovery(recovery, gf16):
    """The recovery parts' tables and targets."""
    targets = []
    print()
    print("Recovery parts, an input of %s: our splits in parts of 1400 KB with 0, 1 and 8 recovery parts;"
          % recovery["label"])
    print("in parts of %s, with 0 and 8; joins, repairs and par2; each group in rounds of its own"
          % size_name(RECOVERY_PART_BYTES))
    if "skipped" in recovery:
        print("\n%s" % recovery["skipped"])
        return [("recovery parts", recovery["skipped"], "n/a")]
    size = recovery["size"]
    print()
    print("| step | CPU s | ratio | wall s | ratio | max RSS KiB |")
    print("|---|---|---|---|---|---|")

    def line(step, row, i=0, ratio=True):
        rss = row["rss"] if i == 0 else row["their_rss"]
        print("| %s | %.3f | %s | %.3f | %s | %s |" % (
            step, row["cpu"][i], "%.2f" % row["cpu_ratio"] if ratio else "",
            row["wall"][i], "%.2f" % row["wall_ratio"] if ratio else "", format(rss, ",")))

    for c in (0, 1, 8):
        row = summary(size, {"ours": recovery["split"][c], "theirs": recovery["split"][0]})
        line("split, 1400 KB parts, %d recovery part%s" % (c, "" if c == 1 else "s"), row)
        if c:
            limit = RECOVERY_ONE_TARGET if c == 1 else RECOVERY_EIGHT_TARGET
            targets.append(("split in 1400 KB parts with %d recovery part%s at most %.1fx the plain split's time"
                            % (c, "" if c == 1 else "s", limit), "wall %.3f (CPU %.3f)"
                            % (row["wall_ratio"], row["cpu_ratio"]), verdict(row["wall_ratio"], limit)))
    big = recovery["big"]
    parts = recovery["parts"]
    plain = summary(size, {"ours": big["plain"], "theirs": big["plain"]})
    eight = summary(size, {"ours": big["eight"], "theirs": big["plain"]})
    line("split, %d parts of %s, 0 recovery parts" % (parts, size_name(RECOVERY_PART_BYTES)), plain)
    line("split, %d parts of %s, 8 recovery parts" % (parts, size_name(RECOVERY_PART_BYTES)), eight)
    targets.append(("split in %s parts with 8 recovery parts at most %.1fx the plain split's time"
                    % (size_name(RECOVERY_PART_BYTES), RECOVERY_BIG_EIGHT_TARGET),
                    "wall %.3f (CPU %.3f)" % (eight["wall_ratio"], eight["cpu_ratio"]),
                    verdict(eight["wall_ratio"], RECOVERY_BIG_EIGHT_TARGET)))
    join = recovery["join"]
    lost = summary(size, {"ours": join["lost"], "theirs": join["whole"]})
    line("join (`--join --no-copy -o`), set with 2 recovery parts, whole", lost, 1, False)
    line("join, %s lost and rebuilt" % recovery["lost"], lost)
    repair = summary(size, {"ours": join["repair"], "theirs": join["whole"]})
    line("`--repair`, %s lost" % recovery["lost"], repair)
    targets.append(("join rebuilding 1 slice of %d at most %.1fx the whole join's time"
                    % (recovery["two_parts"], REPAIR_TARGET),
                    "wall %.3f (CPU %.3f)" % (lost["wall_ratio"], lost["cpu_ratio"]),
                    verdict(lost["wall_ratio"], REPAIR_TARGET)))
    stretch = recovery["stretch"]
    mended = summary(size, {"ours": stretch["ours"], "theirs": stretch["ours"]})
    line("`--repair`, set with 1 recovery part, a byte flipped in each of %d slices" % len(recovery["flips"]),
         mended, 0, False)

    # The floor of the split with 8 recovery parts: the plain split's copy
    # (dd of the input into a file), the second pass's read (dd of the input
    # to /dev/null), the recovery parts' write (dd from /dev/zero), and the
    # arithmetic (8 recovery parts over the input) at the best way's speed on
    # a stripe in cache, on both cores.
    fl = recovery["floor"]

    def med(name):
        return statistics.median(s[1] for s in fl[name])
    best = [l for l in gf16.splitlines() if "what the program uses" in l]
    cache_rate = float(best[0].split()[-6]) if best else 0.0
    big_rate = float(best[0].split()[-5]) if best else 0.0
    cores = len(os.sched_getaffinity(0))
    arithmetic = 8 * size / (cores * cache_rate * 1e9) if cache_rate else 0.0
    io = med("copy") + med("read") + med("write")
    print()
    print("Floor, %s input (dd bs=1M, median of the same rounds): /dev/zero to /dev/null %.1f GB/s; the input"
          % (recovery["label"], FLOOR_ZERO_MIB * MIB / med("memory") / 1e9))
    print("read %.3f s (%.1f GB/s), copied to a file %.3f s (%.1f GB/s); %s written %.3f s; the multiply"
          % (med("read"), size / med("read") / 1e9, med("copy"), size / med("copy") / 1e9,
             size_name(8 * RECOVERY_PART_BYTES), med("write")))
    print("%.1f GB/s a core in cache (%.1f at 64 MiB), so 8 recovery parts' arithmetic on %d cores %.3f s."
          % (cache_rate, big_rate, cores, arithmetic))
    print("Split with 8 recovery parts: floor = copy + read + write + arithmetic = %.3f s; measured %.3f s,"
          % (io + arithmetic, eight["wall"][0]))
    print("%.0f%% of the floor's speed; the plain split %.3f s against its copy %.3f s, %.0f%%"
          % (100 * (io + arithmetic) / eight["wall"][0], plain["wall"][0], med("copy"),
             100 * med("copy") / plain["wall"][0]))
    recovery["floor_fraction"] = (io + arithmetic) / eight["wall"][0]
    print()
    print(gf16.rstrip())
    targets.append(("recovery code at least %.0f GB/s a recovery part on one core, best way" % ENCODE_GBS_TARGET,
                    "%.2f GB/s" % cache_rate, "PASS" if cache_rate >= ENCODE_GBS_TARGET else "MISS"))

    if not recovery["par2"]:
        print()
        print("par2 not installed (BENCH_PAR2=1 installs it): no comparison with it")
        return targets
    print()
    print("Against par2 create and par2 repair (%s), blocks of %s, recovery blocks filling as many"
          % (recovery["par2_version"], size_name(PAR2_BLOCK_BYTES)))
    print("files of %s as we write recovery parts (-s%d -c<16 a part> -u -n<parts>), over the parts of the"
          % (size_name(RECOVERY_PART_BYTES), PAR2_BLOCK_BYTES))
    print("plain split; ratios ours / par2 of the medians (CPU includes par2's threads)")
    print()
    print("| work | ours | CPU s ours / par2 | ratio | wall s ours / par2 | ratio |")
    print("|---|---|---|---|---|---|")

    def vs(work, ours_text, ours, theirs):
        row = summary(size, {"ours": ours, "theirs": theirs})
        print("| %s | %s | %.3f / %.3f | %.3f | %.3f / %.3f | %.3f |" % (
            work, ours_text, row["cpu"][0], row["cpu"][1], row["cpu_ratio"],
            row["wall"][0], row["wall"][1], row["wall_ratio"]))
        return row
    # A user who wants recovery data splits and then runs par2 create: the
    # split with 8 recovery parts against both, round by round.
    both = [tuple(a[i] + b[i] for i in (0, 1)) + (max(a[2], b[2]),) for a, b in zip(big["plain"], big["par2"])]
    extra = [tuple(a[i] - b[i] for i in (0, 1)) + (a[2],) for a, b in zip(big["eight"], big["plain"])]
    vs("8 parts' worth, made (par2: plain split + create)", "split -r 8", big["eight"], both)
    vs("8 parts' worth, the recovery data alone (par2: create)", "split -r 8 less split -r 0", extra, big["par2"])
    vs("1 lost part rebuilt, 2 parts' worth (par2 repair)", "join, slice lost", join["lost"], join["par2"])
    vs("1 lost part rebuilt, 2 parts' worth (par2 repair)", "`--repair`", join["repair"], join["par2"])
    vs("a byte flipped in each of 4 parts, 1 part's worth (par2 repair)", "`--repair`",
       stretch["ours"], stretch["par2"])
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
    p.add_argument("--par2", default="", help="par2, where installed, to measure our recovery parts against")
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
