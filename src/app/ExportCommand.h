#pragma once

#include <QStringList>

#include <cstdio>

// `halvora1 export [--station-dir DIR] [--from TIME] [--to TIME] [--channels LIST] [--long]`:
// the telemetry archive as CSV on out, one row per archived satellite frame in reception order
// with a column per channel that has a value (or `halvora1 decode`'s long format). Works beside
// a running station. Called by main() with the arguments after "export"; returns the exit
// status (0 written, 1 the output could not be written, 2 a bad argument or no archive).
int runExportCommand(const QStringList &arguments, std::FILE *out, std::FILE *err);
