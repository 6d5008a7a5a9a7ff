#pragma once

#include <QString>

#include <array>
#include <span>

// The fixed table of telemetry channels: number, caption, unit, group box and place on the
// window (twips, 15 per pixel). The decoders, the Station's box texts, the window and the chart
// all read it; nothing writes it.
namespace ChannelTable {

constexpr int FirstChannel = 1;
constexpr int LastChannel = 98;
constexpr int TwipsPerPixel = 15;

enum class Group { SpbMppt, Power, Eps, Com, Adcs, HiddenStrip };

struct GroupBox
{
    Group group;
    const char *controlName; // "spbMpptBox", ...
    const char *caption;
    int left, top, width, height; // twips, in the window's client area
};

struct Rect
{
    int left, top, width, height; // twips
};

struct Row
{
    int channel;
    const char *caption; // UTF-8; channels 1..48 get theirs at start-up, the others are layout
    const char *unit;    // UTF-8; the unit that start-up fills in ("" if none)
    Group group;
    int top; // twips: inside the group box, or in the client area for the hidden strip
};

// Selector, value box and unit label of one row, in client-area twips.
struct RowGeometry
{
    Rect selector;
    Rect valueBox;
    Rect unitLabel;
};

std::span<const GroupBox> groupBoxes();
// Rows in window order: by group box, top to bottom, the hidden strip last.
std::span<const Row> rows();
// nullptr for a number without a row (0, 49, 50, 59..65, 68..77, 98, ...).
const Row *find(int channel);
RowGeometry geometry(const Row &row);

// Unit labels without a row: 49 and 50, empty, below the SPB / MPPT box's visible height.
struct LoneUnitLabel
{
    int channel;
    Rect rect;
};
std::span<const LoneUnitLabel> loneUnitLabels();

// The unit text start-up assigns to a channel (steps 2 to 4 of the caption fill); "" otherwise.
QString unitOf(int channel);
QString captionOf(int channel);

} // namespace ChannelTable
