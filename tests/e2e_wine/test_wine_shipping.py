"""The Windows executables as they are shipped: their version resource,
which libraries they load and from where, that they hold nothing of the
machine that built them, and that a signed copy verifies and still works.

The libraries a program loads are seen in Wine's loader trace
(WINEDEBUG=+loaddll), with Wine told to prefer a library file over its
built-in one (WINEDLLOVERRIDES=...=n,b), so that a planted file would be
taken wherever the search reached it."""

import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest

import wine_harness as wine
from harness import StatusServer, build_version, job_args
from test_deploy import UPDATE_ID
from test_reminder import QUERY_FAILED, SUCCESS, USER_START
from test_wine_reminder import ERROR_NO_TOKEN, TRAY_ARGS

# Libraries that Windows maps from its list of known DLLs (the registry's
# KnownDLLs), never from a folder it searches: the only ones the executables
# may name in their import tables. Any other one is delay-loaded, after the
# entry point has limited the search to the system folder.
KNOWN_DLLS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shlwapi.dll",
              "user32.dll", "ws2_32.dll", "gdi32.dll", "rpcrt4.dll", "shell32.dll"}
# Libraries the worker loads after its start, by name.
LOADED_BY_NAME = ("wtsapi32.dll", "userenv.dll", "crypt32.dll")
FILE_VERSION = os.path.join(wine.STANDINS, "file_version.exe")
SOURCE_ROOT = os.path.realpath(os.path.join(wine.HERE, "..", ".."))
SIGN = os.path.join(SOURCE_ROOT, "scripts", "sign-windows")


def setUpModule():
    wine.start_wine()


def tearDownModule():
    wine.stop_wine()


def imported_dlls(exe):
    out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], stdout=subprocess.PIPE, check=True).stdout
    return {name.lower() for name in re.findall(r"DLL Name: (\S+)", out.decode())}


def loaded_paths(trace):
    """The files Wine's loader trace names as loaded, lower case, one
    backslash a separator."""
    return [path.replace("\\\\", "\\").lower() for path in re.findall(r'Loaded L"([^"]+)"', trace)]


class VersionTest(unittest.TestCase):
    def test_both_executables_carry_the_builds_version(self):
        version = build_version(wine.BUILD)
        for exe, description in ((wine.WORKER, "Patch-deployment worker"),
                                 (wine.LOOKUP, "Result-code lookup for support staff")):
            with self.subTest(os.path.basename(exe)):
                # Read through the system's own calls, as the file's
                # properties and inventory tools read it.
                code, out = wine.run_plain(FILE_VERSION, [wine.windows_path(exe)])
                self.assertEqual(code, 0, "no version resource")
                fields = dict(line.split("=", 1) for line in out.decode("utf-8").splitlines())
                self.assertEqual(fields, {
                    "fixed FileVersion": version + ".0",
                    "fixed ProductVersion": version + ".0",
                    "FileVersion": version,
                    "ProductVersion": version,
                    "OriginalFilename": os.path.basename(exe),
                    "InternalName": os.path.basename(exe),
                    "FileDescription": description,
                    "ProductName": "Veltrane ORV Patch Deployment",
                    "CompanyName": "Veltrane",
                    "LegalCopyright": "Copyright (C) Veltrane. All rights reserved.",
                })
        self.assertEqual(wine.run_plain(wine.LOOKUP, ["--version"]),
                         (0, b"errorcode_lookup " + version.encode() + b"\r\n"))


def pe_time_stamp(image):
    """The TimeDateStamp of the PE file header, which follows the "PE" mark
    and the machine and section count."""
    header = struct.unpack_from("<I", image, 0x3C)[0]
    assert image[header:header + 4] == b"PE\0\0"
    return struct.unpack_from("<I", image, header + 8)[0]


class BuildTraceTest(unittest.TestCase):
    def test_no_folder_or_time_of_the_build_in_the_executables(self):
        # The folders as the compiler, the linker or a script could have
        # written them: as they are, with links resolved, as Windows (Wine's
        # drive Z:) shows them, in narrow and in UTF-16 text, and made into a
        # symbol name (as dlltool names an import library's symbols).
        folders = {os.path.abspath(wine.BUILD), os.path.realpath(wine.BUILD), SOURCE_ROOT,
                   os.path.abspath(os.path.join(wine.HERE, "..", ".."))}
        texts = set()
        for folder in folders:
            for text in (folder, wine.windows_path(folder)):
                texts.update({text.encode(), text.encode("utf-16-le")})
            texts.add(re.sub(r"[^A-Za-z0-9]", "_", folder).encode())
        for exe in (wine.WORKER, wine.LOOKUP):
            with self.subTest(os.path.basename(exe)):
                with open(exe, "rb") as f:
                    image = f.read()
                self.assertEqual([text for text in texts if text in image], [])
                self.assertEqual(pe_time_stamp(image), 0)


def openssl(*args, cwd):
    subprocess.run(["openssl"] + list(args), cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def throwaway_ca(folder, name):
    """A self-signed CA made for this test alone: name.pem, name.key."""
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".pem",
            "-days", "2", "-subj", "/CN=Throwaway %s" % name, "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign", cwd=folder)


def verify(exe, ca):
    proc = subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", exe], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    return proc.returncode, proc.stdout.decode("utf-8", "replace")


