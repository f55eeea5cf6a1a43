#!/usr/bin/env python3
"""Every example of every manual page, as a reader copies it from the page
that man renders: it parses as the shell parses it, each command of ours
takes its words (not a usage error), and each jq filter compiles.

    examples.py PAGE...     (WEBFIND, ANNOUNCER, RESPONDER: the programs)

Our programs run inside a private network namespace (unshare -n) with one
link of its own, for at most two seconds each, never on the machine's
network. Exit 77 when no namespace can be made.
"""
import os
import re
import shlex
import subprocess
import sys

PROGRAMS = {"webfind": "WEBFIND", "webfind-announce": "ANNOUNCER", "webfind-responder": "RESPONDER"}
failures = []


def rendered(page):
    env = dict(os.environ, MANWIDTH="300", MAN_KEEP_FORMATTING="")
    text = subprocess.run(["man", "-l", page], capture_output=True, text=True, env=env).stdout
    return re.sub(r".\x08", "", text)


def examples(text):
    """The example commands: the tag lines of the EXAMPLES section."""
    section = re.search(r"^EXAMPLES\n(.*?)(?=^\S)", text, re.M | re.S)
    return [line.strip() for line in (section.group(1) if section else "").splitlines()
            if re.match(r"^ {7}\S", line)]


def commands(line):
    """The simple commands of a line, split at |, && and ;."""
    lexer = shlex.shlex(line, posix=True, punctuation_chars="|&;")
    lexer.whitespace_split = True
    words, found = [], []
    for word in lexer:
        if word in ("|", "&&", "||", ";", "&"):
            found.append(words)
            words = []
        else:
            words.append(word)
    found.append(words)
    return [w for w in found if w]


def check(page, line):
    try:
        parts = commands(line)
    except ValueError as e:
        failures.append("%s: %s: the shell cannot parse it (%s)" % (page, line, e))
        return
    for words in parts:
        env = {}
        while words and re.match(r"^[A-Z_]+=", words[0]):
            name, value = words.pop(0).split("=", 1)
            env[name] = value
        if words and words[0] == "sudo":
            words.pop(0)
        if not words:
            continue
        if words[0] in PROGRAMS:
            binary = os.environ[PROGRAMS[words[0]]]
            link = ("ip link set lo up && ip link add d0 type veth peer name d1 && ip addr add 10.9.0.1/24 dev d0 && "
                    "ip link set d0 up && ip link set d1 up && exec \"$@\"")
            run = subprocess.run(["unshare", "-n", "sh", "-c", link, "sh", "timeout", "2", "env", "-u", "DISPLAY", "-u",
                                  "WAYLAND_DISPLAY"] + ["%s=%s" % kv for kv in env.items()] + [binary] + words[1:],
                                 stdin=subprocess.DEVNULL, capture_output=True, text=True)
            if run.returncode == 2:
                failures.append("%s: %s: %s refuses its words: %s" % (page, line, words[0], run.stderr.strip()))
        elif words[0] == "jq":
            run = subprocess.run(["jq", "-n"] + words[1:], stdin=subprocess.DEVNULL, capture_output=True, text=True)
            if run.returncode == 3:
                failures.append("%s: %s: the jq filter does not compile: %s" % (page, line, run.stderr.strip()))


if subprocess.run(["unshare", "-n", "true"], capture_output=True).returncode != 0:
    print("SKIP [man examples]: no private network namespace (unshare -n) to run the programs in")
    sys.exit(77)
count = 0
for page in sys.argv[1:]:
    for line in examples(rendered(page)):
        count += 1
        check(os.path.basename(page), line)
for f in failures:
    print("FAIL [man examples]: " + f)
if not failures:
    print("PASS [man examples]: %d examples" % count)
sys.exit(1 if failures else 0)
