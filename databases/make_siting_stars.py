#!/usr/bin/env python3
"""Builds SitingStars02.csv, the reference stars of the manual calibration,
from the named-star files of Debian's kstars-data package.

    apt-get download kstars-data && dpkg -x kstars-data_*.deb /tmp/kstars-data
    python3 databases/make_siting_stars.py --kstars-dir /tmp/kstars-data/usr/share/kstars

(an installed kstars-data is found in /usr/share/kstars without the option).
The output goes beside this script unless --output says otherwise.

Input: namedstars.dat (Hipparcos positions at epoch J1991.25 in the ICRS,
proper motions in mas/yr with the RA motion taken on the sky, mu_alpha *
cos dec) and starnames.dat (Bayer and proper names, one record per star of
namedstars.dat in the same order). Both are KStars' binary star files: a
124-byte text preamble, an endianness mark, a version byte, a table of field
descriptors, an index of record counts per sky region, then the records.

Output: one line per star brighter than --faintest, brightest first:
"name",magnitude,RA deg,Dec deg,RA motion,Dec motion
with positions moved to epoch J2000.0 and the RA motion given as the rate of
right ascension itself (mas of RA angle per year, mu_alpha* / cos dec), so
that a reader adds it to RA without knowing the declination. Standard
library only.
"""

import argparse
import math
import os
import struct
import sys

HIPPARCOS_EPOCH = 1991.25
TARGET_EPOCH = 2000.0
MAS = math.pi / 180.0 / 3600.0 / 1000.0  # radians per milliarcsecond

GREEK = {
    "alp": "Alpha", "bet": "Beta", "gam": "Gamma", "del": "Delta", "eps": "Epsilon",
    "zet": "Zeta", "eta": "Eta", "the": "Theta", "iot": "Iota", "kap": "Kappa",
    "lam": "Lambda", "mu": "Mu", "nu": "Nu", "xi": "Xi", "omi": "Omicron", "pi": "Pi",
    "rho": "Rho", "sig": "Sigma", "tau": "Tau", "ups": "Upsilon", "phi": "Phi",
    "chi": "Chi", "psi": "Psi", "ome": "Omega",
}


class FormatError(Exception):
    pass


