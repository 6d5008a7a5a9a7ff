#pragma once

#include "decode/CaptureFileReader.h"

#include <QString>

#include <cstdio>

class QFile;

// The capture-file inputs of the offline commands (`halvora1 decode`, `halvora1 import`):
// opening one as a stream and reporting its damaged spans, the same way for both.

// Opens path (or stdin for "-") for reading as a stream. Only regular files and pipes are
// read: a directory or a device would be an endless or meaningless input. Returns the reason
// when it cannot.
QString openCaptureInput(const QString &path, QFile &file);

// "FILE: offset N: M bytes skipped (reason)" on err.
void printCaptureDamage(std::FILE *err, const QString &path, const CaptureFileReader::Damage &damage);
