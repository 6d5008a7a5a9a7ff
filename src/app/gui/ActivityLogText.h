#pragma once

#include <QStringList>

class QTextDocument;

// Puts a batch of activity-log entries into the log view's document: entries for the top
// (oldest first; the newest ends at the very top) and for the bottom, then cuts the oldest
// lines beyond maxLines. Called by MainWindow when it flushes its pending texts.
void insertLogBatch(QTextDocument &document, QStringList top, const QStringList &bottom,
                    int maxLines);