def read_kstars_file(path):
    """Returns (fields, record counts per index entry, data offset, bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 129:
        raise FormatError(f"{path}: too short for a KStars star file")
    mark = struct.unpack_from("<h", data, 124)[0]
    # Written on little-endian machines; "SK" read back as 0x4B53.
    if mark != 0x4B53:
        raise FormatError(f"{path}: not a little-endian KStars star file")
    nfields = struct.unpack_from("<h", data, 127)[0]
    offset = 129
    fields = []
    for _ in range(nfields):
        name, size, kind, scale = struct.unpack_from("<10sbBi", data, offset)
        fields.append((name.split(b"\0")[0].decode("ascii"), size, kind, scale))
        offset += 16
    nindex = struct.unpack_from("<I", data, offset)[0]
    offset += 4
    counts = []
    for i in range(nindex):
        ident, _, nrecs = struct.unpack_from("<III", data, offset)
        if ident != i:
            raise FormatError(f"{path}: index entry {i} carries id {ident}")
        counts.append(nrecs)
        offset += 12
    return fields, counts, offset, data


def expect_fields(path, fields, expected):
    names = [f[0] for f in fields]
    if names != expected:
        raise FormatError(f"{path}: fields {names}, expected {expected}")


def read_stars(kstars_dir):
    stars_path = os.path.join(kstars_dir, "namedstars.dat")
    names_path = os.path.join(kstars_dir, "starnames.dat")
    fields, counts, offset, data = read_kstars_file(stars_path)
    expect_fields(stars_path, fields, ["RA", "Dec", "dRA", "dDec", "parallax", "HD", "mag",
                                       "bv_index", "spec_type", "flags", "unused"])
    scale = {f[0]: f[3] for f in fields}
    nfields, ncounts, noffset, ndata = read_kstars_file(names_path)
    expect_fields(names_path, nfields, ["bayerName", "longName"])
    # The named-star file puts its faintest magnitude, mesh level and a spare
    # word (5 bytes) between the index and the records.
    offset += 5
    record = struct.Struct("<iiiiiihh2sBB")
    name_record = struct.Struct("<8s32s")
    total = sum(counts)
    if sum(ncounts) != total:
        raise FormatError(f"{names_path}: {sum(ncounts)} names for {total} stars")
    stars = []
    for i in range(total):
        ra, dec, dra, ddec, _, hd, mag, _, _, _, _ = record.unpack_from(data, offset + i * 32)
        bayer, long_name = name_record.unpack_from(ndata, noffset + i * 40)
        stars.append({
            "ra_h": ra / scale["RA"],
            "dec_deg": dec / scale["Dec"],
            "pm_ra_star": dra / scale["dRA"],   # mas/yr on the sky
            "pm_dec": ddec / scale["dDec"],     # mas/yr
            "hd": hd,
            "mag": mag / scale["mag"],
            "bayer": bayer.split(b"\0")[0].decode("latin-1"),
            "name": long_name.split(b"\0")[0].decode("latin-1").strip(),
        })
    return stars


def propagate(ra, dec, pm_ra_star, pm_dec, years):
    """Moves a star along its proper motion (radians, radians per year) on
    the sphere, radial velocity ignored. Returns the new position and the
    proper motion there."""
    sa, ca, sd, cd = math.sin(ra), math.cos(ra), math.sin(dec), math.cos(dec)
    r = (cd * ca, cd * sa, sd)
    p = (-sa, ca, 0.0)
    q = (-sd * ca, -sd * sa, cd)
    v = [pm_ra_star * p[k] + pm_dec * q[k] for k in range(3)]
    x = [r[k] + years * v[k] for k in range(3)]
    n = math.sqrt(sum(c * c for c in x))
    x = [c / n for c in x]
    ra1 = math.atan2(x[1], x[0]) % (2.0 * math.pi)
    dec1 = math.asin(max(-1.0, min(1.0, x[2])))
    sa, ca, sd = math.sin(ra1), math.cos(ra1), math.sin(dec1)
    p1 = (-sa, ca, 0.0)
    q1 = (-sd * ca, -sd * sa, math.cos(dec1))
    return ra1, dec1, sum(v[k] * p1[k] for k in range(3)), sum(v[k] * q1[k] for k in range(3))


def designation(bayer):
    """KStars' 7-character designation ("alp1Cen", "88  Aqr") as text a user
    reads ("Alpha1 Cen", "88 Aqr"); empty when there is none."""
    # A leading "." stands for a blank (".b  Cen" is b Centauri).
    if bayer.startswith("."):
        bayer = " " + bayer[1:]
    if len(bayer) < 7:
        return ""
    letter, component, constellation = bayer[:3].strip(), bayer[3:4].strip(), bayer[4:].strip()
    if not letter or not constellation:
        return ""
    return f"{GREEK.get(letter, letter)}{component} {constellation}"


GREEK_ORDER = list(GREEK)


def lead_rank(star):
    """Where the star's Bayer letter stands in the Greek alphabet; stars
    without one come after every lettered star."""
    letter = star["bayer"][:3].strip()
    return GREEK_ORDER.index(letter) if letter in GREEK_ORDER else len(GREEK_ORDER)


def select(stars, faintest, merge_arcsec):
    # A proper name that the source gives to two stars ("Markab" is alpha
    # Pegasi and kappa Velorum) stays with the star of the earlier Bayer
    # letter, the constellation's lead star; the other is listed by its
    # designation.
    owner = {}
    for s in stars:
        if s["name"] and (s["name"] not in owner or lead_rank(s) < lead_rank(owner[s["name"]])):
            owner[s["name"]] = s
    chosen = []
    used_names = set()
    for s in sorted(stars, key=lambda s: (s["mag"], s["ra_h"])):
        if s["mag"] > faintest:
            continue
        ra = math.radians(s["ra_h"] * 15.0)
        dec = math.radians(s["dec_deg"])
        # A companion closer than this to a brighter listed star cannot be
        # told apart in a finder.
        if any(separation(ra, dec, c["ra0"], c["dec0"]) < merge_arcsec * MAS * 1000.0
               for c in chosen):
            continue
        name = s["name"] if s["name"] and owner[s["name"]] is s else ""
        if not name or name in used_names:
            name = designation(s["bayer"]) or (f"HD {s['hd']}" if s["hd"] else "")
        if not name or name in used_names:
            continue
        used_names.add(name)
        years = TARGET_EPOCH - HIPPARCOS_EPOCH
        ra2k, dec2k, pm_ra_star, pm_dec = propagate(ra, dec, s["pm_ra_star"] * MAS,
                                                    s["pm_dec"] * MAS, years)
        chosen.append({"name": name, "mag": s["mag"], "ra0": ra, "dec0": dec, "ra": ra2k,
                       "dec": dec2k, "pm_ra": pm_ra_star / math.cos(dec2k) / MAS,
                       "pm_dec": pm_dec / MAS})
    return chosen


def separation(ra1, dec1, ra2, dec2):
    c = math.sin(dec1) * math.sin(dec2) + math.cos(dec1) * math.cos(dec2) * math.cos(ra1 - ra2)
    return math.acos(max(-1.0, min(1.0, c)))


def csv_line(star):
    # Names hold no double quotes (checked); the quotes keep a comma in a
    # name from splitting the field.
    return (f"\"{star['name']}\",{star['mag']:.2f},{math.degrees(star['ra']):.6f},"
            f"{math.degrees(star['dec']):.6f},{star['pm_ra']:.2f},{star['pm_dec']:.2f}")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kstars-dir", default="/usr/share/kstars",
                        help="folder holding namedstars.dat and starnames.dat")
    parser.add_argument("--output", default=os.path.join(os.path.dirname(
        os.path.abspath(__file__)), "SitingStars02.csv"))
    parser.add_argument("--faintest", type=float, default=4.0,
                        help="faintest visual magnitude listed")
    parser.add_argument("--merge-arcsec", type=float, default=60.0,
                        help="drop a star this close to a brighter listed one")
    args = parser.parse_args(argv)
    try:
        stars = read_stars(args.kstars_dir)
    except (OSError, FormatError, struct.error) as e:
        print(f"make_siting_stars: {e}", file=sys.stderr)
        return 1
    chosen = select(stars, args.faintest, args.merge_arcsec)
    if any('"' in s["name"] for s in chosen):
        print("make_siting_stars: a star name holds a double quote", file=sys.stderr)
        return 1
    with open(args.output, "w", encoding="utf-8", newline="\n") as out:
        for s in chosen:
            out.write(csv_line(s) + "\n")
    north = sum(1 for s in chosen if s["dec"] >= 0)
    print(f"{len(chosen)} stars ({north} north, {len(chosen) - north} south) -> {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
