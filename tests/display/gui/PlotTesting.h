#pragma once

#include "store/StationDatabase.h"
#include "store/TelemetryArchive.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

#include <initializer_list>
#include <memory>
#include <utility>

// A real station database in a temporary directory and frames to fill its archive with, for the
// plot tests.

inline qint64 utcMs(const char *isoTime)
{
    return QDateTime::fromString(QString::fromLatin1(isoTime), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

// A frame of `family` at rxTimeMs carrying the given channel values (bytes unique per time).
inline ArchivedFrame plotFrame(qint64 rxTimeMs, Family family, std::initializer_list<std::pair<int, double>> values)
{
    ArchivedFrame frame;
    frame.rxTimeMs = rxTimeMs;
    frame.frame = QByteArray::number(rxTimeMs) + QByteArray::number(int(family));
    frame.family = family;
    frame.packetType = family == Family::EpsDebug ? QStringLiteral("EPS debug data") : QStringLiteral("COM housekeeping");
    if (family == Family::EpsDebug)
        frame.satTime = QStringLiteral("2026-12-06 18:25:09");
    for (const auto &[channel, value] : values) {
        frame.values[std::size_t(channel)] = value;
        frame.present.set(std::size_t(channel));
    }
    return frame;
}

struct PlotArchive
{
    QTemporaryDir directory;
    StationDatabase database;
    std::unique_ptr<TelemetryArchive> archive;

    PlotArchive()
    {
        const StationDatabase::OpenResult opened = database.open(directory.path());
        if (!opened.ok)
            qFatal("cannot open the test database: %s", qPrintable(opened.error));
        archive = std::make_unique<TelemetryArchive>(database);
    }
};
