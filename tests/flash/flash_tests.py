#!/usr/bin/env python3
"""tessfold-flash under Wine against the simulated service: the i686 program
under 32-bit Wine (--arch win32, the default), the x86_64 one under wine64.

The program runs as a user runs it, in a Wine prefix of its own where the
simulated service's COM server is registered; players are folders made by
each test, faults come from TESSFOLD_SIM_FAULTS. Signed images are made with
the native tessfold-image (scripts/make-sample-images).

  flash_tests.py --exe tessfold-flash.exe --dll tfsimwmdm.dll --work DIR
                 --version X.Y.Z [--image-tool TOOL] [NAME...: only tests whose id holds NAME]
  flash_tests.py --dll tfsimwmdm.dll --work DIR --version X.Y.Z (--dist ARCHIVE.zip | --pack BUILD_DIR)
"""
import argparse
import hashlib
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zipfile
from pathlib import Path

TOP = Path(__file__).resolve().parents[2]
WINE = None  # the loader for --arch, set in main
WINESERVER = "/usr/lib/wine/wineserver"
LOADERS = {"win32": os.environ.get("TF_WINE32", "/usr/lib/wine/wine"),
           "win64": os.environ.get("TF_WINE64", "/usr/lib/wine/wine64")}
CLASS_KEY = r"HKCR\CLSID\{25BAAD81-3560-11D3-8471-00C04F79DBC0}\InprocServer32"
SKIP = 77  # ctest's skip code for this suite

ARGS = None  # the parsed command line


def wine_env(extra=None):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(Path(ARGS.work) / "wineprefix"),
        "WINEARCH": ARGS.arch,
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        # Arguments reach the program through the locale's encoding.
        "LC_ALL": "C.UTF-8",
    })
    env.pop("DISPLAY", None)
    env.update(extra or {})
    return env


def windows_path(path):
    """The path as a Windows program names it (Wine's Z: drive is /)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def set_up_prefix(dll):
    """A 32-bit prefix with the service's COM server registered in it."""
    env = wine_env()
    Path(env["WINEPREFIX"]).mkdir(parents=True, exist_ok=True)
    # One server for the whole run, so that each start does not pay for one.
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-p30"], env=env, check=False, **quiet)
    subprocess.run([WINE, "wineboot", "-i"], env=env, check=False, timeout=600, **quiet)
    register(dll)


def wine(args, env, timeout=120, cwd=None):
    """Runs a Wine program; its output is read from files, not pipes, because
    the prefix's service processes that Wine may start inherit its handles and
    would hold a pipe open long after the program ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        p = subprocess.run([WINE] + [str(a) for a in args], env=env, stdin=subprocess.DEVNULL, stdout=out,
                           stderr=err, timeout=timeout, cwd=cwd)
        out.seek(0)
        err.seek(0)
        return p.returncode, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")


def register(dll, unregister=False):
    env = wine_env({"TESSFOLD_SIM_FORCE_REGISTER": "1"})
    args = ["regsvr32", "/s"] + (["/u"] if unregister else []) + [windows_path(dll)]
    wine(args, env)
    _, listed, _ = wine(["reg", "query", CLASS_KEY], env)
    registered = windows_path(dll).lower() in listed.lower()
    if registered == unregister:
        raise RuntimeError("%s of %s did not take" % ("unregistration" if unregister else "registration", dll))


def run(exe, args, players=None, faults="", timeout=120):
    env = wine_env({"TESSFOLD_SIM_PLAYERS": str(players or "/nonexistent"), "TESSFOLD_SIM_FAULTS": faults})
    return wine([exe] + list(args), env, timeout)


def add_player(players, ident, make="Corvane", name="ZR-410", version=0x00010002, ready=True,
               storages=(("Internal Storage", True),)):
    folder = Path(players) / ident
    folder.mkdir(parents=True)
    lines = ["manufacturer = %s" % make, "name = %s" % name, "version = 0x%08X" % version,
             "ready = %s" % ("yes" if ready else "no")]
    for storage, storage_ready in storages:
        (folder / storage).mkdir()
        lines += ["[storage]", "folder = %s" % storage, "ready = %s" % ("yes" if storage_ready else "no")]
    # Written last and at once: the service must never see half a description.
    tmp = folder / "player.ini.tmp"
    tmp.write_text("\n".join(lines) + "\n", encoding="utf-8")
    tmp.rename(folder / "player.ini")
    return folder


def snapshot(root):
    """Every file below root with its content's digest."""
    result = {}
    for path in sorted(Path(root).rglob("*")):
        if path.is_file() and path.name != "player.ini":
            result[str(path.relative_to(root))] = hashlib.sha256(path.read_bytes()).hexdigest()
    return result


