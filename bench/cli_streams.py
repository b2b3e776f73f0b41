#!/usr/bin/env python3
"""Times mirebolt-cli against openssl cms on the same files in the same run: 100 MB and 1 GiB,
encrypt and decrypt, the whole-file path (files within the window's limit) and the streamed
one (pipes, and files above the limit), wall time and peak memory of each process."""
import os
import resource
import subprocess
import sys
import tempfile
import time

build, fixtures = sys.argv[1], sys.argv[2]
cli = os.path.join(build, "cli", "mirebolt-cli")
cert = os.path.join(fixtures, "alice.pem")
key = os.path.join(fixtures, "alice.key")
store = os.path.join(fixtures, "store-alice")


def run(command, stdin=None, stdout=None):
    """Wall seconds and peak KiB of one process."""
    started = time.monotonic()
    process = subprocess.Popen(command, stdin=stdin, stdout=stdout or subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.monotonic() - started
    if status != 0:
        sys.exit(f"failed: {' '.join(command)}")
    return seconds, usage.ru_maxrss


def report(label, seconds, kib, size):
    print(f"  {label:44} {seconds:6.2f} s  {size / seconds / 1e6:7.0f} MB/s  {kib / 1024:7.1f} MiB")


with tempfile.TemporaryDirectory(dir=os.environ.get("BENCH_DIR", "/tmp")) as work:
    for size, name in ((100_000_000, "100 MB"), (1024 ** 3, "1 GiB")):
        plain = os.path.join(work, "plain")
        with open(plain, "wb") as out:
            block = os.urandom(1 << 20)
            left = size
            while left:
                out.write(block[: min(left, len(block))])
                left -= min(left, len(block))
        enc = plain + ".enc"
        print(f"{name}:")
        if size <= 102_399_492:
            report("mirebolt-cli encrypt, whole file", *run([cli, "-q", "--yes", "encrypt", "-r", cert, plain]), size)
            report("mirebolt-cli decrypt, whole file", *run([cli, "-q", "--yes", "--store", store, "decrypt", "-o", plain + ".out", enc]), size)
        else:
            report("mirebolt-cli encrypt, file above the limit (DER)", *run([cli, "-q", "--yes", "encrypt", "-r", cert, plain]), size)
            report("mirebolt-cli decrypt, file above the limit", *run([cli, "-q", "--yes", "--store", store, "decrypt", "-o", plain + ".out", enc]), size)
        with open(plain, "rb") as source, open(enc, "wb") as sink:
            report("mirebolt-cli encrypt, pipe (BER)", *run([cli, "-q", "encrypt", "-r", cert, "-"], source, sink), size)
        with open(enc, "rb") as source, open(plain + ".out", "wb") as sink:
            report("mirebolt-cli decrypt, pipe", *run([cli, "-q", "--store", store, "decrypt", "-o", "-", "-"], source, sink), size)
        report("openssl cms -encrypt -aes256 (DER)", *run(["openssl", "cms", "-encrypt", "-binary", "-aes256", "-outform", "DER", "-in", plain, "-out", enc, cert]), size)
        report("openssl cms -decrypt", *run(["openssl", "cms", "-decrypt", "-binary", "-inform", "DER", "-in", enc, "-recip", cert, "-inkey", key, "-out", plain + ".out"]), size)
        report("openssl cms -encrypt -stream (BER)", *run(["openssl", "cms", "-encrypt", "-stream", "-binary", "-aes256", "-outform", "DER", "-in", plain, "-out", enc, cert]), size)
        report("openssl cms -decrypt (of BER)", *run(["openssl", "cms", "-decrypt", "-binary", "-inform", "DER", "-in", enc, "-recip", cert, "-inkey", key, "-out", plain + ".out"]), size)
        for leftover in (plain, enc, plain + ".out"):
            os.remove(leftover)
