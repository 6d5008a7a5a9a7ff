#include "decode/FrameDecoder.h"

#include <cstdio>

namespace {

// EPS debug data: channel c's raw reading is the signed 16-bit field at 24 + 2c. Voltages and
// temperatures are gain * raw + offset; currents are in mA: (1000 * gain) * raw + offset, the
// offset not scaled. Evaluated in this order, in double precision.
enum class Scale { Plain, Current };
struct Calibration
{
    double gain;
    double offset;
    Scale scale;
};

constexpr Calibration EpsCalibration[48] = {
    {0.017661126672891, 0.01227675070028, Scale::Plain},       // 1 Bus Voltage V
    {0.032056008206331, -0.063455363423293, Scale::Plain},     // 2 MPB >1119 V
    {0.001240978485204, -0.001670625667674, Scale::Plain},     // 3 MPB >1230 V
    {0.001239297508154, -0.0175576167334, Scale::Plain},       // 4 3V3 A out V
    {0.000307740537275, -0.007227057683794, Scale::Current},   // 5 3V3 A Curr mA
    {0.000305598820395, -0.003097088415096, Scale::Current},   // 6 3V3 B Curr mA
    {0.001241455722774, -0.011397965741097, Scale::Plain},     // 7 5V out V
    {0.000496864282324, -0.013722097125216, Scale::Current},   // 8 5V A Curr mA
    {0.000484600162214, -0.011070410095182, Scale::Current},   // 9 5V B Curr mA
    {0.003765257451056, -0.016382347458153, Scale::Plain},     // 10 12V out V
    {0.00061703239377, -0.010855060016466, Scale::Current},    // 11 12V A Curr mA
    {0.000619231089947, -0.028026264107733, Scale::Current},   // 12 12V B Curr mA
    {0.031684456961804, 0.001022607522009, Scale::Plain},      // 13 SPB out V
    {0.001175879850833, -0.000479332245659, Scale::Current},   // 14 SPB A Curr mA
    {0.001173234471507, -0.000230876354737, Scale::Current},   // 15 SPB B Curr mA
    {0.017686154075981, 0.003877355151542, Scale::Plain},      // 16 Batt A Volt V
    {0.011643166228315, 0.001093081874496, Scale::Current},    // 17 BP A FB Curr mA
    {0.006960825385507, -0.003603889505628, Scale::Current},   // 18 BP A TB Curr mA
    {0.7139, -61.1111, Scale::Plain},                          // 19 Batt A Temp C
    {0.017645083640731, 0.013681971347675, Scale::Plain},      // 20 Batt B Volt V
    {0.011459578990765, -0.011059187936168, Scale::Current},   // 21 BP B FB Curr mA
    {0.006834502636068, 6.8123352458e-05, Scale::Current},     // 22 BP B TB Curr mA
    {0.7139, -61.1111, Scale::Plain},                          // 23 Batt B Temp C
    {0.004385249106201, 0.002086632886648, Scale::Current},    // 24 MPPT A Curr mA
    {0.004347280436541, -0.001437665087022, Scale::Current},   // 25 MPPT B Curr mA
    {0.004260408770244, 0.00140923632143, Scale::Current},     // 26 MPPT C Curr mA
    {0.001239849194801, -0.00125512344597, Scale::Plain},      // 27 ADCurr 5V V
    {4.6471814697e-05, 3.84364818e-06, Scale::Current},        // 28 ADCurr Curr mA
    {0.001237470645652, 0.001784230632145, Scale::Plain},      // 29 COM 3V3 V
    {6.1348145579e-05, -0.000578278740385, Scale::Current},    // 30 CAM 3V3 Curr mA
    {0.001239511252849, 0.000777555005378, Scale::Plain},      // 31 CDHS A 3V3 V
    {6.1955527037e-05, -0.000618979371252, Scale::Current},    // 32 CDHS A Curr mA
    {0.001244129507935, 4.987280334e-05, Scale::Plain},        // 33 CDHS B 3V3 V
    {6.1638045431e-05, -0.000501746101317, Scale::Current},    // 34 CDHS B Curr mA
    {0.001239256782264, -8.0020847497e-05, Scale::Plain},      // 35 CDHS BSW 3 V
    {6.1525391057e-05, -0.000926672058646, Scale::Current},    // 36 CDHS BSW C mA
    {0.001238232492997, 0.002153315593004, Scale::Plain},      // 37 COM 3V3 V
    {8.259719615e-05, 5.2142629031e-05, Scale::Current},       // 38 COM Curr mA
    {0.001239849194801, -0.002494972640338, Scale::Plain},     // 39 COM 5V V
    {0.000166248207188, -0.001992755604798, Scale::Current},   // 40 COM 5 Curr mA
    {0.001235632561973, 0.016376929117088, Scale::Plain},      // 41 PL 3V3 V
    {2.2159851262e-05, -0.000377994847878, Scale::Current},    // 42 PL 3V3 Curr mA
    {0.001239849194801, -0.00125512344597, Scale::Plain},      // 43 PL 5V V
    {8.1666238202e-05, -0.000244038892911, Scale::Current},    // 44 PL 5V Curr mA
    {0.000140486079184, -0.004367297465347, Scale::Current},   // 45 PL 12V Curr mA
    {6.1035e-05, 0.0, Scale::Current},                         // 46 Coil A Curr mA
    {6.1035e-05, 0.0, Scale::Current},                         // 47 Coil B Curr mA
    {6.1035e-05, 0.0, Scale::Current},                         // 48 Coil C Curr mA
};

// Satellite time bytes: second, minute, hour, day, month, year - 2000.
constexpr int SatTimePosition = 138;

using Record = TelemetryHistory::Record;

template <typename Value>
void store(Record &record, ChannelSet &stored, int channel, std::optional<Value> raw)
{
    if (!raw)
        return;
    record.values[std::size_t(channel)] = double(*raw);
    stored.set(std::size_t(channel));
}

void decodeEpsDebug(FrameView frame, const QString &frameTimeText, Record &record,
                    FrameDecodeResult &result)
{
    record.rxTime = frameTimeText;

    if (frame.size() >= std::size_t(SatTimePosition + 5)) {
        const auto byte = [&](int offset) { return int(frame[std::size_t(SatTimePosition - 1 + offset)]); };
        char text[32];
        const int length = std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d",
                                         2000 + byte(5), byte(4), byte(3), byte(2), byte(1), byte(0));
        record.satTime = QString::fromLatin1(text, length);
        result.satTimeStored = true;
    }

