#pragma once

#include <QStringList>

#include <cstdio>

// `halvora1 import [--station-dir DIR] FILE.kss...`: adds the satellite frames of capture files
// to the station's telemetry archive (see CaptureImport), one summary line per file on out,
// damaged spans on err as `halvora1 decode` reports them. Works beside a running station.
// Called by main() with the arguments after "import"; returns the exit status (0 every file
// read to its end, 1 a file or the database could not be read or written, 2 a usage error).
int runImportCommand(const QStringList &arguments, std::FILE *out, std::FILE *err);