class FlashTest(unittest.TestCase):
    images = None  # folder of sample images, or None without the native tool

    @classmethod
    def setUpClass(cls):
        cls.exe = Path(ARGS.exe).resolve()

    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="tf_flash_", dir=ARGS.work))
        self.players = self.dir / "players"
        self.players.mkdir()

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def image(self, name):
        if FlashTest.images is None:
            self.skipTest("no native tessfold-image with signing to make signed images")
        return FlashTest.images / name

    def flash(self, *args, faults="", timeout=120):
        return run(self.exe, list(args), self.players, faults, timeout)

    def assertExit(self, result, code, text, stream="err"):
        rc, out, err = result
        self.assertEqual(rc, code, "exit code; stdout: %r stderr: %r" % (out, err))
        self.assertIn(text, err if stream == "err" else out)


class Listing(FlashTest):
    def test_list_shows_the_players_of_the_folder(self):
        add_player(self.players, "a", storages=(("Internal Storage", True), ("Card", False)))
        add_player(self.players, "b", name="ZR-410 spare", version=7, ready=False)
        rc, out, err = self.flash("list")
        self.assertEqual(rc, 0, err)
        self.assertIn("Corvane\tZR-410\tversion 0x00010002\tready", out)
        self.assertIn('storage "Internal Storage"\tready', out)
        self.assertIn('storage "Card"\tnot ready', out)
        self.assertIn("Corvane\tZR-410 spare\tversion 0x00000007\tbusy", out)

        rc, out, err = self.flash("list", "--json")
        self.assertEqual(rc, 0, err)
        listed = json.loads(out)
        self.assertEqual([p["name"] for p in listed["players"]], ["ZR-410", "ZR-410 spare"])
        self.assertEqual(listed["players"][0]["storages"],
                         [{"name": "Internal Storage", "ready": True}, {"name": "Card", "ready": False}])
        self.assertEqual([p["ready"] for p in listed["players"]], [True, False])

    def test_no_players_is_no_failure(self):
        rc, out, _ = self.flash("list")
        self.assertEqual((rc, out), (0, "No players connected.\n"))


