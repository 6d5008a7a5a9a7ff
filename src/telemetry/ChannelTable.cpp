#include "telemetry/ChannelTable.h"

namespace ChannelTable {

namespace {

constexpr GroupBox Boxes[] = {
    {Group::Eps, "epsBox", "EPS", 120, 600, 2655, 5295},
    {Group::Power, "powerBox", "Power", 2880, 600, 2655, 5295},
    {Group::SpbMppt, "spbMpptBox", "SPB / MPPT", 5640, 600, 2655, 3495},
    {Group::Com, "comBox", "COM", 5640, 4200, 2655, 1695},
    {Group::Adcs, "adcsBox", "ADCS", 8400, 600, 2655, 5295},
};

constexpr int rowTop(int index) { return 360 + 240 * index; }

#define DEG "\xC2\xB0/s"
constexpr Row Rows[] = {
    // SPB / MPPT
    {1, "Bus Voltage", "V", Group::SpbMppt, rowTop(0)},
    {2, "MPB >1119", "V", Group::SpbMppt, rowTop(1)},
    {3, "MPB >1230", "V", Group::SpbMppt, rowTop(2)},
    {13, "SPB out", "V", Group::SpbMppt, rowTop(3)},
    {14, "SPB A Curr", "mA", Group::SpbMppt, rowTop(4)},
    {15, "SPB B Curr", "mA", Group::SpbMppt, rowTop(5)},
    {24, "MPPT A Curr", "mA", Group::SpbMppt, rowTop(6)},
    {25, "MPPT B Curr", "mA", Group::SpbMppt, rowTop(7)},
    {26, "MPPT C Curr", "mA", Group::SpbMppt, rowTop(8)},
    {46, "Coil A Curr", "mA", Group::SpbMppt, rowTop(9)},
    {47, "Coil B Curr", "mA", Group::SpbMppt, rowTop(10)},
    {48, "Coil C Curr", "mA", Group::SpbMppt, rowTop(11)},
    // Power: one empty row between channel 23 and channel 4
    {16, "Batt A Volt", "V", Group::Power, rowTop(0)},
    {17, "BP A FB Curr", "mA", Group::Power, rowTop(1)},
    {18, "BP A TB Curr", "mA", Group::Power, rowTop(2)},
    {19, "Batt A Temp", "C", Group::Power, rowTop(3)},
    {20, "Batt B Volt", "V", Group::Power, rowTop(4)},
    {21, "BP B FB Curr", "mA", Group::Power, rowTop(5)},
    {22, "BP B TB Curr", "mA", Group::Power, rowTop(6)},
    {23, "Batt B Temp", "C", Group::Power, rowTop(7)},
    {4, "3V3 A out", "V", Group::Power, rowTop(9)},
    {5, "3V3 A Curr", "mA", Group::Power, rowTop(10)},
    {6, "3V3 B Curr", "mA", Group::Power, rowTop(11)},
    {7, "5V out", "V", Group::Power, rowTop(12)},
    {8, "5V A Curr", "mA", Group::Power, rowTop(13)},
    {9, "5V B Curr", "mA", Group::Power, rowTop(14)},
    {10, "12V out", "V", Group::Power, rowTop(15)},
    {11, "12V A Curr", "mA", Group::Power, rowTop(16)},
    {12, "12V B Curr", "mA", Group::Power, rowTop(17)},
    // EPS
    {27, "ADCurr 5V", "V", Group::Eps, rowTop(0)},
    {28, "ADCurr Curr", "mA", Group::Eps, rowTop(1)},
    {29, "COM 3V3", "V", Group::Eps, rowTop(2)},
    {30, "CAM 3V3 Curr", "mA", Group::Eps, rowTop(3)},
    {31, "CDHS A 3V3", "V", Group::Eps, rowTop(4)},
    {32, "CDHS A Curr", "mA", Group::Eps, rowTop(5)},
    {33, "CDHS B 3V3", "V", Group::Eps, rowTop(6)},
    {34, "CDHS B Curr", "mA", Group::Eps, rowTop(7)},
    {35, "CDHS BSW 3", "V", Group::Eps, rowTop(8)},
    {36, "CDHS BSW C", "mA", Group::Eps, rowTop(9)},
    {37, "COM 3V3", "V", Group::Eps, rowTop(10)},
    {38, "COM Curr", "mA", Group::Eps, rowTop(11)},
    {39, "COM 5V", "V", Group::Eps, rowTop(12)},
    {40, "COM 5 Curr", "mA", Group::Eps, rowTop(13)},
    {41, "PL 3V3", "V", Group::Eps, rowTop(14)},
    {42, "PL 3V3 Curr", "mA", Group::Eps, rowTop(15)},
    {43, "PL 5V", "V", Group::Eps, rowTop(16)},
    {44, "PL 5V Curr", "mA", Group::Eps, rowTop(17)},
    {45, "PL 12V Curr", "mA", Group::Eps, rowTop(18)},
    // COM
    {51, "Reset counts", "", Group::Com, rowTop(0)},
    {54, "RSSI", "dB", Group::Com, rowTop(1)},
    {56, "pkts to GS", "", Group::Com, rowTop(2)},
    {57, "pkts from GS", "", Group::Com, rowTop(3)},
    {58, "pkts dropped", "", Group::Com, rowTop(4)},
    // ADCS
    {80, "Gyro 0 X", DEG, Group::Adcs, rowTop(0)},
    {81, "Gyro 0 Y", DEG, Group::Adcs, rowTop(1)},
    {82, "Gyro 0 Z", DEG, Group::Adcs, rowTop(2)},
    {83, "Gyro 1 X", DEG, Group::Adcs, rowTop(3)},
    {84, "Gyro 1 Y", DEG, Group::Adcs, rowTop(4)},
    {85, "Gyro 1 Z", DEG, Group::Adcs, rowTop(5)},
    {86, "Gyro 2 X", DEG, Group::Adcs, rowTop(6)},
    {87, "Gyro 2 Y", DEG, Group::Adcs, rowTop(7)},
    {88, "Gyro 2 Z", DEG, Group::Adcs, rowTop(8)},
    {89, "Gyro 3 X", DEG, Group::Adcs, rowTop(9)},
    {90, "Gyro 3 Y", DEG, Group::Adcs, rowTop(10)},
    {91, "Gyro 3 Z", DEG, Group::Adcs, rowTop(11)},
    {92, "Magn 0 X", "", Group::Adcs, rowTop(12)},
    {93, "Magn 0 Y", "", Group::Adcs, rowTop(13)},
    {94, "Magn 0 Z", "", Group::Adcs, rowTop(14)},
    {95, "Magn 1 X", "", Group::Adcs, rowTop(15)},
    {96, "Magn 1 Y", "", Group::Adcs, rowTop(16)},
    {97, "Magn 1 Z", "", Group::Adcs, rowTop(17)},
    {78, "Temp #1", "", Group::Adcs, rowTop(18)},
    {79, "Temp #2", "", Group::Adcs, rowTop(19)},
    // Hidden strip, beyond the client area's right edge (tops in client-area twips)
    {52, " ", "C", Group::HiddenStrip, 11040},
    {53, " ", "C", Group::HiddenStrip, 11280},
    {55, " ", "", Group::HiddenStrip, 11520},
    {66, " ", "C", Group::HiddenStrip, 11760},
    {67, " ", "C", Group::HiddenStrip, 12240},
};
#undef DEG

constexpr LoneUnitLabel LoneUnits[] = {
    {50, {5640 + 2280, 600 + 4200, 255, 255}},
    {49, {5640 + 2280, 600 + 4440, 255, 255}},
};

const std::array<const Row *, LastChannel + 1> ByChannel = [] {
    std::array<const Row *, LastChannel + 1> table{};
    for (const Row &row : Rows)
        table[std::size_t(row.channel)] = &row;
    return table;
}();

} // namespace

std::span<const GroupBox> groupBoxes()
{
    return Boxes;
}

std::span<const Row> rows()
{
    return Rows;
}

const Row *find(int channel)
{
    if (channel < FirstChannel || channel > LastChannel)
        return nullptr;
    return ByChannel[std::size_t(channel)];
}

RowGeometry geometry(const Row &row)
{
    if (row.group == Group::HiddenStrip) {
        const bool tall = row.channel == 66 || row.channel == 67;
        return {{12720, row.top, tall ? 1215 : 1335, tall ? 375 : 255},
                {14160, row.top, 615, 285},
                {14880, row.top, 255, 255}};
    }
    for (const GroupBox &box : Boxes) {
        if (box.group == row.group) {
            return {{box.left + 120, box.top + row.top, 1335, 255},
                    {box.left + 1560, box.top + row.top, 615, 285},
                    {box.left + 2280, box.top + row.top, 255, 255}};
        }
    }
    return {};
}

std::span<const LoneUnitLabel> loneUnitLabels()
{
    return LoneUnits;
}

QString unitOf(int channel)
{
    const Row *row = find(channel);
    return row ? QString::fromUtf8(row->unit) : QString();
}

QString captionOf(int channel)
{
    const Row *row = find(channel);
    return row ? QString::fromUtf8(row->caption) : QString();
}

} // namespace ChannelTable
