#!/usr/bin/python3
# The main window as a screen reader reads it: the real program under Xvfb, on a private
# session bus (run under dbus-run-session), read over AT-SPI.
#   atspi_names.py NORVANE-ADMIN
import os
import subprocess
import sys
import tempfile
import time

import pyatspi

EXPECTED = {  # role -> names that must be among the fields of that role
    "text": {"Port", "Logfile", "Data Directory", "Acct. Directory", "Users File", "Username", "Connection Check"},
    "password text": {"Password", "Verify"},
    "combo box": {"IP Address", "DSN"},
}


def fields(node, found):
    for child in node:
        if child is None:
            continue
        role = child.getRoleName()
        if role in EXPECTED or role == "push button":
            found.setdefault(role, set()).add(child.name)
            if role == "push button" and child.description:
                found.setdefault("description", set()).add(child.description)
        fields(child, found)


def main():
    program = sys.argv[1]
    work = tempfile.mkdtemp(prefix="norvane-atspi-")
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            pass_fds=[write])
    os.close(write)
    display = ":" + os.read(read, 16).decode().strip()
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               NORVANE_REGISTRY=os.path.join(work, "registry.db"), ODBCSYSINI=work,
               ODBCINI=os.path.join(work, "odbc.ini"))
    os.environ["DISPLAY"] = display
    admin = subprocess.Popen([program], env=env)
    try:
        found = {}
        for _ in range(100):  # the window registers with the bus once it is up
            time.sleep(0.2)
            apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None]
            frames = [f for a in apps for f in a
                      if f is not None and f.getRoleName() == "frame" and f.name == "Norvane Administrator"]
            if frames:
                found = {}
                fields(frames[0], found)
                if found.get("text"):
                    break
        failures = [f"{role}: {sorted(names - found.get(role, set()))} missing among {sorted(found.get(role, set()))}"
                    for role, names in EXPECTED.items() if not names <= found.get(role, set())]
        # Neither a frame's title nor an item of a list stands in for a field's name.
        for role in EXPECTED:
            wrong = found.get(role, set()) & {"Authentication", "Accounting", ""}
            if wrong:
                failures.append(f"{role}: named {sorted(wrong)}")
        if not any("authentication" in d for d in found.get("description", set())):
            failures.append(f"no Check button describes its connection: {sorted(found.get('description', set()))}")
        for failure in failures:
            print(failure, file=sys.stderr)
        return 1 if failures else 0
    finally:
        admin.kill()
        admin.wait()
        xvfb.terminate()
        xvfb.wait()


if __name__ == "__main__":
    sys.exit(main())
