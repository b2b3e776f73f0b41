#!/usr/bin/env python3
"""Times mirebolt-cli against openssl cms on the same input in the same run.

1. 100 MB and 1 GiB, encrypt and decrypt, from a named file (DER on encrypt) and through a
   pipe (BER on encrypt): wall seconds, CPU seconds (user + system of the process), peak
   memory, and our CPU and wall time over openssl's for the matching operation (its DER file
   for our file, its -stream BER for our pipe). Both decrypt the message our encrypt wrote.
2. A message whose encrypted content is 10 million one-byte pieces, decrypted from a file
   and from standard input.
3. 100 MB of AES-256-GCM from a named file: our decrypt of openssl's message against its own,
   our --gcm encrypt against openssl's -aes-256-gcm.
4. The targets, each ok or MISSED.

Each figure is the median of three runs, ours and openssl's taking turns, since the machine
may be busy. Usage: cli_streams.py BUILD FIXTURES; BENCH_DIR picks the scratch folder, and
BENCH_GCM_ONLY=1 runs part 3 alone. A missed target still exits 0; a run that failed or
decrypted wrongly exits 1."""
import os
import statistics
import subprocess
import sys
import tempfile
import time

build, fixtures = sys.argv[1], sys.argv[2]
cli = os.path.join(build, "cli", "mirebolt-cli")
cert = os.path.join(fixtures, "alice.pem")
key = os.path.join(fixtures, "alice.key")
store = os.path.join(fixtures, "store-alice")

ROUNDS = 3
SIZES = ((100_000_000, "100 MB"), (1024 ** 3, "1 GiB"))
# 9 999 999 bytes of content make exactly 10 000 000 bytes of AES-CBC ciphertext.
PIECES_PLAIN = 9_999_999
ENCRYPT_CPU_100MB = 0.135
DECRYPT_CPU_100MB = 0.07
PEAK_MIB = 20.0
# Of openssl's time for the same GCM operation, wall and CPU.
GCM_RATIO = 0.5
GCM_SIZE = 100_000_000

TIME = "/usr/bin/time"
failures = []
peak_log = None


def measure(command, stdin=None, stdout=None, pipe=False, fresh=()):
    """Wall seconds, CPU seconds and peak MiB of one run of command, None if it failed.

    stdin and stdout name files; with pipe, stdin reaches the command through a pipe from
    cat. The paths in fresh are removed first, so that no run replaces an earlier output.
    The peak comes from GNU time, which forks the command itself: a process started from
    here takes over this interpreter's own peak (ru_maxrss counts the memory it had before
    exec), which would hide anything smaller. CPU comes from wait4 on time, which counts the
    command it waited for (and time's own millisecond)."""
    for path in fresh:
        if os.path.exists(path):
            os.remove(path)
    feeder = None
    if pipe:
        feeder = subprocess.Popen(["cat", stdin], stdout=subprocess.PIPE)
        source = feeder.stdout
    else:
        source = open(stdin, "rb") if stdin else subprocess.DEVNULL
    sink = open(stdout, "wb") if stdout else subprocess.DEVNULL
    started = time.monotonic()
    process = subprocess.Popen([TIME, "-f", "%M", "-o", peak_log] + command,
                               stdin=source, stdout=sink)
    # Only the command holds the pipe now: cat sees it close if the command stops early.
    for stream in (source, sink):
        if hasattr(stream, "close"):
            stream.close()
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - started
    process.returncode = os.waitstatus_to_exitcode(status)
    if feeder:
        feeder.wait()
    if process.returncode != 0:
        failures.append(" ".join(command))
        print(f"  failed (exit {process.returncode}): {' '.join(command)}", file=sys.stderr)
        return None
    with open(peak_log) as log:
        peak_kib = int(log.read().split()[-1])
    return wall, usage.ru_utime + usage.ru_stime, peak_kib / 1024


def median(runs):
    """The median wall, CPU and peak of the runs that succeeded, None if none did."""
    done = [run for run in runs if run]
    if not done:
        return None
    return tuple(statistics.median(run[i] for run in done) for i in range(3))


def same(one, other):
    if subprocess.run(["cmp", "-s", one, other]).returncode != 0:
        failures.append(f"{one} differs from {other}")
        print(f"  wrong result: {one} differs from {other}", file=sys.stderr)


def write_random(path, size):
    with open(path, "wb") as out:
        block = os.urandom(1 << 20)
        left = size
        while left:
            out.write(block[: min(left, len(block))])
            left -= min(left, len(block))