class SignatureTest(unittest.TestCase):
    def test_signed_copy_verifies_and_reports(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        folder = tmp.name
        throwaway_ca(folder, "ca")
        throwaway_ca(folder, "other-ca")
        with open(os.path.join(folder, "signing.ext"), "w") as f:
            f.write("basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                    "extendedKeyUsage=codeSigning\n")
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signing.key", "-out", "signing.csr", "-subj",
                "/CN=Throwaway code signing", cwd=folder)
        openssl("x509", "-req", "-in", "signing.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                "-days", "2", "-extfile", "signing.ext", "-out", "signing.pem", cwd=folder)
        exe = os.path.join(folder, "patch_worker.exe")
        shutil.copy(wine.WORKER, exe)
        with open(exe, "rb") as f:
            unsigned = f.read()

        def sign(cert, key):
            return subprocess.run([SIGN, cert, key, exe], cwd=folder, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL).returncode

        # A key that is not the certificate's signs nothing and leaves the
        # file as it was.
        self.assertNotEqual(sign("signing.pem", "other-ca.key"), 0)
        with open(exe, "rb") as f:
            self.assertEqual(f.read(), unsigned)
        self.assertEqual(os.listdir(folder).count("patch_worker.exe"), 1)
        self.assertEqual([name for name in os.listdir(folder) if ".signing." in name], [])

        self.assertEqual(sign("signing.pem", "signing.key"), 0)
        code, out = verify(exe, os.path.join(folder, "ca.pem"))
        self.assertEqual(code, 0, out)
        self.assertIn("Signature verification: ok", out)
        self.assertIn("Message digest algorithm  : SHA256", out)
        # No time stamp unless asked for: nothing went out to the network.
        self.assertIn("Timestamp is not available", out)
        # A signature is only as good as the CA it leads to.
        self.assertNotEqual(verify(exe, os.path.join(folder, "other-ca.pem"))[0], 0)

        # The signed copy still runs a job that reports.
        wine.map_drive_with_installed_update(self)
        with StatusServer() as server:
            run = wine.run_windows(exe, job_args(server.port, update_id=UPDATE_ID, drive=wine.DRIVE))
        self.assertTrue(run.text.endswith("ReleasePatchDeployPointers - ExitSuccess"), run.text)
        self.assertEqual(len(server.requests), 1)


class LibrarySearchTest(unittest.TestCase):
    def traced_run(self, worker, args, text, cwd):
        """Runs the worker until its console holds text, with the loader
        trace; returns the console text and the loaded files."""
        overrides = ",".join(name[:-4] for name in LOADED_BY_NAME) + "=n,b"
        env = wine.wine_environment({"WINEDEBUG": "+loaddll", "WINEDLLOVERRIDES": "mscoree,mshtml=;" + overrides})
        with tempfile.TemporaryFile() as trace:
            proc = subprocess.Popen([wine.wine_tool("wine64"), worker] + args, stdout=subprocess.PIPE, stderr=trace,
                                    stdin=subprocess.DEVNULL, env=env, cwd=cwd)
            try:
                console = wine.read_until(proc, text)
            finally:
                proc.kill()
                proc.wait()
                proc.stdout.close()
            trace.seek(0)
            return console, loaded_paths(trace.read().decode("utf-8", "replace"))

    def test_libraries_come_from_the_system_folder_only(self):
        for exe in (wine.WORKER, wine.LOOKUP):
            with self.subTest(imports=os.path.basename(exe)):
                self.assertLessEqual(imported_dlls(exe), KNOWN_DLLS)

        # A copy of the worker in a folder, started from another one, both
        # holding a file of each name the worker loads by name: the stand-in
        # library of a machine without a logged-on user, whose token query
        # fails with ERROR_NO_TOKEN.
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        program_folder = os.path.join(tmp.name, "program")
        current_folder = os.path.join(tmp.name, "current")
        for folder in (program_folder, current_folder):
            os.makedirs(folder)
            for name in LOADED_BY_NAME:
                shutil.copy(wine.NO_USER_WTSAPI32, os.path.join(folder, name))
        worker = os.path.join(program_folder, "patch_worker.exe")
        shutil.copy(wine.WORKER, worker)
        # Only the system folder's libraries and the simulated update agent
        # that COM loads by its registered full path (the trace also names
        # the programs: the worker and the tray program it starts).
        sim_server = wine.windows_path(wine.SIM_SERVER).lower()

        def outside_system_folder(loaded):
            return [path for path in loaded if path.endswith(".dll") and path != sim_server
                    and not path.startswith("c:\\windows\\system32\\")]

        drive = tempfile.TemporaryDirectory()
        self.addCleanup(drive.cleanup)
        tray_folder = os.path.join(drive.name, "ORV", "PatchTray")
        os.makedirs(tray_folder)
        shutil.copy(os.path.join(wine.STANDINS, "VeltraneORVTray.exe"), tray_folder)
        wine.map_drive(drive.name)
        with self.subTest("reminder"):
            console, loaded = self.traced_run(worker, TRAY_ARGS, SUCCESS.replace("\n", "\r\n"), current_folder)
            self.assertIn(USER_START.replace("\n", "\r\n"), console)
            self.assertNotIn(QUERY_FAILED % ERROR_NO_TOKEN, console.replace("\r\n", "\n"))
            self.assertIn("c:\\windows\\system32\\wtsapi32.dll", loaded)
            self.assertEqual(outside_system_folder(loaded), [])

        wine.map_drive_with_installed_update(self)
        with self.subTest("https job"), StatusServer(tls=True) as server:
            console, loaded = self.traced_run(
                worker, job_args(server.port, transport="1", update_id=UPDATE_ID, drive=wine.DRIVE),
                "ReleasePatchDeployPointers - ExitSuccess", current_folder)
            self.assertTrue(console.endswith("ReleasePatchDeployPointers - ExitSuccess"), console)
            self.assertEqual(len(server.requests), 1)
            self.assertEqual(outside_system_folder(loaded), [])


if __name__ == "__main__":
    unittest.main()
