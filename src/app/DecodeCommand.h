#pragma once

#include <QStringList>

#include <cstdio>

// `halvora1 decode FILE.kss...`: decodes capture files offline and writes CSV to out, one row
// per decoded value (see CaptureCsvWriter). Each file is read as a stream ("-" is stdin). A
// damaged spot is reported on err as "FILE: offset N: M bytes skipped (reason)" and decoding
// goes on after it; a file that cannot be opened or read, or is neither a regular file nor a
// pipe, is reported and passed over.
// Called by main() with the arguments after "decode"; returns the process exit status
// (0 every file read to its end, 1 a file could not be read, 2 a usage error).
int runDecodeCommand(const QStringList &arguments, std::FILE *out, std::FILE *err);
