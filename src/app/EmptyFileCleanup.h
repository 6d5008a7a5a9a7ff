#pragma once

#include <QString>
#include <QStringList>

// The shutdown clean-up: removes empty files that this program writes (capture files, debug
// reports, screenshots) from the given directories, and never any other file. `keepPath` (the
// capture file while it is still open) stays. Called by the Station on Exit and window close.
void removeEmptyOwnFiles(const QStringList &directories, const QString &keepPath);
