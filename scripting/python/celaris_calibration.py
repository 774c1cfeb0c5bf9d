"""Drive Celaris calibrations from Python.

A client of the scripting interface ``Calibration`` that Celaris serves
beside its Alpaca telescope, at ``http://HOST:PORT/celaris/v1/calibration/0/``.
Standard library only; copy this one file wherever you need it.

    from celaris_calibration import Calibration

    cal = Calibration()                    # 127.0.0.1:11111
    cal.StartNewCalibration()
    cal.AddObservation(5.5, 20.0, 5.51, 20.02, 4.0, Name="Betelgeuse")
    print(cal.NumObservations, cal.StdDevError, cal.ErrHABias)
    print(cal.RATrue[1])                   # or cal.RATrue(1)
    cal.UseObservation[1] = False
    cal.CalculatePointingErrors()
    ra_scope, dec_scope = cal.TrueToScope(6.75, -16.7)

Units are the interface's: right ascension and sidereal time in hours,
declinations in degrees, residuals and model terms in arc seconds.
Observations are numbered from 1. A failing member raises CelarisError with
the number, source and text Celaris raised (-2147220224 for "Index is out
of Bounds"); a request the server refuses raises RequestRefused.

Run ``python3 celaris_calibration.py [--host H] [--port P]`` to list the
members the server offers, with their help texts.
"""

import collections
import enum
import http.client
import json
import os
import urllib.parse

__all__ = [
    "Calibration",
    "CalibrationMode",
    "CelarisPierSide",
    "Epoch",
    "CelarisError",
    "RequestRefused",
    "TruePosition",
    "ScopePosition",
    "INDEX_OUT_OF_BOUNDS",
    "CANNOT_CALCULATE_CORRECTED_POSITION",
]

INDEX_OUT_OF_BOUNDS = -2147220224
CANNOT_CALCULATE_CORRECTED_POSITION = 1032

PATH = "/celaris/v1/calibration/0/"


class CalibrationMode(enum.IntEnum):
    calFull = 0
    calPerm = 1
    calPort = 2


class CelarisPierSide(enum.IntEnum):
    psForkMount = 0
    psEast = 1
    psWest = 2


class Epoch(enum.IntEnum):
    epJNow = 0
    epJ2000 = 1


TruePosition = collections.namedtuple("TruePosition", "RightAscension Declination")
ScopePosition = collections.namedtuple("ScopePosition", "RightAscensionScope DeclinationScope")


class CelarisError(Exception):
    """An error a member raised: number, source and text as Celaris has them."""

    def __init__(self, number, message, source):
        super().__init__(f"{message} (error {number}, {source})")
        self.number = number
        self.message = message
        self.source = source


class RequestRefused(Exception):
    """The server refused the request itself (HTTP 400 or 404): a bug in the call."""

    def __init__(self, status, reason):
        super().__init__(f"HTTP {status}: {reason}")
        self.status = status
        self.reason = reason


