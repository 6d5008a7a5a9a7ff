#pragma once

#include "app/Station.h"
#include "support/FakeTimeSource.h"

#include <QFile>
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
        if (!config.isNull()) {
            QFile file(dir.filePath(QStringLiteral("online_conf.ini")));
            if (file.open(QIODevice::WriteOnly))
                file.write(config);
        }
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

    QByteArray captureBytes() const
    {
        QFile file(station->captureFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Log messages without their timestamps, newest first.
    QStringList logMessages() const
    {
        QStringList messages;
        for (const QString &entry : station->log().entries())
            messages << entry.mid(25).chopped(2);
        return messages;
    }
};