class Sending(FlashTest):
    def test_signed_os_image_lands_as_nk_bin_byte_identical(self):
        folder = add_player(self.players, "a")
        os_image = self.image("os.bin")
        rc, out, err = self.flash("send", "--kind", "os", windows_path(os_image))
        self.assertEqual(rc, 0, err)
        self.assertIn("as NK.bin", out)
        self.assertEqual((folder / "Internal Storage" / "NK.bin").read_bytes(), os_image.read_bytes())
        self.assertEqual(err, "", "no progress line when standard error is not a console")

    def test_progress_line_on_a_console(self):
        if shutil.which("script") is None:
            self.skipTest("no script(1) to give the program a terminal")
        add_player(self.players, "a")
        command = " ".join(shlex.quote(a) for a in [WINE, str(self.exe), "send", "--kind", "os",
                                                     windows_path(self.image("os.bin"))])

        def on_a_terminal(faults):
            env = wine_env({"TESSFOLD_SIM_PLAYERS": str(self.players), "TESSFOLD_SIM_FAULTS": faults})
            with tempfile.TemporaryFile() as out:
                p = subprocess.run(["script", "-qec", command, "/dev/null"], env=env, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=subprocess.STDOUT, timeout=120)
                out.seek(0)
                return p.returncode, out.read().decode("utf-8", "replace")

        rc, text = on_a_terminal("chunk=262144")
        self.assertEqual(rc, 0, text)
        self.assertIn("Writing  50%  786432 of 1572864 bytes", text)
        self.assertIn("Writing 100%  1572864 of 1572864 bytes", text)
        self.assertIn("Verifying 100%  1572864 of 1572864 bytes", text)
        self.assertIn("KiB/s", text)
        # A copy that fails half-way ends its line as failed, never at 100%.
        rc, text = on_a_terminal("chunk=262144,insert-fail")
        self.assertEqual(rc, 1, text)
        self.assertIn("Writing FAILED at 50%", text, text[-600:])
        self.assertNotIn("Writing 100%", text)

    def test_json_verdict_of_a_send(self):
        add_player(self.players, "a")
        rc, out, err = self.flash("send", "--kind", "recovery", windows_path(self.image("recovery.bin")), "--json")
        self.assertEqual(rc, 0, err)
        verdict = json.loads(out)
        self.assertTrue(verdict["ok"] and verdict["sent"] and verdict["accepted"])
        self.assertEqual((verdict["destination"], verdict["trustLevel"], verdict["sizeWindow"]),
                         ("Recovery.bin", "ODM", "inside"))

    def test_font_from_a_wide_character_path_lands_under_its_own_name(self):
        folder = add_player(self.players, "a")
        source = self.dir / "Schriften äöü 字体" / "Шрифт Ω.ttf"
        source.parent.mkdir()
        source.write_bytes(b"\x00\x01\x00\x00 a font that is no image" * 50)
        rc, out, err = self.flash("send", "--kind", "font", windows_path(source))
        self.assertEqual(rc, 0, err)
        self.assertEqual((folder / "Internal Storage" / "Шрифт Ω.ttf").read_bytes(), source.read_bytes())

    def test_refused_files_end_with_1_and_leave_the_player_untouched(self):
        cases = [
            ("tampered image", "os", "tampered-os.bin", {}, "the image is refused: the signature check failed"),
            ("image for another model", "os", "os.bin", {"name": "ZR-500"},
             "the image is refused: device model mismatch"),
            ("recovery image sent as OS image", "os", "recovery.bin", {}, "outside the os window (at least 0x180000"),
            ("a font as OS image", "os", "CorvaneSans.ttf", {}, "is not a ROM image"),
        ]
        for what, kind, name, player, message in cases:
            with self.subTest(what):
                shutil.rmtree(self.players)
                self.players.mkdir()
                add_player(self.players, "a", **player)
                before = snapshot(self.players)
                rc, out, err = self.flash("send", "--kind", kind, windows_path(self.image(name)))
                self.assertEqual(rc, 1, err)
                self.assertIn(message, err)
                self.assertEqual(snapshot(self.players), before)

    def test_refusal_shows_the_acceptance_lines_and_json_carries_them(self):
        add_player(self.players, "a", name="ZR-500")
        rc, out, err = self.flash("send", "--kind", "os", windows_path(self.image("os.bin")))
        self.assertEqual(rc, 1)
        self.assertGreater(len(err.strip().splitlines()), 1, "acceptance lines before the reason")
        rc, out, err = self.flash("send", "--kind", "os", windows_path(self.image("os.bin")), "--json")
        verdict = json.loads(out)
        self.assertEqual((rc, verdict["ok"], verdict["sent"], verdict["exitCode"]), (1, False, False, 1))
        self.assertIn("device model mismatch", verdict["error"])
        self.assertTrue(verdict["lines"])

    def test_player_and_service_failures(self):
        os_image = "os.bin"
        cases = [
            # what, players, faults, args, exit code, message
            ("busy player", [dict(ready=False)], "", [], 1, "is busy"),
            ("no ready storage", [dict(storages=(("Internal Storage", False), ("Card", False)))], "", [], 1,
             "has no ready storage"),
            ("copy fails half-way", [{}], "insert-fail", [], 1,
             "the copy failed: the player reported a failure of the device (a cable, port or storage fault) "
             "(0x8007001F)"),
            ("player pulled out", [{}], "remove-during-transfer", [], 1,
             "the copy failed: the player was disconnected (0x8007048F)"),
            ("authentication refused", [{}], "reject-auth", [], 2, "refused the authentication handshake"),
            ("service certificate refused here", [{}], "channel-foreign-cert", [], 2,
             "the device service's certificate did not verify: this program refused to work with it"),
            ("no player", [], "", [], 1, "no player is connected"),
            ("several players, no --player", [{}, dict(name="ZR-410 spare")], "", [], 2,
             "several players are connected (ZR-410, ZR-410 spare)"),
            ("unknown --player", [{}], "", ["--player", "ZR-999"], 1, "no player named 'ZR-999'"),
        ]
        for what, players, faults, extra, code, message in cases:
            with self.subTest(what):
                shutil.rmtree(self.players)
                self.players.mkdir()
                for i, player in enumerate(players):
                    add_player(self.players, "p%d" % i, **player)
                before = snapshot(self.players)
                result = self.flash("send", "--kind", "os", windows_path(self.image(os_image)), *extra,
                                    faults=faults)
                self.assertExit(result, code, message)
                self.assertEqual(snapshot(self.players), before, "nothing written, nothing left behind")
                rc, out, _ = self.flash("send", "--kind", "os", windows_path(self.image(os_image)), "--json",
                                        *extra, faults=faults)
                self.assertEqual((rc, json.loads(out)["exitCode"]), (code, code))
                self.assertIn(message, json.loads(out)["error"])

    def test_player_chooses_among_several(self):
        add_player(self.players, "a", name="ZR-410 spare")
        second = add_player(self.players, "b")
        rc, _, err = self.flash("send", "--kind", "bootloader", windows_path(self.image("bootloader.bin")),
                                "--player", "ZR-410")
        self.assertEqual(rc, 0, err)
        self.assertEqual(os.listdir(second / "Internal Storage"), ["EBoot.bin"])
        self.assertEqual(os.listdir(self.players / "a" / "Internal Storage"), [])

    def test_wait_sees_a_player_plugged_in_while_it_waits(self):
        plug = threading.Timer(3.0, lambda: add_player(self.players, "late"))
        plug.start()
        try:
            start = time.monotonic()
            rc, out, err = self.flash("send", "--kind", "os", windows_path(self.image("os.bin")), "--wait", "60")
        finally:
            plug.cancel()
        self.assertEqual(rc, 0, err)
        self.assertLess(time.monotonic() - start, 50)
        self.assertTrue((self.players / "late" / "Internal Storage" / "NK.bin").is_file())
        # Without a player the wait ends with "no player".
        shutil.rmtree(self.players / "late")
        start = time.monotonic()
        self.assertExit(self.flash("send", "--kind", "os", windows_path(self.image("os.bin")), "--wait", "2"), 1,
                        "no player is connected")
        self.assertGreaterEqual(time.monotonic() - start, 2)