def _wire(value):
    """A parameter as the wire wants it: true/false, C-locale numbers."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, float):
        return repr(value)
    return str(value)


class _Property:
    """A property: read with GET, written with PUT under its own name."""

    def __init__(self, name, kind=None, writable=True):
        self.name = name
        self.kind = kind
        self.writable = writable

    def __get__(self, cal, owner=None):
        if cal is None:
            return self
        value = cal.get(self.name)
        return self.kind(value) if self.kind else value

    def __set__(self, cal, value):
        if not self.writable:
            raise AttributeError(f"{self.name} is read-only")
        cal.put(self.name, **{self.name: value})


class _Indexed:
    """An indexed property: cal.RATrue[3], cal.RATrue(3), cal.RATrue[3] = 5.5."""

    def __init__(self, name, writable=True):
        self.name = name
        self.writable = writable

    def __get__(self, cal, owner=None):
        if cal is None:
            return self
        return _BoundIndexed(cal, self.name, self.writable)

    def __set__(self, cal, value):
        raise AttributeError(f"{self.name} takes an index: {self.name}[i] = value")


class _BoundIndexed:
    def __init__(self, cal, name, writable):
        self._cal, self._name, self._writable = cal, name, writable

    def __call__(self, index):
        return self._cal.get(self._name, Index=index)

    __getitem__ = __call__

    def __setitem__(self, index, value):
        if not self._writable:
            raise TypeError(f"{self._name} is read-only")
        self._cal.put(self._name, Index=index, **{self._name: value})


class Calibration:
    """The Celaris calibration, as the scripting interface Calibration.

    Every instance sees the same calibration: the one Celaris holds.
    """

    def __init__(self, host="127.0.0.1", port=11111, client_id=None, timeout=60.0):
        self.host = host
        self.port = port
        self.timeout = timeout
        self.client_id = (os.getpid() if client_id is None else client_id) & 0xFFFFFFFF
        self._transaction = 0
        self._connection = None

    # ---- properties ------------------------------------------------------

    LockTarget = _Property("LockTarget")
    NumObservations = _Property("NumObservations", writable=False)
    CalibrationType = _Property("CalibrationType", CalibrationMode)
    ApplyCorrections = _Property("ApplyCorrections")
    RAResidual = _Indexed("RAResidual", writable=False)
    DecResidual = _Indexed("DecResidual", writable=False)
    RATrue = _Indexed("RATrue")
    DecTrue = _Indexed("DecTrue")
    RAScope = _Indexed("RAScope")
    DecScope = _Indexed("DecScope")
    ObservationName = _Indexed("ObservationName")
    UseObservation = _Indexed("UseObservation")
    WestOfPier = _Indexed("WestOfPier")
    SiteLongitude = _Property("SiteLongitude")
    SiteLatitude = _Property("SiteLatitude")
    Pressure = _Property("Pressure")
    Temperature = _Property("Temperature")
    ErrHABias = _Property("ErrHABias", writable=False)
    ErrDecBias = _Property("ErrDecBias", writable=False)
    ErrCollimation = _Property("ErrCollimation", writable=False)
    ErrAxisMisalignment = _Property("ErrAxisMisalignment", writable=False)
    ErrPolarAz = _Property("ErrPolarAz", writable=False)
    ErrPolarAlt = _Property("ErrPolarAlt", writable=False)
    ErrTubeDroop = _Property("ErrTubeDroop", writable=False)
    ErrMountFlex = _Property("ErrMountFlex", writable=False)
    SideOfPier = _Property("SideOfPier", CelarisPierSide)
    CalStarsEpoch = _Property("CalStarsEpoch", Epoch)
    StdDevError = _Property("StdDevError", writable=False)

    # ---- methods ---------------------------------------------------------

    def AddObservation(self, RATrue, DecTrue, RAScope, DecScope, LST, Name=None,
                       WestOfPier=None, Use=None):
        """Add an observation: RA and LST in hours, Dec in degrees.

        Left out, Name is today's date, WestOfPier and Use are true.
        """
        self.put("AddObservation", RATrue=RATrue, DecTrue=DecTrue, RAScope=RAScope,
                 DecScope=DecScope, LST=LST, Name=Name, WestOfPier=WestOfPier, Use=Use)

    def RemoveObservation(self, Index):
        self.put("RemoveObservation", Index=Index)

    def StartNewCalibration(self):
        """Delete all observations and restart the fit (unless "Add to current cal")."""
        self.put("StartNewCalibration")

    def StopCalibration(self):
        self.put("StopCalibration")

    def OpenFile(self, Name):
        """Open a calibration file on the machine that runs Celaris.

        A bare name is taken in Celaris's documents folder; over the network
        only such names are accepted.
        """
        self.put("OpenFile", Name=Name)

    def SaveFile(self, Name):
        """Save the calibration to a file on the machine that runs Celaris."""
        self.put("SaveFile", Name=Name)

    def CalculatePointingErrors(self):
        """Refit the model from the used observations."""
        self.put("CalculatePointingErrors")

    def CalcCorrected(self, RightAscension, Declination):
        """The true position for a scope position, as TruePosition."""
        v = self.put("CalcCorrected", RightAscension=RightAscension, Declination=Declination)
        return TruePosition(v["RightAscension"], v["Declination"])

    def TrueToScope(self, RightAscension, Declination):
        """Where the mount must point for a true position, as ScopePosition."""
        v = self.put("TrueToScope", RightAscension=RightAscension, Declination=Declination)
        return ScopePosition(v["RightAscensionScope"], v["DeclinationScope"])

    def ScopeToTrue(self, RightAscensionScope, DeclinationScope):
        """The true position for a scope position, as TruePosition."""
        v = self.put("ScopeToTrue", RightAscensionScope=RightAscensionScope,
                     DeclinationScope=DeclinationScope)
        return TruePosition(v["RightAscension"], v["Declination"])

    def interface_help(self):
        """The server's description of the interface (members, help, enumerations)."""
        return self.get("help")

    # ---- the wire --------------------------------------------------------

    def get(self, member, **params):
        """Reads a property by name; returns its Value."""
        return self._call("GET", member, params)

    def put(self, member, **params):
        """Writes a property or calls a method by name; returns its Value, if any.

        Parameters given as None are left out (they take their defaults).
        """
        return self._call("PUT", member, params)

    def close(self):
        if self._connection is not None:
            self._connection.close()
            self._connection = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _call(self, method, member, params):
        self._transaction = (self._transaction + 1) & 0xFFFFFFFF
        fields = [(k, _wire(v)) for k, v in params.items() if v is not None]
        fields += [("ClientID", str(self.client_id)),
                   ("ClientTransactionID", str(self._transaction))]
        form = urllib.parse.urlencode(fields)
        path = PATH + member.lower()
        if method == "GET":
            status, body = self._send("GET", path + "?" + form, None)
        else:
            status, body = self._send("PUT", path, form)
        if status != 200:
            raise RequestRefused(status, body.decode("utf-8", "replace").strip())
        answer = json.loads(body)
        if answer.get("ErrorNumber", 0) != 0:
            raise CelarisError(answer["ErrorNumber"], answer.get("ErrorMessage", ""),
                               answer.get("ErrorSource", ""))
        return answer.get("Value")

    def _send(self, method, target, form):
        headers = {"Content-Type": "application/x-www-form-urlencoded"} if form is not None else {}
        body = form.encode("ascii") if form is not None else None
        # A kept-alive connection the server has since closed fails before
        # the request reaches it: that one is sent again on a new one.
        reused = self._connection is not None
        for attempt in (0, 1):
            if self._connection is None:
                self._connection = http.client.HTTPConnection(self.host, self.port,
                                                              timeout=self.timeout)
            try:
                self._connection.request(method, target, body=body, headers=headers)
                response = self._connection.getresponse()
                data = response.read()
                if response.getheader("Connection", "").lower() == "close":
                    self.close()
                return response.status, data
            except (http.client.RemoteDisconnected, BrokenPipeError, ConnectionResetError):
                self.close()
                if attempt == 1 or not reused:
                    raise
        raise AssertionError("unreachable")


def _main():
    import argparse

    parser = argparse.ArgumentParser(description="List the Celaris calibration members.")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=11111)
    args = parser.parse_args()
    with Calibration(args.host, args.port) as cal:
        info = cal.interface_help()
    print(f"{info['Interface']} ({info['ProgID']}) at {info['Path']}")
    for m in info["Members"]:
        params = ", ".join(p["Name"] + ("?" if p["Optional"] else "") for p in m["Parameters"])
        shape = f"({params})" if m["Kind"] == "method" or params else ""
        result = m.get("Type") or m.get("Result") or ""
        line = f"  {m['Name']}{shape}  {m['Kind']}" + (f", {result}" if result else "")
        print(line + (f"\n      {m['Help']}" if m["Help"] else ""))


if __name__ == "__main__":
    _main()
