#pragma once

#include "app/Station.h"
#include "support/FakeTimeSource.h"
#include "support/Programs.h"

#include <QTemporaryDir>

#include <memory>

// A Station in a temporary program directory with a fake clock, and what it asked to show.
struct StationHarness
{
    QTemporaryDir dir;
    FakeTimeSource clock;
    std::unique_ptr<Station> station;
    QStringList messageBoxes; // "title|text"

    explicit StationHarness(const QByteArray &config, StationOptions options = {})
    {
        if (!config.isNull())
            writeFile(dir.filePath(QStringLiteral("online_conf.ini")), config);
        options.programDir = dir.path();
        if (options.workingDir.isEmpty())
            options.workingDir = dir.path();
        options.timeSource = &clock;
        station = std::make_unique<Station>(options);
        QObject::connect(station.get(), &Station::messageBoxRequested,
                         [this](const QString &title, const QString &text, MessageIcon) {
                             messageBoxes << title + u'|' + text;
                         });
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    QByteArray captureBytes() const { return readFile(station->captureFilePath()); }

    // Log messages without their timestamps, newest first.
    QStringList logMessages() const
    {
        QStringList messages;
        for (const QString &entry : station->log().entries())
            messages << entry.mid(25).chopped(2);
        return messages;
    }
};
