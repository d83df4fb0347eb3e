"""A packed launcher signed afterwards: its stream must still be found (it lies behind the last section,
before the signature), and packing the signed launcher again must drop the old stream and signature.

Usage: signed_launcher_test.py <broltpack>. Exits 77 (skipped) when a needed tool is missing."""

import os
import re
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
# A small Windows program from the Wine of either word size the machine has.
WINE_STUBS = ("/usr/lib/i386-linux-gnu/wine/i386-windows/hostname.exe",
              "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/hostname.exe")


def run(*args, check=True):
    result = subprocess.run(args, capture_output=True, text=True)
    if check and result.returncode != 0:
        sys.exit(f"FAIL: {' '.join(args)} exited {result.returncode}\n{result.stdout}{result.stderr}")
    return result


def expect(condition, message):
    if not condition:
        sys.exit("FAIL: " + message)


def make_stub(work):
    for stub in WINE_STUBS:
        if os.path.exists(stub):
            return stub
    compiler = shutil.which("i686-w64-mingw32-gcc")
    if not compiler:
        return None
    source = os.path.join(work, "stub.c")
    with open(source, "w") as f:
        f.write("int main(void) { return 0; }\n")
    stub = os.path.join(work, "stub.exe")
    run(compiler, "-o", stub, source)
    return stub


def main():
    broltpack = sys.argv[1]
    for tool in ("openssl", "osslsigncode"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is not installed")
            return SKIP
    with tempfile.TemporaryDirectory(prefix="broltpack-sign-") as work:
        stub = make_stub(work)
        if stub is None:
            print("skipped: no Windows executable to use as stub")
            return SKIP
        path = lambda name: os.path.join(work, name)
        with open(path("notes.txt"), "w") as f:
            f.write("included")
        with open(path("app.toml"), "w") as f:
            f.write('[service]\nname = "SignedSvc"\n[include]\nfiles = ["notes.txt"]\n')
        with open(path("again.toml"), "w") as f:
            f.write('[service]\nname = "Again"\n[include]\nruntime = false\n')

        run(broltpack, "pack", "--stub", stub, "--config", path("app.toml"), "-o", path("packed.exe"))
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=brolt test",
            "-keyout", path("key.pem"), "-out", path("cert.pem"))
        run("osslsigncode", "sign", "-certs", path("cert.pem"), "-key", path("key.pem"), "-n", "brolt test",
            "-in", path("packed.exe"), "-out", path("signed.exe"))
        run("osslsigncode", "extract-signature", "-in", path("signed.exe"), "-out", path("signature.der"))
        packed_size = os.path.getsize(path("packed.exe"))
        signed_size = os.path.getsize(path("signed.exe"))
        expect(signed_size > packed_size, "signing did not add a signature")

        listing = run(broltpack, "inspect", path("signed.exe")).stdout
        expect('  101 service.name = "SignedSvc"\n' in listing, "record missing in\n" + listing)
        expect('  "notes.txt" 8 bytes at offset ' in listing, "included file missing in\n" + listing)
        marker = re.search(r"^end marker at offset (\d+)$", listing, re.M)
        expect(marker is not None and int(marker.group(1)) + 8 <= packed_size,
               "end marker not before the signature in\n" + listing)
        expect(f"file size {signed_size}\n" in listing, "file size missing in\n" + listing)

        # Re-packing the signed launcher gives exactly what packing the plain stub gives.
        run(broltpack, "pack", "--stub", path("signed.exe"), "--config", path("again.toml"), "-o", path("re.exe"))
        run(broltpack, "pack", "--stub", stub, "--config", path("again.toml"), "-o", path("fresh.exe"))
        with open(path("re.exe"), "rb") as a, open(path("fresh.exe"), "rb") as b:
            expect(a.read() == b.read(), "re-packed launcher differs from a fresh one")
        gone = run("osslsigncode", "extract-signature", "-in", path("re.exe"), "-out", path("none.der"), check=False)
        expect(gone.returncode != 0, "the re-packed launcher still carries a signature")
        listing = run(broltpack, "inspect", path("re.exe")).stdout
        expect('  101 service.name = "Again"\n' in listing and "included files: 0\n" in listing,
               "re-packed stream wrong:\n" + listing)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