def element(data, at):
    """Tag, content start and end of the definite-length element at data[at]."""
    tag = data[at]
    if tag & 0x1F == 0x1F:
        raise ValueError(f"multi-byte tag at {at}")
    first = data[at + 1]
    if first < 0x80:
        return tag, at + 2, at + 2 + first
    count = first & 0x7F
    if count == 0:
        raise ValueError(f"indefinite length at {at}: not DER")
    start = at + 2 + count
    return tag, start, start + int.from_bytes(data[at + 2 : start], "big")


def one_byte_pieces(der):
    """The DER enveloped-data message der with its encrypted content [0] as a constructed,
    indefinite-length [0] of one-byte OCTET STRINGs, and every element around it (ContentInfo,
    its [0], EnvelopedData, EncryptedContentInfo) of indefinite length; the rest as it was."""
    # The element to descend into at each level below the ContentInfo: its [0] content, the
    # EnvelopedData, and the EncryptedContentInfo, EnvelopedData's only SEQUENCE.
    path = (0xA0, 0x30, 0x30)
    found = []

    def rewrite(start, end, depth):
        out = bytearray()
        at = start
        while at < end:
            tag, content, stop = element(der, at)
            if depth < len(path) and tag == path[depth]:
                out += b"%c\x80" % tag + rewrite(content, stop, depth + 1) + b"\0\0"
            elif depth == len(path) and tag == 0x80:
                count = stop - content
                pieces = bytearray(3 * count)
                pieces[0::3] = b"\x04" * count
                pieces[1::3] = b"\x01" * count
                pieces[2::3] = der[content:stop]
                out += b"\xa0\x80" + pieces + b"\0\0"
                found.append(count)
            else:
                out += der[at:stop]
            at = stop
        return out

    tag, content, end = element(der, 0)
    if tag != 0x30 or end != len(der):
        raise ValueError("not one DER SEQUENCE")
    message = b"\x30\x80" + rewrite(content, end, 0) + b"\0\0"
    if len(found) != 1:
        raise ValueError("no primitive encrypted content found")
    return bytes(message)


def openssl_decrypt(message, out, pipe=False):
    command = ["openssl", "cms", "-decrypt", "-binary", "-inform", "DER", "-recip", cert,
               "-inkey", key]
    if pipe:
        return dict(command=command, stdin=message, stdout=out, pipe=True, fresh=[out])
    return dict(command=command + ["-in", message, "-out", out], fresh=[out])


def compare(work, size):
    """Median (ours, openssl's) of each operation and input for one size, by (operation,
    input)."""
    plain = os.path.join(work, "plain")
    ours_der, ours_ber = os.path.join(work, "ours.der"), os.path.join(work, "ours.ber")
    theirs_der, theirs_ber = os.path.join(work, "openssl.der"), os.path.join(work, "openssl.ber")
    out = os.path.join(work, "out")
    write_random(plain, size)
    openssl_encrypt = ["openssl", "cms", "-encrypt", "-binary", "-aes256", "-outform", "DER"]
    cases = [
        ("encrypt", "file",
         dict(command=[cli, "-q", "encrypt", "-r", cert, "-o", ours_der, plain],
              fresh=[ours_der]),
         dict(command=openssl_encrypt + ["-in", plain, "-out", theirs_der, cert],
              fresh=[theirs_der])),
        ("encrypt", "pipe",
         dict(command=[cli, "-q", "encrypt", "-r", cert, "-"],
              stdin=plain, stdout=ours_ber, pipe=True, fresh=[ours_ber]),
         dict(command=openssl_encrypt + ["-stream", cert],
              stdin=plain, stdout=theirs_ber, pipe=True, fresh=[theirs_ber])),
        ("decrypt", "file",
         dict(command=[cli, "-q", "--store", store, "decrypt", "-o", out, ours_der],
              fresh=[out]),
         openssl_decrypt(ours_der, out)),
        ("decrypt", "pipe",
         dict(command=[cli, "-q", "--store", store, "decrypt", "-o", "-", "-"],
              stdin=ours_ber, stdout=out, pipe=True, fresh=[out]),
         openssl_decrypt(ours_ber, out, pipe=True)),
    ]
    results = {}
    for operation, source, ours, theirs in cases:
        runs = ([], [])
        for turn in range(ROUNDS):
            for side, arguments in enumerate((ours, theirs)):
                runs[side].append(measure(**arguments))
                if turn == 0 and operation == "decrypt" and runs[side][0]:
                    same(out, plain)
        results[operation, source] = (median(runs[0]), median(runs[1]))
    for leftover in (plain, ours_der, ours_ber, theirs_der, theirs_ber, out):
        if os.path.exists(leftover):
            os.remove(leftover)
    return results