    for (int channel = 1; channel <= 48; ++channel) {
        const std::optional<std::int16_t> raw = ReadInt16(frame, 24 + 2 * channel);
        if (!raw)
            continue;
        const Calibration &c = EpsCalibration[channel - 1];
        const double gain = c.scale == Scale::Current ? 1000 * c.gain : c.gain;
        record.values[std::size_t(channel)] = gain * double(*raw) + c.offset;
        result.stored.set(std::size_t(channel));
    }
}

void decodeComHousekeeping(FrameView frame, const QString &frameTimeText, Record &record,
                           FrameDecodeResult &result)
{
    record.rxTime = frameTimeText;
    store(record, result.stored, 51, ReadInt16(frame, 26));
    store(record, result.stored, 52, ReadInt16(frame, 28));
    store(record, result.stored, 53, ReadInt16(frame, 30));
    store(record, result.stored, 54, ReadSByte(frame, 32));
    store(record, result.stored, 55, ReadSByte(frame, 34));
    store(record, result.stored, 56, ReadUInt32(frame, 35));
    store(record, result.stored, 57, ReadUInt32(frame, 39));
    store(record, result.stored, 58, ReadUInt32(frame, 43));
}

void decodeAdcsMeasurement(FrameView frame, Record &record, FrameDecodeResult &result)
{
    // No reception time is kept for this family: its chart rows are numbered instead.
    for (int k = 0; k <= 19; ++k)
        store(record, result.stored, 78 + k, ReadInt16(frame, 78 + 2 * k));
}

void decodeCdhsBeacon(FrameView frame, const QString &frameTimeText, Record &record,
                      FrameDecodeResult &result)
{
    record.rxTime = frameTimeText;
    for (int k = 0; k < 4; ++k)
        store(record, result.stored, 59 + k, ReadUInt32(frame, 26 + 4 * k));
}

} // namespace

QString FrameDecodeResult::headerLine() const
{
    QString line;
    line.reserve(header1.length + 3 + header2.length);
    line.append(header1.view());
    line.append(QLatin1StringView(" | "));
    line.append(header2.view());
    return line;
}

FrameDecodeResult decodeSatelliteFrame(FrameView frame, const QString &frameTimeText,
                                       TelemetryHistory &history)
{
    FrameDecodeResult result;
    result.header1 = headerHex1(frame);
    result.header2 = headerHex2(frame);
    result.type = classify(result.header1.view(), result.header2.view());
    result.family = decodedFamily(result.type);
    if (!result.family)
        return result;

    Record &record = history.append(*result.family);
    switch (*result.family) {
    case Family::EpsDebug:
        decodeEpsDebug(frame, frameTimeText, record, result);
        break;
    case Family::ComHousekeeping:
        decodeComHousekeeping(frame, frameTimeText, record, result);
        break;
    case Family::AdcsMeasurement:
        decodeAdcsMeasurement(frame, record, result);
        break;
    case Family::CdhsBeacon:
        decodeCdhsBeacon(frame, frameTimeText, record, result);
        break;
    }
    return result;
}

int firstDecodedChannel(Family family)
{
    switch (family) {
    case Family::EpsDebug:
        return 1;
    case Family::ComHousekeeping:
        return 51;
    case Family::CdhsBeacon:
        return 59;
    case Family::AdcsMeasurement:
        return 78;
    }
    return 0;
}

int lastDecodedChannel(Family family)
{
    switch (family) {
    case Family::EpsDebug:
        return 48;
    case Family::ComHousekeeping:
        return 58;
    case Family::CdhsBeacon:
        return 62;
    case Family::AdcsMeasurement:
        return 97;
    }
    return -1;
}
