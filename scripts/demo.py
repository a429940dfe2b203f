#!/usr/bin/python3
"""Starts the program beside a demo FTP server on loopback.

The server (pyftpdlib, the tests' launcher) serves a writable sample tree in a
temporary folder; the program runs with a program folder of its own (the
build's "demo" folder), whose site list holds "Demo server (loopback)" for it.
The left pane opens in a sample local folder beside it. The user's own site
lists and options are never read or written. When the
program exits, the server stops and the sample tree is removed.

  demo.py PROGRAM [BUILD_FOLDER]   run the program beside the server
  demo.py --serve-only FOLDER      no program: print "ready <port> <tree>"
                                   and serve until stdin closes (for tests)
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
LAUNCHER = os.path.join(HERE, "..", "tests", "support", "pyftpd_server.py")
SITE_NAME = "Demo server (loopback)"
USER = PASSWORD = "demo"


def make_sample_tree(root):
    """Folders three levels deep, names with blanks and UTF-8, a few MB."""
    files = {
        "README.txt": b"Welcome to the demo server. Everything here may be changed.\n",
        "docs/guide.txt": b"Drag files between the panes to move them.\n" * 200,
        "docs/  leading and trailing blanks  .txt": b"a name with blanks at both ends\n",
        "docs/r\u00e9sum\u00e9 \u00fcber \u65e5\u672c.txt": "UTF-8 names\n".encode(),
        "pictures/holiday 2026/beach.raw": bytes(range(256)) * 8192,  # 2 MiB
        "pictures/holiday 2026/notes/day one.txt": b"sun\n" * 1000,
        "software/linux/tools/archive.bin": os.urandom(1024 * 1024),
        "software/linux/tools/checksums.txt": b"none yet\n",
    }
    for path, data in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(data)
    os.makedirs(os.path.join(root, "upload here"), exist_ok=True)
    os.makedirs(os.path.join(root, "empty/deeper/deepest"), exist_ok=True)


def make_local_tree(root):
    """What the left pane shows first: something to upload."""
    files = {
        "to upload/hello.txt": b"Hello from the local computer.\n",
        "to upload/photos/sunset.raw": bytes(range(256)) * 4096,  # 1 MiB
        "to upload/photos/empty album/.keep": b"",
        "notes.txt": b"Select files or folders on either side and drag them across.\n",
    }
    for path, data in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(data)


def set_start_folder(folder, local):
    """The left pane opens in `local`: the one key of the demo's options it sets."""
    path = os.path.join(folder, "options.ftp")
    lines = []
    if os.path.exists(path):
        with open(path, "rb") as old:
            lines = [l for l in old.read().splitlines() if not l.startswith(b"IniPath=")]
    if b"[Common]" not in lines:
        lines.insert(0, b"[Common]")
    lines.insert(lines.index(b"[Common]") + 1, b"IniPath=" + local.encode())
    with open(path, "wb") as out:
        out.write(b"\n".join(lines) + b"\n")


def write_site_list(folder, port):
    scrambled = bytes(b ^ 0xF6 for b in PASSWORD.encode()).hex().upper()
    line = ("Name=%s;Server=127.0.0.1;Port=%d;PasswordHex=%s;User=%s;Anonymous=0;"
            "SavePassword=1;Pasv=1;Description=The sample tree of the demo run\n"
            % (SITE_NAME, port, scrambled, USER))
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "ftplist.TXT")
    # Sites the user added to the demo's list stay; the demo's own gets its new port.
    kept = []
    if os.path.exists(path):
        with open(path, "rb") as old:
            kept = [l for l in old.read().splitlines(keepends=True)
                    if not l.startswith(("Name=%s;" % SITE_NAME).encode())]
    with open(path, "wb") as out:
        out.write(line.encode() + b"".join(kept))


def start_server(root):
    server = subprocess.Popen(
        [LAUNCHER, "--root", root, "--user", USER, "--password", PASSWORD],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    first = server.stdout.readline().split()
    if len(first) != 2 or first[0] != "ready":
        server.kill()
        raise SystemExit("demo: the FTP server did not start: %s" % " ".join(first))
    return server, int(first[1])


def main(argv):
    serve_only = len(argv) >= 2 and argv[0] == "--serve-only"
    if not serve_only and not argv:
        print(__doc__, file=sys.stderr)
        return 2
    if serve_only:
        folder = os.path.abspath(argv[1])
    else:
        build = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(argv[0]))
        folder = os.path.join(os.path.abspath(build), "demo")
    temp = tempfile.mkdtemp(prefix="corvane-demo-")
    server = None
    try:
        root = os.path.join(temp, "ftp-root")
        make_sample_tree(root)
        local = os.path.join(temp, "local files")
        make_local_tree(local)
        server, port = start_server(root)
        write_site_list(folder, port)
        set_start_folder(folder, local)
        if serve_only:
            print("ready %d %s" % (port, root), flush=True)
            sys.stdin.buffer.read()
            return 0
        print("demo: FTP server on 127.0.0.1:%d serving %s; user %s, password %s"
              % (port, root, USER, PASSWORD), flush=True)
        return subprocess.call([argv[0], "--program-folder", folder])
    finally:
        if server is not None:
            server.stdin.close()
            try:
                server.wait(timeout=5)
            except subprocess.TimeoutExpired:
                server.kill()
        shutil.rmtree(temp, ignore_errors=True)


if __name__ == "__main__":
    # A terminated demo still stops its server and removes its tree.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        sys.exit(main(sys.argv[1:]))
    except KeyboardInterrupt:
        sys.exit(130)
