#!/usr/bin/env python3
"""The prompts of lockbox on a pseudo-terminal: create's password prompt (a mismatch asks again, three
tries in all, and a weak password is warned about before it is typed again) and extract's overwrite
question, which names the file as a path of this system. Usage: LOCKBOX SCRATCH_DIR"""
import os
import pty
import select
import sys
import time

LOCKBOX, SCRATCH = sys.argv[1], sys.argv[2]


CREATE = ["create", "-q", "--force", "-o", os.path.join(SCRATCH, "p.exe"), os.path.join(SCRATCH, "in")]


def run(answers, args=CREATE, prompt=b"Password"):
    """Runs lockbox, answering each prompt once it has appeared (the prompt flushes typed-ahead
    input); the terminal's text and the exit status."""
    os.makedirs(os.path.join(SCRATCH, "in", "sub"), exist_ok=True)
    with open(os.path.join(SCRATCH, "in", "sub", "a.txt"), "w") as f:
        f.write("alpha\n")
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(LOCKBOX, ["lockbox"] + args)
    text = b""

    def read(until=None, seconds=10.0):
        nonlocal text
        end = time.time() + seconds
        while time.time() < end and (until is None or text.count(prompt) < until):
            if not select.select([fd], [], [], 0.2)[0]:
                if until is None:
                    return
                continue
            try:
                chunk = os.read(fd, 1024)
            except OSError:
                chunk = b""
            if not chunk:
                return
            text += chunk

    for count, answer in enumerate(answers, start=1):
        read(until=count)
        time.sleep(0.1)
        os.write(fd, answer.encode() + b"\n")
    read()
    _, status = os.waitpid(pid, 0)
    return text.decode(errors="replace"), os.WEXITSTATUS(status)


failures = []
text, status = run(["short1", "short2", "a longer password", "not the same", "final password here",
                    "final password here"])
if status != 0 or text.count("differ; type them again") != 2:
    failures.append("two mismatches then a match: want exit 0 and two retries, got %d:\n%s" % (status, text))
if text.find("shorter than 12") > text.find("Password again"):
    failures.append("the weak-password warning must come before the second prompt:\n" + text)
text, status = run(["one password here", "another one here"] * 3)
if status != 1 or "the two passwords differ (" not in text:
    failures.append("three mismatches: want exit 1 and the error, got %d:\n%s" % (status, text))
out = os.path.join(SCRATCH, "out")
extract = ["extract", "-p", "final password here", "-o", out, os.path.join(SCRATCH, "p.exe")]
os.spawnv(os.P_WAIT, LOCKBOX, ["lockbox"] + extract + ["-q"])
text, status = run(["n"], extract, b"Overwrite?")
if status != 0 or "'in/sub/a.txt' exists. Overwrite?" not in text:
    failures.append("the overwrite question names the file as a path here, got %d:\n%s" % (status, text))
for failure in failures:
    print("FAILED:", failure)
print("password prompt: %s" % ("all checks passed" if not failures else "%d checks failed" % len(failures)))
sys.exit(1 if failures else 0)
