#pragma once

#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

// Reads an application/x-www-form-urlencoded body back into its fields, the way a collection
// server does ("+" is a blank, %XX a byte; bytes are Latin-1 as the station sends them).
// Used by the telemetry-sink tool and by the tests that check what reached the server.
using FormFields = QList<QPair<QString, QString>>;

FormFields decodeFormFields(QByteArrayView body);
