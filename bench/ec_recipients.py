#!/usr/bin/env python3
"""Times mirebolt-cli encrypt against openssl cms -encrypt for 1 KB of content to 1, 10 and 100
EC P-256 recipients, in the same run.

The recipients are distinct certificates made for the run. Each figure is the median of
ROUNDS runs, ours and openssl's taking turns, as whole processes: wall seconds and CPU
seconds (user + system), and ours over openssl's. openssl then opens our 100-recipient
message with the first and the last recipient's key alone. The recipients are issued by the
test authority of the fixtures, which Alice's store trusts; ours checks each as it always does.
Usage: ec_recipients.py BUILD [FIXTURES]; BENCH_DIR picks the scratch folder. A missed target still exits 0; a failed run exits 1."""
import os
import statistics
import subprocess
import sys
import tempfile
import time

build = sys.argv[1]
fixtures = sys.argv[2] if len(sys.argv) > 2 else os.path.join(build, "fixtures")
cli = os.path.join(build, "cli", "mirebolt-cli")
ca, ca_key = os.path.join(fixtures, "ca.pem"), os.path.join(fixtures, "ca.key")
store = os.path.join(fixtures, "store-alice")
ROUNDS = 7
COUNTS = (1, 10, 100)
failures = []


def measure(command):
    """Wall and CPU seconds of one run of command, None if it failed."""
    started = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - started
    if os.waitstatus_to_exitcode(status) != 0:
        failures.append(" ".join(command[:4]))
        print(f"  failed: {process.stderr.read().decode(errors='replace')}", file=sys.stderr)
        return None
    process.stderr.close()
    return wall, usage.ru_utime + usage.ru_stime


def median(runs):
    done = [run for run in runs if run]
    return tuple(statistics.median(run[i] for run in done) for i in range(2)) if done else None


def make_recipients(work, count):
    """count P-256 certificates for key agreement with their keys, issued by the fixtures' test
    authority (which the store trusts, so that our checks pass as for real recipients)."""
    extensions = os.path.join(work, "ec.ext")
    with open(extensions, "w") as out:
        out.write("basicConstraints = CA:false\nkeyUsage = critical, keyAgreement\n"
                  "extendedKeyUsage = emailProtection\n")
    made = []
    for i in range(count):
        cert, key = os.path.join(work, f"r{i}.pem"), os.path.join(work, f"r{i}.key")
        request = os.path.join(work, "request.pem")
        subprocess.run(["openssl", "req", "-new", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:P-256", "-nodes", "-keyout", key, "-out", request,
                        "-subj", f"/O=Mirebolt Bench/CN=Recipient {i}"],
                       check=True, capture_output=True)
        subprocess.run(["openssl", "x509", "-req", "-in", request, "-CA", ca, "-CAkey", ca_key,
                        "-set_serial", str(0x7000 + i), "-days", "30", "-extfile", extensions,
                        "-out", cert], check=True, capture_output=True)
        made.append((cert, key))
    return made


def opens(message, cert, key, plain, out):
    run = subprocess.run(["openssl", "cms", "-decrypt", "-binary", "-inform", "DER", "-in",
                          message, "-recip", cert, "-inkey", key, "-out", out],
                         capture_output=True)
    return run.returncode == 0 and open(out, "rb").read() == open(plain, "rb").read()


if not os.access(cli, os.X_OK):
    sys.exit(f"no mirebolt-cli in {build}")
print(f"{cli}: 1 KB to n EC P-256 recipients, median of {ROUNDS} runs, whole processes")
with tempfile.TemporaryDirectory(dir=os.environ.get("BENCH_DIR", "/tmp")) as work:
    recipients = make_recipients(work, max(COUNTS))
    plain = os.path.join(work, "plain")
    with open(plain, "wb") as out:
        out.write(os.urandom(1000))
    ours, theirs = os.path.join(work, "ours.enc"), os.path.join(work, "theirs.p7m")
    results = {}
    for count in COUNTS:
        certs = [cert for cert, _ in recipients[:count]]
        our_command = [cli, "-q", "--store", store, "--yes", "encrypt"]
        for cert in certs:
            our_command += ["-r", cert]
        our_command += ["-o", ours, plain]
        their_command = ["openssl", "cms", "-encrypt", "-binary", "-aes256", "-outform", "DER",
                         "-in", plain, "-out", theirs] + certs
        runs = ([], [])
        for _ in range(ROUNDS):
            for side, (command, output) in enumerate(((our_command, ours),
                                                      (their_command, theirs))):
                if os.path.exists(output):
                    os.remove(output)
                runs[side].append(measure(command))
        results[count] = (median(runs[0]), median(runs[1]))
        if count == max(COUNTS):
            for cert, key in (recipients[0], recipients[count - 1]):
                if not opens(ours, cert, key, plain, os.path.join(work, "opened")):
                    failures.append(f"openssl cms -decrypt with {os.path.basename(key)}")

print(f"{'recipients':>10} | {'mirebolt-cli':^15} | {'openssl cms':^15} | {'ours/openssl':^13}")
print(f"{'':>10} | {'wall s':>7} {'CPU s':>7} | {'wall s':>7} {'CPU s':>7} | {'wall':>6} {'CPU':>6}")
for count, (mine, other) in results.items():
    if not mine or not other:
        print(f"{count:>10} | failed")
        continue
    print(f"{count:>10} | {mine[0]:7.4f} {mine[1]:7.4f} | {other[0]:7.4f} {other[1]:7.4f} | "
          f"{mine[0] / other[0]:6.2f} {mine[1] / other[1]:6.2f}")
mine, other = results[max(COUNTS)]
if mine and other:
    print(f"target: {max(COUNTS)} recipients no slower than openssl (CPU): "
          f"{'ok' if mine[1] <= other[1] else 'MISSED'} ({mine[1] / other[1]:.2f})")
if failures:
    print(f"{len(failures)} runs failed: {failures}", file=sys.stderr)
    sys.exit(1)
