#include "decode/ChannelRefresh.h"

#include "telemetry/ChannelTable.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace {

struct Box
{
    int channel;
    BoxFormat format;
};

struct FamilyBoxes
{
    Family family;
    std::vector<Box> boxes; // channels with a value box and a place in the record, increasing
};

// In the refresh's order: ADCS measurements, CDHS beacon, COM housekeeping, EPS debug data.
const std::vector<FamilyBoxes> &familyBoxes()
{
    static const std::vector<FamilyBoxes> boxes = [] {
        const struct { Family family; int first, last; } ranges[] = {
            {Family::AdcsMeasurement, 78, 98},
            {Family::CdhsBeacon, 59, 77},
            {Family::ComHousekeeping, 51, 58},
            {Family::EpsDebug, 1, 50},
        };
        std::vector<FamilyBoxes> result;
        for (const auto &range : ranges) {
            FamilyBoxes family{range.family, {}};
            for (int channel = range.first; channel <= range.last; ++channel) {
                if (ChannelTable::find(channel) && TelemetryHistory::hasPlace(range.family, channel))
                    family.boxes.push_back({channel, boxFormatOf(channel)});
            }
            result.push_back(std::move(family));
        }
        return result;
    }();
    return boxes;
}

} // namespace

BoxFormat boxFormatOf(int channel)
{
    const std::optional<Family> family = TelemetryHistory::familyOf(channel);
    if (family == Family::AdcsMeasurement)
        return BoxFormat::WholeNumber;
    if (family == Family::ComHousekeeping && channel != 52 && channel != 53)
        return BoxFormat::WholeNumber;
    return BoxFormat::TwoDecimals;
}

QString formatBoxText(double value, BoxFormat format, QStringView decimalPoint)
{
    char digits[400]; // fixed notation of the largest double needs 309 digits
    char *end = digits;
    if (format == BoxFormat::WholeNumber) {
        // nearbyint rounds in the default mode: to nearest, halves to even. The mended 32-bit
        // reader gives values up to 4294967295, so the text is not held to 32 bits.
        const double rounded = std::nearbyint(value);
        if (std::fabs(rounded) < 9.2e18)
            end = std::to_chars(digits, std::end(digits), static_cast<long long>(rounded)).ptr;
        else
            end = std::to_chars(digits, std::end(digits), rounded, std::chars_format::fixed, 0).ptr;
        return QString::fromLatin1(digits, end - digits);
    }

    end = std::to_chars(digits, std::end(digits), value, std::chars_format::fixed, 2).ptr;
    const char *begin = digits;
    // A value that rounds to zero is written without a sign.
    if (end - begin == 5 && std::string_view(begin, 5) == "-0.00")
        ++begin;
    // Digits, the locale's separator, two decimals: built in place, one allocation.
    const qsizetype whole = end - begin - 3;
    QString text(whole + decimalPoint.size() + 2, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < whole; ++i)
        *out++ = QLatin1Char(begin[i]);
    for (const QChar c : decimalPoint)
        *out++ = c;
    *out++ = QLatin1Char(end[-2]);
    *out = QLatin1Char(end[-1]);
    return text;
}

void refreshChannelTexts(const TelemetryHistory &history,
                           std::span<QString, TelemetryHistory::ChannelCount + 1> texts,
                           QStringView decimalPoint)
{
    for (const FamilyBoxes &family : familyBoxes()) {
        const TelemetryHistory::Record *latest = history.latest(family.family);
        if (!latest)
            continue;
        for (const Box &box : family.boxes) {
            texts[std::size_t(box.channel)] =
                formatBoxText(latest->values[std::size_t(box.channel)], box.format, decimalPoint);
        }
    }
}
