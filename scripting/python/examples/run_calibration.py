#!/usr/bin/env python3
"""Run a whole Celaris calibration from a list of measured positions.

Each line of the list is one star: where it really is and where the mount
reported it while centred on it, with the local sidereal time of the
measurement. The file is CSV with a header line:

    Name,RATrue,DecTrue,RAScope,DecScope,LST,WestOfPier
    Vega,18.6156,38.7837,18.6201,38.7712,17.9,false

RA and LST in hours, Dec in degrees; Name and WestOfPier may be empty
(today's date, and true). The script starts a new calibration of the chosen
type, adds every observation, refits, prints the residuals and the model
terms, saves the calibration if asked and stops the calibration.

This replaces the calibration Celaris holds now.

    python3 run_calibration.py sample_observations.csv --save night1.clb
"""

import argparse
import csv
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

from celaris_calibration import Calibration, CalibrationMode, CelarisError  # noqa: E402

TERMS = ["ErrHABias", "ErrDecBias", "ErrCollimation", "ErrAxisMisalignment", "ErrPolarAz",
         "ErrPolarAlt", "ErrTubeDroop", "ErrMountFlex"]
MODES = {"full": CalibrationMode.calFull, "perm": CalibrationMode.calPerm,
         "port": CalibrationMode.calPort}


def read_observations(path):
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    out = []
    for number, row in enumerate(rows, start=2):
        try:
            west = (row.get("WestOfPier") or "").strip().lower()
            out.append({
                "RATrue": float(row["RATrue"]), "DecTrue": float(row["DecTrue"]),
                "RAScope": float(row["RAScope"]), "DecScope": float(row["DecScope"]),
                "LST": float(row["LST"]),
                "Name": (row.get("Name") or "").strip() or None,
                "WestOfPier": None if west == "" else west in ("true", "1", "yes"),
            })
        except (KeyError, TypeError, ValueError) as e:
            raise SystemExit(f"{path}, line {number}: {e}")
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("observations", help="CSV file of measured positions")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=11111)
    parser.add_argument("--mode", choices=MODES, default="full",
                        help="calibration type (default: full)")
    parser.add_argument("--save", metavar="NAME",
                        help="save the calibration under this name (in Celaris's documents "
                             "folder unless a full path)")
    parser.add_argument("--json", action="store_true", help="print the result as JSON")
    args = parser.parse_args()

    observations = read_observations(args.observations)
    if not observations:
        raise SystemExit(f"{args.observations} lists no observations.")

    with Calibration(args.host, args.port) as cal:
        try:
            cal.CalibrationType = MODES[args.mode]
            cal.StartNewCalibration()
            for o in observations:
                cal.AddObservation(**o)
            cal.CalculatePointingErrors()
            result = {
                "NumObservations": cal.NumObservations,
                "StdDevError": cal.StdDevError,
                "Terms": {t: getattr(cal, t) for t in TERMS},
                "Residuals": [
                    {"Name": cal.ObservationName[i], "RA": cal.RAResidual[i],
                     "Dec": cal.DecResidual[i]}
                    for i in range(1, cal.NumObservations + 1)
                ],
            }
            if args.save:
                cal.SaveFile(args.save)
            cal.StopCalibration()
        except CelarisError as e:
            raise SystemExit(f"Celaris: {e}")

    if args.json:
        json.dump(result, sys.stdout, indent=1)
        print()
        return
    print(f"{result['NumObservations']} observations; "
          f"standard deviation {result['StdDevError']:.2f} arc seconds")
    print("\nResiduals (arc seconds)")
    for r in result["Residuals"]:
        print(f"  {r['Name']:<20} RA {r['RA']:8.2f}  Dec {r['Dec']:8.2f}")
    print("\nModel terms (arc seconds)")
    for name, value in result["Terms"].items():
        print(f"  {name:<20} {value:10.2f}")
    if args.save:
        print(f"\nSaved as {args.save}.")


if __name__ == "__main__":
    main()
