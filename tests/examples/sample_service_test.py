#!/usr/bin/env python3
"""The sample service on this machine's VM, started the way the launcher starts it (through
WinLauncher, its output redirected to log files): it serves its uptime and arguments, writes
heartbeats, and logs a clean stop when the VM is ended from outside.

usage: sample_service_test.py <java> <brolt-runtime.jar> <sample-service.jar>
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

JAVA, RUNTIME_JAR, SAMPLE_JAR = sys.argv[1:4]
del sys.argv[1:4]

MAIN_CLASS = "com.example.sample.SampleService"
TIMEOUT = 30
STAMP = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d sample-service: "


class SampleServiceTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="sample-service-")
        self.addCleanup(self.dir.cleanup)
        self.out_log = os.path.join(self.dir.name, "logs", "out.log")
        self.err_log = os.path.join(self.dir.name, "logs", "err.log")

    def start(self, *args):
        command = [JAVA, "-cp", RUNTIME_JAR + os.pathsep + SAMPLE_JAR, "com.brolt.runtime.WinLauncher",
                   "false", MAIN_CLASS, self.err_log, self.out_log, "false", *args]
        # Arguments reach the VM in the locale's encoding; UTF-8 keeps the non-ASCII one intact.
        env = dict(os.environ, LC_ALL="C.UTF-8")
        process = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(self.stop, process)
        return process

    def stop(self, process):
        if process.poll() is None:
            process.kill()
        process.communicate()

    def read(self, path):
        try:
            with open(path, encoding="utf-8") as file:
                return file.read()
        except FileNotFoundError:
            return ""

    def wait_for_line(self, pattern, process):
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            match = re.search(pattern, self.read(self.out_log), re.MULTILINE)
            if match:
                return match
            if process.poll() is not None:
                break
            time.sleep(0.1)
        self.fail("no line matching %r; stdout log:\n%s\nstderr log:\n%s"
                  % (pattern, self.read(self.out_log), self.read(self.err_log)))

    def request(self, port, method, path):
        request = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path), method=method)
        try:
            with urllib.request.urlopen(request, timeout=TIMEOUT) as response:
                return response.status, response.headers.get("Content-Type"), response.read().decode("utf-8")
        except urllib.error.HTTPError as error:
            return error.code, error.headers.get("Content-Type"), error.read().decode("utf-8")

    def test_serves_uptime_and_arguments_and_stops_cleanly(self):
        arguments = ["SampleService", "--port=0", "--heartbeat=1", "zwei w\u00f6rter"]
        process = self.start(*arguments)
        port = int(self.wait_for_line(r"^" + STAMP + r"listening on http://127\.0\.0\.1:(\d+)/$", process)[1])

        for method, path, status in [("GET", "/", 200), ("GET", "/other", 404), ("POST", "/", 405)]:
            with self.subTest(method=method, path=path):
                got_status, content_type, body = self.request(port, method, path)
                self.assertEqual(status, got_status, body)
                self.assertEqual("text/plain; charset=utf-8", content_type)
                if status == 200:
                    self.assertRegex(body, r"(?m)^uptime: \d+ s$")
                    expected = ["arguments: %d" % len(arguments)]
                    expected += ["argument %d: %s" % (i, arg) for i, arg in enumerate(arguments)]
                    self.assertEqual(expected, body.splitlines()[2:])

        self.wait_for_line(r"^" + STAMP + r"heartbeat, up \d+ s$", process)
        process.send_signal(signal.SIGTERM)
        process.wait(TIMEOUT)
        last = self.read(self.out_log).splitlines()[-1]
        self.assertRegex(last, r"^" + STAMP + r"stopped cleanly after \d+ s$")
        self.assertEqual("", self.read(self.err_log))

    def test_bad_port_ends_the_service_with_its_reason(self):
        process = self.start("SampleService", "--port=99999")
        self.assertEqual(1, process.wait(TIMEOUT))
        self.assertIn("--port=99999: expected a number from 0 to 65535", self.read(self.err_log))


if __name__ == "__main__":
    unittest.main()
