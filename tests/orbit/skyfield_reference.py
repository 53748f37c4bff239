"""Look angles and passes from Skyfield, the independent reference the orbit tests compare with.

Usage: skyfield_reference.py LINE1 LINE2 LAT LON HEIGHT_M Y M D h m s DAYS LOOK_STEP_MIN
Prints "look K AZ EL RANGE_KM RANGE_RATE_KMS" for the K-th look step from the start, then
"rise|culm|set OFFSET_S ELEVATION" for every event, offsets in seconds from the start. Skyfield's
event finder is good to about a second, so rises and sets are bisected on its elevation to a
millisecond here. UT1 is made equal to UTC, as in the code under test.
"""
import sys

import numpy
from skyfield.api import EarthSatellite, load, wgs84

line1, line2 = sys.argv[1], sys.argv[2]
lat, lon, height = (float(a) for a in sys.argv[3:6])
year, month, day, hour, minute = (int(a) for a in sys.argv[6:11])
second, days, look_step = (float(a) for a in sys.argv[11:14])

# A fixed delta T of TT - UTC at the start gives UT1 = UTC throughout the window.
builtin = load.timescale().utc(year, month, day, hour, minute, second)
ts = load.timescale(delta_t=float(builtin.delta_t + builtin.dut1))


def at(offset):
    return ts.utc(year, month, day, hour, minute, second + offset)


assert abs(at(0.0).dut1) < 1e-9, "UT1 is not UTC"

satellite = EarthSatellite(line1, line2, "reference", ts)
station = wgs84.latlon(lat, lon, elevation_m=height)
relative = satellite - station

count = int(days * 1440 / look_step) + 1
times = at(numpy.arange(count) * look_step * 60.0)
alt, az, distance, _, _, range_rate = relative.at(times).frame_latlon_and_rates(station)
for k in range(count):
    print("look %d %.9f %.9f %.6f %.9f" % (k, az.degrees[k], alt.degrees[k], distance.km[k],
                                          range_rate.km_per_s[k]))


def elevation(offset):
    return relative.at(at(offset)).altaz()[0].degrees


events_t, events = satellite.find_events(station, at(0.0), at(days * 86400.0),
                                         altitude_degrees=0.0)
for t, event in zip(events_t, events):
    offset = (t.tt - at(0.0).tt) * 86400.0
    if event == 1:
        print("culm %.6f %.9f" % (offset, elevation(offset)))
        continue
    # Bisect on the sign of the elevation (rising for event 0, setting for event 2).
    below, above = (offset - 10.0, offset + 10.0) if event == 0 else (offset + 10.0, offset - 10.0)
    assert elevation(below) < 0.0 <= elevation(above), "the event is not bracketed"
    while abs(above - below) > 1e-3:
        middle = 0.5 * (below + above)
        if elevation(middle) < 0.0:
            below = middle
        else:
            above = middle
    print("%s %.6f 0" % ("rise" if event == 0 else "set", 0.5 * (below + above)))
