#pragma once

#include "decode/TelemetryHistory.h"

#include <QString>
#include <QStringView>

#include <span>

// The channel value boxes' texts from the telemetry history: each box shows its channel's value
// in the latest stored record of its family. The Station runs the refresh after every
// satellite frame; the texts live in the Station, the window only shows them.

enum class BoxFormat {
    TwoDecimals, // "0.00": rounded to two decimals, the locale's decimal separator
    WholeNumber  // rounded to the nearest integer, halves to the even one; plain digits
};

// EPS debug data and COM channels 52, 53: two decimals; the other COM and the ADCS channels:
// whole numbers.
BoxFormat boxFormatOf(int channel);
QString formatBoxText(double value, BoxFormat format, QStringView decimalPoint);

// Writes texts[channel] for every channel that has a value box (a row in the channel table)
// and a place in its family's record, from the latest stored record of each family that has
// one. Boxes of families without records are left alone. decimalPoint: QLocale().decimalPoint().
void refreshChannelTexts(const TelemetryHistory &history,
                           std::span<QString, TelemetryHistory::ChannelCount + 1> texts,
                           QStringView decimalPoint);
