"""The Python client and the example script against a live, headless Celaris.

Starts the built program with a settings file and documents folder of its
own on a free loopback port, runs the example calibration on the sample
positions and checks the terms it recovers, then the client's members:
by-reference results, indexed properties, enumerations, the errors as
Celaris raises them, and that the client covers every member the server
lists.

    python3 test_python_client.py --celaris build/bin/celaris
"""

import argparse
import json
import os
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON_DIR = os.path.join(HERE, "..", "..", "scripting", "python")
EXAMPLE = os.path.join(PYTHON_DIR, "examples", "run_calibration.py")
SAMPLE = os.path.join(PYTHON_DIR, "examples", "sample_observations.csv")
sys.path.insert(0, PYTHON_DIR)
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import celaris_calibration as cc  # noqa: E402
from celaris_process import CelarisProcess  # noqa: E402

CELARIS = None
server = None


class Server(CelarisProcess):
    """celaris --headless on 127.0.0.1, any free port."""

    def __init__(self, program):
        super().__init__(program, prefix="celaris-python-")


def setUpModule():
    global server
    server = Server(CELARIS)


def tearDownModule():
    code = server.stop()
    if code != 0:
        raise RuntimeError(f"celaris exited with {code}:\n" + server.log.decode(errors="replace"))


class ExampleScript(unittest.TestCase):
    def test_a_whole_calibration_from_the_sample_recovers_the_mount(self):
        run = subprocess.run(
            [sys.executable, EXAMPLE, SAMPLE, "--port", str(server.port), "--json",
             "--save", "sample.clb"],
            capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        result = json.loads(run.stdout)
        self.assertEqual(result["NumObservations"], 30)
        self.assertEqual(len(result["Residuals"]), 30)
        self.assertEqual(result["Residuals"][0]["Name"], "Point 01")
        # 2" of noise per axis; the sample's terms come back within a few.
        self.assertLess(result["StdDevError"], 6.0)
        truth = {"ErrHABias": 300, "ErrDecBias": -200, "ErrCollimation": 120,
                 "ErrAxisMisalignment": -60, "ErrPolarAz": 240, "ErrPolarAlt": -180,
                 "ErrTubeDroop": 90, "ErrMountFlex": 45}
        for name, value in truth.items():
            self.assertAlmostEqual(result["Terms"][name], value, delta=8.0, msg=name)
        self.assertTrue(os.path.exists(os.path.join(server.docs, "sample.clb")))

        # Human-readable output too.
        run = subprocess.run([sys.executable, EXAMPLE, SAMPLE, "--port", str(server.port)],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("30 observations", run.stdout)
        self.assertIn("ErrPolarAz", run.stdout)


class Client(unittest.TestCase):
    def setUp(self):
        self.cal = cc.Calibration(port=server.port)
        self.cal.StartNewCalibration()

    def tearDown(self):
        self.cal.close()

    def test_members_and_their_types(self):
        cal = self.cal
        self.assertEqual(cal.NumObservations, 0)
        self.assertEqual(cal.StdDevError, 60.0)
        cal.AddObservation(5.5, 20.0, 5.51, 20.02, 4.0)  # Name, WestOfPier, Use left out
        cal.AddObservation(7.25, -10.0, 7.26, -10.01, 4.1, Name="Sirius", WestOfPier=False,
                           Use=True)
        self.assertEqual(cal.NumObservations, 2)
        self.assertTrue(cal.WestOfPier[1])
        self.assertFalse(cal.WestOfPier(2))
        self.assertEqual(cal.ObservationName[2], "Sirius")
        self.assertAlmostEqual(cal.RATrue[2], 7.25, places=12)
        cal.RATrue[2] = 7.5
        cal.ObservationName[2] = "Sirius, α CMa"
        cal.UseObservation[1] = False
        self.assertEqual(cal.RATrue(2), 7.5)
        self.assertEqual(cal.ObservationName[2], "Sirius, α CMa")
        self.assertFalse(cal.UseObservation[1])
        cal.CalculatePointingErrors()
        self.assertEqual(cal.RAResidual[1], 0.0)

        cal.CalibrationType = cc.CalibrationMode.calPort
        self.assertIs(cal.CalibrationType, cc.CalibrationMode.calPort)
        cal.CalibrationType = 0
        self.assertIs(cal.SideOfPier, cc.CelarisPierSide.psForkMount)
        self.assertIsInstance(cal.ErrHABias, float)
        with self.assertRaises(AttributeError):
            cal.NumObservations = 3
        cal.RemoveObservation(1)
        self.assertEqual(cal.NumObservations, 1)
        cal.StopCalibration()

    def test_positions_come_back_by_name(self):
        scope = self.cal.TrueToScope(6.75, -16.7)
        self.assertIsInstance(scope, cc.ScopePosition)
        back = self.cal.ScopeToTrue(*scope)
        self.assertAlmostEqual(back.RightAscension, 6.75, delta=1 / 3600 / 15)
        self.assertAlmostEqual(back.Declination, -16.7, delta=1 / 3600)
        corrected = self.cal.CalcCorrected(scope.RightAscensionScope, scope.DeclinationScope)
        # The live program's sidereal time moves between the two calls.
        self.assertAlmostEqual(corrected.RightAscension, back.RightAscension, delta=1e-6)
        self.assertAlmostEqual(corrected.Declination, back.Declination, delta=1e-5)

    def test_errors_as_celaris_raises_them(self):
        with self.assertRaises(cc.CelarisError) as e:
            self.cal.RATrue[1]
        self.assertEqual(e.exception.number, cc.INDEX_OUT_OF_BOUNDS)
        self.assertEqual(e.exception.message, "Index is out of Bounds")
        self.assertEqual(e.exception.source, "Scripting Interface for Celaris")
        with self.assertRaises(cc.CelarisError):
            self.cal.RemoveObservation(0)
        with self.assertRaises(cc.CelarisError) as e:
            self.cal.OpenFile("no such file.clb")
        self.assertNotEqual(e.exception.number, 0)
        with self.assertRaises(cc.RequestRefused) as e:
            self.cal.get("NoSuchMember")
        self.assertEqual(e.exception.status, 400)

    def test_the_client_has_every_member_the_server_lists(self):
        info = self.cal.interface_help()
        names = [m["Name"] for m in info["Members"]]
        self.assertEqual(len(names), 38)
        missing = [n for n in names if not hasattr(cc.Calibration, n)]
        self.assertEqual(missing, [])
        for m in info["Members"]:
            if m["Kind"] == "method":
                params = [p["Name"] for p in m["Parameters"]]
                code = getattr(cc.Calibration, m["Name"]).__code__
                self.assertEqual(list(code.co_varnames[1:1 + len(params)]), params, m["Name"])
        for enum in (cc.CalibrationMode, cc.CelarisPierSide, cc.Epoch):
            self.assertEqual({e.name: e.value for e in enum},
                             info["Enumerations"][enum.__name__])

    def test_a_kept_alive_connection_the_server_closed_is_reopened(self):
        self.assertEqual(self.cal.NumObservations, 0)
        time.sleep(5.5)  # the server closes idle connections after 5 s
        self.assertEqual(self.cal.NumObservations, 0)


def main():
    global CELARIS
    parser = argparse.ArgumentParser()
    parser.add_argument("--celaris", required=True)
    args, rest = parser.parse_known_args()
    CELARIS = args.celaris
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
