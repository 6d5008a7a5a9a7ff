#pragma once

#include <QStringList>

#include <cstdio>

// `halvora1 decode FILE.kss...`: decodes capture files offline and writes CSV to out, one row
// per decoded value (see CaptureCsvWriter). Errors go to err: a file that cannot be read is
// passed over, a damaged one is decoded up to the damage; either makes the exit status 1.
// Called by main() with the arguments after "decode"; returns the process exit status
// (0 success, 1 a file could not be read or was damaged, 2 a usage error).
int runDecodeCommand(const QStringList &arguments, std::FILE *out, std::FILE *err);