def pieces_run(work):
    """Median wall, CPU and peak of our decrypt of the 10-million-piece message from a file and
    from standard input, and whether openssl opens the message."""
    plain = os.path.join(work, "plain")
    der = os.path.join(work, "openssl.der")
    message = os.path.join(work, "pieces.enc")
    out = os.path.join(work, "out")
    write_random(plain, PIECES_PLAIN)
    subprocess.run(["openssl", "cms", "-encrypt", "-binary", "-aes256", "-outform", "DER",
                    "-in", plain, "-out", der, cert], check=True)
    with open(der, "rb") as source:
        rewritten = one_byte_pieces(source.read())
    with open(message, "wb") as sink:
        sink.write(rewritten)
    checked = measure(**openssl_decrypt(message, out))
    opens = bool(checked) and subprocess.run(["cmp", "-s", out, plain]).returncode == 0
    if not opens:
        failures.append("openssl cms -decrypt of the 10-million-piece message")
    file_runs, pipe_runs = [], []
    for turn in range(ROUNDS):
        file_runs.append(measure([cli, "-q", "--store", store, "decrypt", "-o", out, message],
                                 fresh=[out]))
        if turn == 0 and file_runs[0]:
            same(out, plain)
        pipe_runs.append(measure([cli, "-q", "--store", store, "decrypt", "-o", out, "-"],
                                 stdin=message, fresh=[out]))
        if turn == 0 and pipe_runs[0]:
            same(out, plain)
    size = len(rewritten)
    for leftover in (plain, der, message, out):
        if os.path.exists(leftover):
            os.remove(leftover)
    return size, checked if opens else None, median(file_runs), median(pipe_runs)


def gcm_compare(work):
    """Median (ours, openssl's) of 100 MB AES-256-GCM decrypt (of openssl's message) and
    encrypt, by operation; both decrypts check the result."""
    plain = os.path.join(work, "plain")
    theirs = os.path.join(work, "openssl-gcm.der")
    ours = os.path.join(work, "ours-gcm.der")
    out = os.path.join(work, "out")
    write_random(plain, GCM_SIZE)
    openssl_encrypt = ["openssl", "cms", "-encrypt", "-binary", "-aes-256-gcm", "-outform",
                       "DER", "-in", plain]
    subprocess.run(openssl_encrypt + ["-out", theirs, cert], check=True)
    cases = [
        ("decrypt",
         dict(command=[cli, "-q", "--store", store, "decrypt", "-o", out, theirs], fresh=[out]),
         openssl_decrypt(theirs, out)),
        ("encrypt",
         dict(command=[cli, "-q", "encrypt", "--gcm", "-r", cert, "-o", ours, plain],
              fresh=[ours]),
         dict(command=openssl_encrypt + ["-out", theirs, cert], fresh=[theirs])),
    ]
    results = {}
    for operation, mine, openssl in cases:
        runs = ([], [])
        for turn in range(ROUNDS):
            for side, arguments in enumerate((mine, openssl)):
                runs[side].append(measure(**arguments))
                if turn == 0 and operation == "decrypt" and runs[side][0]:
                    same(out, plain)
        results[operation] = (median(runs[0]), median(runs[1]))
    # Each opens the other's message.
    if measure(**openssl_decrypt(ours, out)):
        same(out, plain)
    if measure([cli, "-q", "--store", store, "decrypt", "-o", out, theirs], fresh=[out]):
        same(out, plain)
    for leftover in (plain, theirs, ours, out):
        if os.path.exists(leftover):
            os.remove(leftover)
    return results


def cells(figures):
    if not figures:
        return f"{'failed':>24}"
    wall, cpu, peak = figures
    return f"{wall:7.2f} {cpu:7.2f} {peak:8.1f}"


def ratio(ours, theirs, i):
    if not ours or not theirs or theirs[i] <= 0:
        return f"{'-':>6}"
    return f"{ours[i] / theirs[i]:6.2f}"


def verdict(figures, i, limit, unit):
    if not figures:
        return "MISSED (failed)"
    shown = f"{figures[i]:.4f} s" if unit == "s" else f"{figures[i]:.1f} MiB"
    return ("ok" if figures[i] <= limit else "MISSED") + f" ({shown})"


if not os.access(cli, os.X_OK):
    sys.exit(f"no mirebolt-cli in {build}")
if not os.access(TIME, os.X_OK):
    sys.exit(f"{TIME} is missing: install GNU time (Debian package time) for the peak memory")
