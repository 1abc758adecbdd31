#ifndef RECORDING_H
#define RECORDING_H

// A recording is a CSV file (RFC 4180, UTF-8, lines ended by LF) with this
// header line, then one row per refresh:
//
//   time           local time in ISO 8601 with milliseconds and its offset,
//                  e.g. 2026-12-07T10:00:02.000+01:00
//   est..sud       light levels as received (integers)
//   vpan_V, vbat_V voltages in volts, one decimal (13.8)
//   ipan_mA, ibat_mA currents in milliamperes (integers)
//   charge, pleine, vide  battery flags, 1 when set ("01"), else 0
//   azimut_deg, elevation_deg  angles in degrees (integers)
//   status         "ok" when the controller answered; "no reply" when it did
//                  not; otherwise the port's error text. The thirteen value
//                  fields are empty in a row whose status is not "ok".
//
// A field that holds a comma, a double quote, CR or LF is quoted, with its
// double quotes doubled.
constexpr const char *recordingHeader =
    "time,est,ouest,nord,sud,vpan_V,vbat_V,ipan_mA,ibat_mA,charge,pleine,vide,"
    "azimut_deg,elevation_deg,status";

#endif // RECORDING_H
