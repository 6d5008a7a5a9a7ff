#pragma once

#include "app/Station.h"
#include "support/FixedTimeSource.h"

#include <QByteArray>
#include <QTemporaryDir>

// A temporary program directory with an online_conf.ini, and the Station options that point
// at it with a fixed clock (5 December 2026, 13:05:09.123, UTC).
class StationDir
{
public:
    StationDir();
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    void writeConfig(const QByteArray &content) const;
    StationOptions options() const;
    FixedTimeSource &clock() { return m_clock; }

private:
    QTemporaryDir m_dir;
    FixedTimeSource m_clock;
};

// A whole packet-engine raw-frame record: header "K" and the data (KISS byte, AX.25 frame).
QByteArray rawFrameRecord(const QByteArray &data);
// A raw-frame record of a frame with the satellite's addresses and the given payload.
QByteArray satelliteFrameRecord(const QByteArray &payload);