began = time.monotonic()
print(f"{cli}; median of {ROUNDS} runs, ours and openssl's taking turns")
with tempfile.TemporaryDirectory(dir=os.environ.get("BENCH_DIR", "/tmp")) as work:
    peak_log = os.path.join(work, "peak")
    gcm_only = os.environ.get("BENCH_GCM_ONLY") == "1"
    results = {}
    if not gcm_only:
        for size, name in SIZES:
            results[name] = compare(work, size)
        pieces = pieces_run(work)
    gcm = gcm_compare(work)


def print_gcm():
    print()
    print(f"100 MB AES-256-GCM, from a file: {'mirebolt-cli':^24} | {'openssl cms':^24} | "
          f"{'ours/openssl':^13}")
    for operation, (ours, theirs) in gcm.items():
        print(f"  {operation:31} {cells(ours)} | {cells(theirs)} | "
              f"{ratio(ours, theirs, 1)} {ratio(ours, theirs, 0)}")
    print("  (decrypt: openssl's message; encrypt: --gcm against -aes-256-gcm)")
    print()
    print("targets:")
    for operation, (ours, theirs) in gcm.items():
        for i, what in ((1, "CPU"), (0, "wall")):
            if not ours or not theirs:
                print(f"  100 MB GCM {operation} {what} <= {GCM_RATIO} of openssl's: "
                      "MISSED (failed)")
                continue
            share = ours[i] / theirs[i]
            print(f"  100 MB GCM {operation} {what} <= {GCM_RATIO} of openssl's: "
                  f"{'ok' if share <= GCM_RATIO else 'MISSED'} ({share:.2f})")


if gcm_only:
    print_gcm()
    print()
    print(f"took {time.monotonic() - began:.0f} s")
    sys.exit(1 if failures else 0)

print()
print(f"{'':22} {'mirebolt-cli':^24} | {'openssl cms':^24} | {'ours/openssl':^13}")
print(f"{'':6} {'':8} {'input':6} {'wall s':>7} {'CPU s':>7} {'RSS MiB':>8} | "
      f"{'wall s':>7} {'CPU s':>7} {'RSS MiB':>8} | {'CPU':>6} {'wall':>6}")
for name, table in results.items():
    for (operation, source), (ours, theirs) in table.items():
        print(f"{name:6} {operation:8} {source:6} {cells(ours)} | {cells(theirs)} | "
              f"{ratio(ours, theirs, 1)} {ratio(ours, theirs, 0)}")
print("  (openssl: DER from the file, -stream BER through the pipe; both decrypt our message)")

size, checked, from_file, from_pipe = pieces
print()
print(f"10 million one-byte pieces ({size / 1e6:.1f} MB message), decrypt:")
if checked:
    print(f"  openssl cms -decrypt opens it      {cells(checked)}")
else:
    print("  openssl cms -decrypt does NOT open it")
print(f"  mirebolt-cli, file (-o OUT FILE)   {cells(from_file)}")
print(f"  mirebolt-cli, stdin (-o OUT -)     {cells(from_pipe)}")
if from_file and from_pipe:
    print(f"  file/pipe wall {from_file[0] / from_pipe[0]:.2f}, "
          f"CPU {from_file[1] / from_pipe[1]:.2f}")

print()
print("targets:")
hundred = results["100 MB"]
for operation, limit in (("encrypt", ENCRYPT_CPU_100MB), ("decrypt", DECRYPT_CPU_100MB)):
    for source in ("file", "pipe"):
        print(f"  100 MB {operation} {source} CPU <= {limit} s: "
              f"{verdict(hundred[operation, source][0], 1, limit, 's')}")
for name, table in results.items():
    for (operation, source), (ours, _) in table.items():
        print(f"  {name} {operation} {source} peak <= {PEAK_MIB:.0f} MiB: "
              f"{verdict(ours, 2, PEAK_MIB, 'MiB')}")
if from_file and from_pipe:
    print(f"  10 million pieces, file wall <= pipe wall: "
          f"{'ok' if from_file[0] <= from_pipe[0] else 'MISSED'} "
          f"({from_file[0]:.2f} s against {from_pipe[0]:.2f} s)")
else:
    print("  10 million pieces, file wall <= pipe wall: MISSED (failed)")
print_gcm()

print()
print(f"took {time.monotonic() - began:.0f} s")
if failures:
    print(f"{len(failures)} runs failed or gave wrong results: the figures above leave them out",
          file=sys.stderr)
    sys.exit(1)
