#!/usr/bin/python3
# The main window as a screen reader reads it: the real program under Xvfb, on a private
# session bus (run under dbus-run-session), read over AT-SPI.   atspi_names.py NORVANE-ADMIN
import os, subprocess, sys, tempfile, time
import pyatspi

WANTED = {"text": {"Port", "Logfile", "Data Directory", "Users File", "Username", "Connection Check", "Clients file"},
          "password text": {"Password", "Verify"}, "combo box": {"IP Address", "DSN"}}


def names(node, found):
    for child in filter(None, node):
        found.setdefault(child.getRoleName(), set()).add(child.description or child.name)
        names(child, found)
    return found


work = tempfile.mkdtemp()
read, write = os.pipe()
xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp"], pass_fds=[write])
os.environ["DISPLAY"] = ":" + os.read(read, 16).decode().strip()
admin = subprocess.Popen([sys.argv[1]], env=dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                                                 NORVANE_REGISTRY=work + "/registry.db", ODBCSYSINI=work,
                                                 ODBCINI=work + "/odbc.ini"))
found = {}
for _ in range(100):  # until the window has registered with the bus
    time.sleep(0.2)
    frames = [f for a in filter(None, pyatspi.Registry.getDesktop(0)) for f in filter(None, a)
              if f.getRoleName() == "frame" and f.name == "Norvane Administrator"]
    if frames and names(frames[0], found).get("text"):
        break
admin.kill()
xvfb.terminate()
# Every wanted name is there, and no field goes by a frame's title or by no name at all.
failures = [f"{role}: {sorted(want - found.get(role, set()))} missing, {sorted(found.get(role, set()))} found"
            for role, want in WANTED.items() if not want <= found.get(role, set())]
failures += [f"{role} named {sorted(found.get(role, set()) & {'Authentication', 'Accounting', ''})}" for role in WANTED
             if found.get(role, set()) & {"Authentication", "Accounting", ""}]
if not any("authentication data source" in n for n in found.get("push button", set())):
    failures.append("no Check button says which connection it checks")
print("\n".join(failures), file=sys.stderr)
sys.exit(1 if failures else 0)