def sha1_of(path):
    return hashlib.sha1(Path(path).read_bytes()).hexdigest()


class ReadBack(FlashTest):
    """send reads back what it sent and compares it with the image."""

    def test_a_normal_send_is_verified(self):
        folder = add_player(self.players, "a")
        image = self.image("os.bin")
        rc, out, err = self.flash("send", "--kind", "os", windows_path(image), "--json")
        self.assertEqual(rc, 0, err)
        verdict = json.loads(out)
        digest = sha1_of(image)
        self.assertEqual((verdict["verified"], verdict["sentSha1"], verdict["readBackSha1"], verdict["sha1"]),
                         (True, digest, digest, digest))
        self.assertEqual((verdict["storage"], verdict["readBackSize"]), ("Internal Storage", image.stat().st_size))
        self.assertEqual(sha1_of(folder / "Internal Storage" / "NK.bin"), digest)
        rc, out, err = self.flash("send", "--kind", "os", windows_path(image))
        self.assertEqual(rc, 0, err)
        self.assertIn('as NK.bin on storage "Internal Storage"', out)
        self.assertIn("read back and verified, SHA-1 " + digest, out)

    def test_a_damaged_write_is_caught_and_removed(self):
        image = self.image("os.bin")
        for fault in ("damaged-write", "short-write"):
            with self.subTest(fault):
                shutil.rmtree(self.players)
                self.players.mkdir()
                folder = add_player(self.players, "a")
                rc, out, err = self.flash("send", "--kind", "os", windows_path(image), faults=fault)
                self.assertEqual(rc, 1, out + err)
                self.assertIn("the read-back does not match what was sent: sent %d bytes, SHA-1 %s"
                              % (image.stat().st_size, sha1_of(image)), err)
                self.assertIn("the player holds", err)
                self.assertIn("the damaged NK.bin was removed from the player", err)
                self.assertFalse((folder / "Internal Storage" / "NK.bin").exists())
                rc, out, _ = self.flash("send", "--kind", "os", windows_path(image), "--json", faults=fault)
                verdict = json.loads(out)
                self.assertEqual((rc, verdict["verified"], verdict["removed"]), (1, False, True))
                self.assertNotEqual(verdict["readBackSha1"], verdict["sentSha1"])

    def test_a_refused_removal_says_the_player_holds_a_bad_file(self):
        folder = add_player(self.players, "a")
        rc, out, err = self.flash("send", "--kind", "os", windows_path(self.image("os.bin")),
                                  faults="damaged-write,delete-refused")
        self.assertEqual(rc, 1, out + err)
        self.assertIn("removing the damaged NK.bin failed too", err)
        self.assertIn("the player now holds a bad NK.bin", err)
        self.assertTrue((folder / "Internal Storage" / "NK.bin").exists())

    def test_a_refused_read_keeps_the_file(self):
        folder = add_player(self.players, "a")
        image = self.image("os.bin")
        rc, out, err = self.flash("send", "--kind", "os", windows_path(image), faults="read-refused")
        self.assertEqual(rc, 1, out + err)
        self.assertIn("the file was sent but could not be read back", err)
        self.assertIn("NK.bin is left on the player (it may be good)", err)
        self.assertEqual(sha1_of(folder / "Internal Storage" / "NK.bin"), sha1_of(image))

    def test_no_verify_skips_the_read_back(self):
        add_player(self.players, "a")
        rc, out, err = self.flash("send", "--kind", "os", windows_path(self.image("os.bin")), "--no-verify",
                                  "--json", faults="read-refused")
        self.assertEqual(rc, 0, err)
        verdict = json.loads(out)
        self.assertEqual((verdict["verified"], verdict["readBackSha1"]), ("skipped", None))

    def test_an_interrupted_send_exits_3_and_says_so(self):
        folder = add_player(self.players, "a")
        env = wine_env({"TESSFOLD_SIM_PLAYERS": str(self.players),
                        "TESSFOLD_SIM_FAULTS": "chunk=65536,chunk-delay-ms=400"})
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            p = subprocess.Popen([WINE, str(self.exe), "send", "--kind", "os", windows_path(self.image("os.bin"))],
                                 env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            # The copy takes about 10 s; the Ctrl-C comes part-way.
            time.sleep(5)
            subprocess.run(["pkill", "-INT", "-f", "tessfold-flash.exe send"], check=False)
            rc = p.wait(timeout=120)
            err.seek(0)
            text = err.read().decode("utf-8", "replace")
        self.assertEqual(rc, 3, text)
        self.assertIn("interrupted during the copy", text)
        self.assertFalse((folder / "Internal Storage" / "NK.bin").exists(), "no partial NK.bin")


class SeveralPlayers(FlashTest):
    def test_all_flashes_the_good_one_and_reports_the_others(self):
        add_player(self.players, "p1", ready=False)
        add_player(self.players, "p2", name="ZR-500")
        good = add_player(self.players, "p3")
        image = self.image("os.bin")
        rc, out, err = self.flash("send", "--kind", "os", windows_path(image), "--all")
        self.assertEqual(rc, 1, out + err)
        self.assertEqual(sha1_of(good / "Internal Storage" / "NK.bin"), sha1_of(image))
        self.assertEqual(os.listdir(self.players / "p1" / "Internal Storage"), [])
        self.assertEqual(os.listdir(self.players / "p2" / "Internal Storage"), [])
        self.assertIn("[1/3] Corvane ZR-410", out)
        self.assertIn("is busy", out)
        self.assertIn("device model mismatch", out)
        table = out[out.index("Player"):].splitlines()
        self.assertEqual([line.split()[-1] for line in table[1:]], ["-", "-", "yes"])
        self.assertEqual([("skipped" in line, "refused" in line, "sent" in line) for line in table[1:]],
                         [(True, False, False), (False, True, False), (False, False, True)])
        rc, out, _ = self.flash("send", "--kind", "os", windows_path(image), "--all", "--json")
        verdicts = json.loads(out)
        self.assertEqual((rc, [v["ok"] for v in verdicts]), (1, [False, False, True]))
        self.assertEqual([v["player"]["name"] for v in verdicts], ["ZR-410", "ZR-500", "ZR-410"])
        # Every player good: exit 0.
        shutil.rmtree(self.players / "p1")
        shutil.rmtree(self.players / "p2")
        add_player(self.players, "p4")
        rc, out, err = self.flash("send", "--kind", "os", windows_path(image), "--all")
        self.assertEqual(rc, 0, out + err)

    def test_players_of_one_name_are_reached_by_id_and_position(self):
        first = add_player(self.players, "p1")
        second = add_player(self.players, "p2")
        rc, out, err = self.flash("list", "--json")
        listed = json.loads(out)["players"]
        self.assertEqual([p["position"] for p in listed], [1, 2])
        ids = [p["id"] for p in listed]
        self.assertEqual(len(set(ids)), 2, ids)
        rc, out, _ = self.flash("list")
        self.assertIn("2\tCorvane\tZR-410\tversion 0x00010002\tready\tid " + ids[1], out)
        bootloader = windows_path(self.image("bootloader.bin"))
        rc, out, err = self.flash("send", "--kind", "bootloader", bootloader, "--player", "2")
        self.assertEqual(rc, 0, err)
        self.assertEqual(os.listdir(second / "Internal Storage"), ["EBoot.bin"])
        self.assertEqual(os.listdir(first / "Internal Storage"), [])
        rc, out, err = self.flash("send", "--kind", "recovery", windows_path(self.image("recovery.bin")),
                                  "--player", ids[0])
        self.assertEqual(rc, 0, err)
        self.assertEqual(os.listdir(first / "Internal Storage"), ["Recovery.bin"])

    def test_wait_waits_for_a_busy_player_to_become_ready(self):
        add_player(self.players, "a", ready=False)

        def ready():
            shutil.rmtree(self.players / "a")
            add_player(self.players, "a")
        timer = threading.Timer(3.0, ready)
        timer.start()
        try:
            rc, out, err = self.flash("send", "--kind", "os", windows_path(self.image("os.bin")), "--wait", "60")
        finally:
            timer.cancel()
        self.assertEqual(rc, 0, out + err)
        self.assertIn("Waiting for the player Corvane ZR-410", err)
        self.assertIn("to become ready", err)


class Records(FlashTest):
    def test_log_has_one_json_line_per_attempt_with_the_digests(self):
        add_player(self.players, "a")
        log = self.dir / "records" / "flash.log"
        log.parent.mkdir()
        image = self.image("os.bin")
        # Given as a name in the current folder; the record names the whole path.
        env = wine_env({"TESSFOLD_SIM_PLAYERS": str(self.players)})
        rc, out, err = wine([self.exe, "send", "--kind", "os", image.name, "--log", windows_path(log)], env,
                            cwd=image.parent)
        self.assertEqual(rc, 0, out + err)
        self.assertEqual(self.flash("send", "--kind", "os", windows_path(image), "--log", windows_path(log),
                                    faults="damaged-write")[0], 1)
        lines = [json.loads(line) for line in log.read_text(encoding="utf-8").splitlines()]
        self.assertEqual([(l["result"], l["verified"]) for l in lines], [("sent", True), ("failed", False)])
        first = lines[0]
        self.assertEqual((first["manufacturer"], first["player"], first["deviceVersion"], first["kind"]),
                         ("Corvane", "ZR-410", "0x00010002", "os"))
        self.assertEqual((first["sha1"], first["readBackSha1"], first["size"]),
                         (sha1_of(image), sha1_of(image), image.stat().st_size))
        self.assertEqual((first["destination"], first["storage"], first["signatureLevel"]),
                         ("NK.bin", "Internal Storage", "product"))
        self.assertEqual(first["version"], ARGS.version)
        self.assertEqual(first["source"], windows_path(image), "the full path, as a record must name it")
        self.assertRegex(first["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
        self.assertNotEqual(lines[1]["readBackSha1"], lines[1]["sha1"])

    def test_a_log_that_cannot_be_written_stops_before_sending(self):
        add_player(self.players, "a")
        before = snapshot(self.players)
        self.assertExit(self.flash("send", "--kind", "os", windows_path(self.image("os.bin")), "--log",
                                   windows_path(self.dir / "no-such-folder" / "flash.log")), 2,
                        "cannot write the log")
        self.assertEqual(snapshot(self.players), before)


class Fonts(FlashTest):
    def test_a_font_named_as_firmware_is_refused(self):
        folder = add_player(self.players, "a")
        firmware = folder / "Internal Storage" / "NK.bin"
        firmware.write_bytes(b"the firmware in place")
        for name in ("NK.bin", "nk.BIN", "EBoot.bin", "RECOVERY.bin"):
            with self.subTest(name):
                source = self.dir / "fonts" / name
                source.parent.mkdir(exist_ok=True)
                source.write_bytes(b"not a firmware image" * 100)
                before = snapshot(self.players)
                rc, out, err = self.flash("send", "--kind", "font", windows_path(source))
                self.assertEqual(rc, 1, out + err)
                self.assertIn("a font may not be named", err)
                self.assertIn("it would replace the firmware file", err)
                self.assertEqual(snapshot(self.players), before)

    def test_check_says_fonts_are_not_checked(self):
        add_player(self.players, "a")
        font = self.image("CorvaneSans.ttf")
        rc, out, err = self.flash("check", "--kind", "font", windows_path(font))
        self.assertEqual(rc, 0, err)
        self.assertIn("NOT CHECKED: fonts are sent to Corvane ZR-410 without the image checks", out)
        rc, out, _ = self.flash("check", "--kind", "font", windows_path(font), "--json")
        verdict = json.loads(out)
        self.assertEqual((verdict["checked"], verdict["accepted"]), (False, None))


def fenced_block(text, opening, after=None):
    """The lines of the first fenced block that opens with `opening` (after
    the line `after`, when given)."""
    lines = text.splitlines()
    start = lines.index(after) + 1 if after else 0
    begin = lines.index(opening, start)
    end = lines.index("```", begin + 1)
    return lines[begin + 1:end]


class Documentation(FlashTest):
    """The examples of the README and the user guide, run as they are written."""

    def test_the_user_guides_examples(self):
        commands = [l for l in fenced_block((TOP / "docs/USER-GUIDE.md").read_text(encoding="utf-8"), "```bat")
                    if l.startswith("tessfold-flash ")]
        self.assertGreaterEqual(len(commands), 5)
        folder = add_player(self.players, "a")
        here = self.dir / "cwd"
        here.mkdir()
        shutil.copy(self.image("os.bin"), here / "NK.bin")
        fonts = Path(ARGS.work) / "wineprefix" / "drive_c" / "Fonts"
        fonts.mkdir(parents=True, exist_ok=True)
        shutil.copy(self.image("CorvaneSans.ttf"), fonts / "Corvane Sans.ttf")
        for command in commands:
            with self.subTest(command):
                lexer = shlex.shlex(command, posix=True)
                lexer.whitespace_split = True
                lexer.escape = ""  # Windows paths keep their backslashes
                args = list(lexer)[1:]
                env = wine_env({"TESSFOLD_SIM_PLAYERS": str(self.players)})
                rc, out, err = wine([self.exe] + args, env, cwd=here)
                self.assertEqual(rc, 0, out + err)
        self.assertTrue((folder / "Internal Storage" / "NK.bin").is_file())
        self.assertTrue((folder / "Internal Storage" / "Corvane Sans.ttf").is_file())
        log = Path(ARGS.work) / "wineprefix" / "drive_c" / "flash-log.jsonl"
        self.assertTrue(json.loads(log.read_text(encoding="utf-8").splitlines()[-1])["verified"])

    def test_the_readmes_example(self):
        block = fenced_block((TOP / "README.md").read_text(encoding="utf-8"), "```sh", "<!-- flash-example -->")
        build = Path(ARGS.exe).resolve().parents[1]
        env = dict(os.environ, B=os.path.relpath(build, TOP))
        for name in ("TESSFOLD_SIM_PLAYERS", "TESSFOLD_SIM_FAULTS", "TF_BINARY_DIR"):
            env.pop(name, None)
        p = subprocess.run(["bash", "-euo", "pipefail", "-c", "\n".join(block)], cwd=TOP, env=env,
                           stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=900)
        self.assertEqual(p.returncode, 0, p.stdout[-3000:] + p.stderr[-3000:])
        self.assertIn("NK.bin", p.stdout)
        self.assertIn("the read-back does not match what was sent", p.stderr)
        self.assertEqual(p.stdout.count("exit 1"), 2, p.stdout[-3000:])


class Checking(FlashTest):
    def test_check_tells_the_verdict_and_sends_nothing(self):
        add_player(self.players, "a")
        before = snapshot(self.players)
        rc, out, err = self.flash("check", "--kind", "os", windows_path(self.image("os.bin")))
        self.assertEqual(rc, 0, err)
        self.assertIn("ACCEPTED for Corvane ZR-410: product signature, make and model match", out)
        self.assertIn("it would be stored as NK.bin", out)
        rc, out, _ = self.flash("check", "--kind", "bootloader", windows_path(self.image("recovery.bin")), "--json")
        verdict = json.loads(out)
        self.assertEqual((rc, verdict["accepted"], verdict["sizeWindow"], verdict["sent"]), (1, True, "outside", False))
        self.assertEqual(snapshot(self.players), before)


class Usage(FlashTest):
    def test_usage_errors_end_with_2(self):
        existing = self.dir / "file.bin"
        existing.write_bytes(b"x")
        cases = [
            ([], "missing command"),
            (["flash"], "unknown command 'flash'"),
            (["send", windows_path(existing)], "send needs --kind"),
            (["send", "--kind", "firmware", windows_path(existing)], "unknown kind 'firmware'"),
            (["send", "--kind", "os"], "send needs a FILE"),
            (["send", "--kind", "os", windows_path(existing), "--wait", "soon"], "--wait takes a number"),
            (["check", "--kind", "os", windows_path(existing), "--no-verify"], "unknown option '--no-verify' for check"),
            (["send", "--kind", "os", windows_path(existing), "--all", "--player", "ZR-410"],
             "--player and --all cannot be used together"),
            (["list", "extra"], "list takes no FILE"),
            (["send", "--kind", "os", windows_path(self.dir / "absent.bin")], "cannot open"),
            (["send", "--kind", "os", windows_path(self.dir)], "is a folder"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.assertExit(self.flash(*args), 2, message)

    def test_help_and_version(self):
        rc, out, _ = self.flash("--help")
        self.assertEqual(rc, 0)
        self.assertIn("Usage: tessfold-flash", out)
        rc, out, _ = self.flash("--version")
        self.assertEqual((rc, out), (0, "tessfold-flash %s\n" % ARGS.version))

    def test_missing_service_ends_with_2(self):
        register(ARGS.dll, unregister=True)
        try:
            self.assertExit(self.flash("list"), 2, "no device service")
        finally:
            register(ARGS.dll)


class Archive(unittest.TestCase):
    """The release archive as a user gets it."""

    def test_unpacked_programs_are_signed_and_run(self):
        archive = Path(ARGS.dist)
        name = "tessfold-%s-win32" % ARGS.version
        self.assertEqual(archive.name, name + ".zip")
        out = Path(tempfile.mkdtemp(prefix="tf_dist_", dir=ARGS.work))
        try:
            with zipfile.ZipFile(archive) as z:
                z.extractall(out)
            folder = out / name
            self.assertEqual(sorted(os.listdir(folder)),
                             ["README.md", "SHA256SUMS", "USER-GUIDE.md", "tessfold-flash.exe",
                              "tessfold-recovery.exe", "tessfold-update.exe"])
            sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=folder, capture_output=True, text=True)
            self.assertEqual(sums.returncode, 0, sums.stdout + sums.stderr)
            for exe in ("tessfold-flash.exe", "tessfold-recovery.exe", "tessfold-update.exe"):
                verify = subprocess.run(["osslsigncode", "verify", "-CAfile", str(TOP / "keys/dev/codesign-root.pem"),
                                         "-in", str(folder / exe)], capture_output=True, text=True)
                self.assertEqual(verify.returncode, 0, verify.stdout + verify.stderr)
            rc, out_text, err = run(folder / "tessfold-flash.exe", ["--version"])
            self.assertEqual((rc, out_text), (0, "tessfold-flash %s\n" % ARGS.version), err)
            players = out / "players"
            add_player(players, "a")
            rc, out_text, err = run(folder / "tessfold-flash.exe", ["list"], players)
            self.assertEqual(rc, 0, err)
            self.assertIn("Corvane\tZR-410", out_text)
        finally:
            shutil.rmtree(out, ignore_errors=True)

    def test_signature_that_does_not_verify_writes_no_archive(self):
        if not ARGS.pack:
            self.skipTest("needs the build tree (--pack)")
        out = Path(tempfile.mkdtemp(prefix="tf_dist_", dir=ARGS.work))
        try:
            # Signed with the development pair, checked against another root.
            env = dict(os.environ, TF_CODESIGN_ROOT=str(TOP / "keys/dev/product-root.pem"))
            p = subprocess.run([str(TOP / "scripts/make-dist"), ARGS.pack, str(out)], env=env, capture_output=True,
                               text=True)
            self.assertEqual(p.returncode, 1, p.stdout + p.stderr)
            self.assertIn("does not verify", p.stderr)
            self.assertEqual(os.listdir(out), [])
        finally:
            shutil.rmtree(out, ignore_errors=True)


def find_image_tool():
    candidates = [ARGS.image_tool, os.environ.get("TF_IMAGE_TOOL"),
                  TOP / "build/native/tools/tessfold-image", TOP / "build/release/tools/tessfold-image"]
    for c in candidates:
        if c and Path(c).is_file() and os.access(c, os.X_OK):
            return Path(c)
    return None


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe")
    parser.add_argument("--dll", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--image-tool")
    parser.add_argument("--version", required=True)
    parser.add_argument("--arch", choices=sorted(LOADERS), default="win32")
    parser.add_argument("--dist")
    parser.add_argument("--pack", help="make the archive from this build tree first (scripts/make-dist)")
    ARGS, rest = parser.parse_known_args()
    global WINE
    WINE = LOADERS[ARGS.arch]
    Path(ARGS.work).mkdir(parents=True, exist_ok=True)
    ARGS.work = str(Path(ARGS.work).resolve())
    if not Path(WINE).exists():
        print("flash_tests: no Wine loader for %s at %s" % (ARGS.arch, WINE))
        return SKIP
    if ARGS.pack:
        dist = Path(ARGS.work) / "dist"
        shutil.rmtree(dist, ignore_errors=True)
        subprocess.run([str(TOP / "scripts/make-dist"), ARGS.pack, str(dist)], check=True)
        ARGS.dist = str(dist / ("tessfold-%s-win32.zip" % ARGS.version))
    set_up_prefix(ARGS.dll)

    if ARGS.dist:
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(Archive)
    else:
        tool = find_image_tool()
        if tool is not None:
            images = Path(ARGS.work) / "images"
            subprocess.run([str(TOP / "scripts/make-sample-images"), str(tool), str(TOP / "keys/dev"), str(images)],
                           check=True)
            FlashTest.images = images
        else:
            print("flash_tests: no native tessfold-image; the signed-image cases are skipped")
        loader = unittest.defaultTestLoader
        suite = unittest.TestSuite(loader.loadTestsFromTestCase(c)
                                   for c in (Listing, Sending, ReadBack, SeveralPlayers, Records, Fonts, Documentation, Checking,
                                             Usage))
        if rest:
            suite = unittest.TestSuite(t for s in suite for t in s if any(r in t.id() for r in rest))
    try:
        result = unittest.TextTestRunner(verbosity=2).run(suite)
    finally:
        # The prefix is the suite's own: its server and the service processes
        # Wine started in it go with the suite.
        subprocess.run([WINESERVER, "-k"], env=wine_env(), check=False, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
