#pragma once

#include <QStringList>

#include <cstdio>

// `halvora1 queue [--station-dir DIR] [--retry-rejected]`: prints the upload queue's waiting,
// rejected and delivered counts and the oldest waiting reception time; --retry-rejected puts
// rejected frames back to waiting. Works beside a running station on the same directory.
// Called by main() with the arguments after "queue"; returns the exit status (0 done, 1 the
// database cannot be opened or read, 2 a usage error).
int runQueueCommand(const QStringList &arguments, std::FILE *out, std::FILE *err);
