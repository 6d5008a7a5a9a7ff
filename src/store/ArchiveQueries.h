#pragma once

#include "store/ArchivedFrame.h"

#include <QString>
#include <QtGlobal>

class StationDatabase;

// Questions the archive's command-line readers and writers ask besides TelemetryArchive's.

// The number of archived frames with fromMs <= reception time <= toMs (frames known only from
// the upload queue not counted), after committing the buffered writes. The capture import
// compares it before and after a batch to tell new frames from ones already present, since
// the archive silently skips a frame it holds. -1 with *error when it cannot be counted.
qint64 countArchivedFrames(StationDatabase &database, qint64 fromMs, qint64 toMs, QString *error);

// Of the channels in `wanted`, those with a value in a frame with fromMs <= reception time <
// toMs (the export's columns), without reading the frames. Sets *error when it cannot tell.
ArchivedFrame::Present channelsWithValues(StationDatabase &database, const ArchivedFrame::Present &wanted,
                                          qint64 fromMs, qint64 toMs, QString *error);
