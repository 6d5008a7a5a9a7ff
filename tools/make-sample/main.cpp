// make-sample: writes the bundled sample capture, a simulated ten-minute pass of Halvora-1 over
// a station that also hears other packet traffic. Deterministic (fixed seed, fixed start time),
// so the committed file can be regenerated and compared:
//   build/bin/make-sample samples/halvora1-sample.kss
#include "link/Kiss.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>

#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

namespace {

// Destination XR9KG-1, source XR9K-11 (last address), UI control, then the PID byte.
const QByteArray SatelliteHeader = QByteArray::fromHex("00B0A472968E4062B0A4729640407703F0");

std::mt19937 rng(20260314);

// A whole number in [-spread, spread]; a plain modulo, since the standard distributions may
// differ between library versions and the file must not.
int jitter(int spread)
{
    return spread == 0 ? 0 : int(rng() % unsigned(2 * spread + 1)) - spread;
}

void putInt16(QByteArray &frame, int position, int value)
{
    frame[position - 1] = char(value & 0xFF);
    frame[position] = char((value >> 8) & 0xFF);
}

void putUInt32(QByteArray &frame, int position, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        frame[position - 1 + i] = char((value >> (8 * i)) & 0xFF);
}

// A satellite frame of the given length (record data bytes) with the two classification groups
// at positions 18 to 25; the rest starts as filler bytes that the family writers overwrite.
QByteArray satelliteFrame(const char *groups, int length)
{
    QByteArray frame = SatelliteHeader + QByteArray::fromHex(groups);
    while (frame.size() < length)
        frame.append(char(rng() & 0xFF));
    return frame;
}

// AX.25 address field of a callsign with SSID; last marks the end of the address list.
QByteArray address(const char *call, int ssid, bool last)
{
    QByteArray field(call);
    field = field.leftJustified(6, ' ');
    for (char &c : field)
        c = char(c << 1);
    field.append(char(0x60 | (ssid << 1) | (last ? 1 : 0)));
    return field;
}

QByteArray foreignFrame(const char *to, const char *from, int ssid, const QByteArray &info)
{
    return QByteArray(1, '\0') + address(to, 0, false) + address(from, ssid, true) + '\x03' +
           '\xF0' + info;
}

// Raw readings of the 48 EPS channels, chosen so the calibrated values are plausible: bus and
// battery near 8 V, rails at 3.3/5/12 V, battery temperatures near 20 C, currents in mA.
struct EpsChannel { int raw; int spread; };
constexpr std::array<EpsChannel, 48> EpsNominal{{
    {452, 3},  // 1 bus voltage, 8.0 V
    {254, 2},  // 2 MPB >1119, 8.1 V
    {2660, 6}, // 3 MPB >1230, 3.3 V
    {2677, 4}, // 4 3V3 A out, 3.3 V
    {390, 20}, // 5 3V3 A current, 120 mA
    {262, 15}, // 6 3V3 B current, 80 mA
    {4037, 5}, // 7 5V out, 5.0 V
    {302, 20}, // 8 5V A current, 150 mA
    {124, 10}, // 9 5V B current, 60 mA
    {3191, 6}, // 10 12V out, 12.0 V
    {65, 6},   // 11 12V A current, 40 mA
    {48, 5},   // 12 12V B current, 30 mA
    {505, 8},  // 13 SPB out, 16 V
    {213, 15}, // 14 SPB A current, 250 mA
    {196, 15}, // 15 SPB B current, 230 mA
    {447, 2},  // 16 battery A, 7.9 V
    {17, 1},   // 17 BP A FB current, 200 mA
    {22, 2},   // 18 BP A TB current, 150 mA
    {111, 0},  // 19 battery A temperature, 18 C (drifts up over the pass)
    {448, 2},  // 20 battery B, 7.9 V
    {17, 1},   // 21 BP B FB current, 190 mA
    {20, 2},   // 22 BP B TB current, 140 mA
    {116, 0},  // 23 battery B temperature, 22 C (drifts up over the pass)
    {68, 5},   // 24 MPPT A current, 300 mA
    {64, 5},   // 25 MPPT B current, 280 mA
    {61, 5},   // 26 MPPT C current, 260 mA
    {4033, 4}, // 27 ADCS 5 V
    {968, 30}, // 28 ADCS current, 45 mA
    {2665, 4}, // 29 COM 3.3 V
    {326, 20}, // 30 camera current, 20 mA
    {2662, 4}, // 31 CDHS A 3.3 V
    {968, 25}, // 32 CDHS A current, 60 mA
    {2652, 4}, // 33 CDHS B 3.3 V
    {892, 25}, // 34 CDHS B current, 55 mA
    {2663, 4}, // 35 CDHS switch 3.3 V
    {163, 10}, // 36 CDHS switch current, 10 mA
    {2663, 4}, // 37 COM 3.3 V
    {1090, 40},// 38 COM current, 90 mA
    {4033, 4}, // 39 COM 5 V
    {1203, 60},// 40 COM 5 V current, 200 mA while transmitting
    {2657, 4}, // 41 payload 3.3 V
    {677, 20}, // 42 payload 3.3 V current, 15 mA
    {4033, 4}, // 43 payload 5 V
    {306, 15}, // 44 payload 5 V current, 25 mA
    {249, 12}, // 45 payload 12 V current, 35 mA
    {328, 10}, // 46 coil A current, 20 mA
    {-246, 10},// 47 coil B current, -15 mA
    {82, 8},   // 48 coil C current, 5 mA
}};

struct Pass
{
    QDateTime start;
    double progress = 0; // 0 at acquisition of signal, 1 at loss
    int frameNumber = 0;
    quint32 packetsToGround = 48211;
    quint32 packetsFromGround = 1307;
    quint32 packetsDropped = 219;
    quint32 uptimeSeconds = 1'863'407;
};

QByteArray epsDebug(const Pass &pass, const QDateTime &rxTime)
{
    QByteArray frame = satelliteFrame("0006007A02030076", 143);
    for (int c = 1; c <= 48; ++c) {
        int raw = EpsNominal[std::size_t(c - 1)].raw + jitter(EpsNominal[std::size_t(c - 1)].spread);
        if (c == 19 || c == 23) // the batteries warm in the sun: about +6 C over the pass
            raw += int(std::lround(8 * pass.progress));
        putInt16(frame, 24 + 2 * c, raw);
    }
    // The satellite's clock runs 4 s behind the station's.
    const QDateTime sat = rxTime.addSecs(-4);
    const std::array<int, 6> satTime{sat.time().second(), sat.time().minute(), sat.time().hour(),
                                     sat.date().day(), sat.date().month(), sat.date().year() - 2000};
    for (std::size_t i = 0; i < satTime.size(); ++i)
        frame[int(137 + i)] = char(satTime[i]);
    return frame;
}

QByteArray adcsMeasurements(const Pass &pass)
{
    QByteArray frame = satelliteFrame("020600600262205C", 130);
    putInt16(frame, 78, 21 + jitter(1));  // temperature sensors
    putInt16(frame, 80, 19 + jitter(1));
    for (int k = 2; k < 14; ++k)          // four gyros, slowly tumbling: near zero
        putInt16(frame, 78 + 2 * k, jitter(4));
    const double angle = 2 * std::numbers::pi * pass.progress;
    const std::array<double, 6> field{310 * std::cos(angle), 280 * std::sin(angle), -150.0,
                                      305 * std::cos(angle), 285 * std::sin(angle), -148.0};
    for (int k = 14; k < 20; ++k)         // two magnetometers turning with the orbit
        putInt16(frame, 78 + 2 * k, int(std::lround(field[std::size_t(k - 14)])) + jitter(3));
    return frame;
}

QByteArray comHousekeeping(Pass &pass)
{
    QByteArray frame = satelliteFrame("0106001900050015", 60);
    pass.packetsToGround += 6 + quint32(rng() % 3);
    pass.packetsFromGround += rng() % 2;
    pass.packetsDropped += (rng() % 4 == 0) ? 1 : 0;
    putInt16(frame, 26, 17);              // resets since launch
    putInt16(frame, 28, 24 + jitter(1));  // transceiver temperatures
    putInt16(frame, 30, 27 + jitter(1));
    // Signal strength rises towards culmination and falls again.
    const double elevation = std::sin(std::numbers::pi * pass.progress);
    frame[31] = char(-110 + int(std::lround(35 * elevation)) + jitter(2));
    frame[33] = char(-118 + jitter(2));   // noise floor
    putUInt32(frame, 35, pass.packetsToGround);
    putUInt32(frame, 39, pass.packetsFromGround);
    putUInt32(frame, 43, pass.packetsDropped);
    return frame;
}

QByteArray cdhsBeacon(Pass &pass, int secondsSinceLast)
{
    QByteArray frame = satelliteFrame("020600220200201E", 48);
    pass.uptimeSeconds += quint32(secondsSinceLast);
    putUInt32(frame, 26, pass.uptimeSeconds);
    putUInt32(frame, 30, 17);                               // boots
    // A frame counter starting at 0xDBC0, so its bytes hold both KISS escape triggers.
    putUInt32(frame, 34, 0xDBC0u + quint32(pass.frameNumber));
    putUInt32(frame, 38, 0x00000DB0u);                      // stored commands checksum
    return frame;
}

QByteArray cameraData(int chunk)
{
    QByteArray frame = satelliteFrame("0506000000000000", 236);
    frame[20] = char(chunk);
    if (chunk == 0) { // a JPEG starts here; its markers bring 0xC0 and 0xDB into the frame
        const QByteArray soi = QByteArray::fromHex("FFD8FFE000104A464946FFDB0043FFC00011");
        frame.replace(25, soi.size(), soi);
    }
    return frame;
}

QByteArray foreignTraffic(int n)
{
    switch (n % 4) {
    case 0:
        return foreignFrame("APRS", "DL1HVR", 9, "!5230.12N/01322.45E>mobile 13.8V");
    case 1:
        return foreignFrame("BEACON", "OK2XYZ", 0, "digi OK2XYZ-0 JN89 up 42 days");
    case 2: // a binary payload holding 0xC0 and 0xDB
        return foreignFrame("TLM", "SP5QRS", 2, QByteArray::fromHex("0102C003DB04DBDCC0DD05"));
    default:
        return foreignFrame("APRS", "G4ABC", 7, ">weather 1013 hPa 12C");
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-sample OUTPUT.kss\n");
        return 2;
    }

    Pass pass;
    pass.start = QDateTime(QDate(2026, 3, 14), QTime(10, 2, 17, 250), Qt::UTC);
    constexpr int PassSeconds = 600;

    // One full cycle of the satellite's downlink schedule; camera bursts come every third cycle.
    const std::array<const char *, 8> schedule{"eps-beacon", "com-hk",  "eps-debug", "adcs",
                                               "cdhs",       "adcs-beacon", "com-beacon",
                                               "request"};
    QByteArray out;
    int lastCdhs = 0;
    int cycle = 0;
    std::size_t slot = 0;
    int cameraChunk = 0;
    std::array<int, 10> counts{};
    for (double ms = 0; ms < PassSeconds * 1000.0;) {
        const QDateTime rx = pass.start.addMSecs(qint64(ms));
        pass.progress = ms / (PassSeconds * 1000.0);

        if (rng() % 5 == 0) { // another station is heard between satellite frames
            Kiss::appendFrameRecord(out, foreignTraffic(int(rng() % 4)));
            ++counts[9];
        }

        const QByteArray kind = (cycle % 3 == 2 && slot == 6 && cameraChunk < 3 * (cycle / 3 + 1))
                                    ? QByteArray("camera")
                                    : QByteArray(schedule[slot]);
        QByteArray frame;
        if (kind == "eps-beacon") {
            frame = satelliteFrame("0206007A02032076", 90), ++counts[0];
        } else if (kind == "com-hk") {
            frame = comHousekeeping(pass), ++counts[1];
        } else if (kind == "eps-debug") {
            frame = epsDebug(pass, rx), ++counts[2];
        } else if (kind == "adcs") {
            frame = adcsMeasurements(pass), ++counts[3];
        } else if (kind == "cdhs") {
            frame = cdhsBeacon(pass, int(ms / 1000) - lastCdhs), ++counts[4];
            lastCdhs = int(ms / 1000);
        } else if (kind == "adcs-beacon") {
            frame = satelliteFrame("0206006E0201206A", 70), ++counts[5];
        } else if (kind == "com-beacon") {
            frame = satelliteFrame("0206001D02022019", 64), ++counts[6];
        } else if (kind == "camera") {
            frame = cameraData(cameraChunk++), ++counts[7];
        } else {
            frame = satelliteFrame("0306004002102030", 40), ++counts[8];
        }
        ++pass.frameNumber;
        Kiss::appendFrameRecord(out, frame);
        Kiss::appendTimeRecord(out, rx.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1() + " UTC");

        if (kind != "camera" && ++slot == schedule.size()) {
            slot = 0;
            ++cycle;
        }
        ms += 3500 + double(rng() % 4000); // 3.5 to 7.5 s between satellite frames
    }

    for (const int count : counts) {
        if (count < 2) {
            std::fprintf(stderr, "make-sample: a packet type came out fewer than twice\n");
            return 1;
        }
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(out) != out.size()) {
        std::fprintf(stderr, "make-sample: cannot write %s: %s\n", argv[1],
                     qPrintable(file.errorString()));
        return 1;
    }
    std::printf("%s: %lld bytes; EPS beacon %d, COM housekeeping %d, EPS debug %d, ADCS "
                "measurements %d, CDHS beacon %d, ADCS beacon %d, COM beacon %d, camera %d, "
                "on request %d, other stations %d\n",
                argv[1], qlonglong(out.size()), counts[0], counts[1], counts[2], counts[3],
                counts[4], counts[5], counts[6], counts[7], counts[8], counts[9]);
    return 0;
}
