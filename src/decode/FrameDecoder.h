#pragma once

#include "decode/FieldReaders.h"
#include "decode/PacketClassifier.h"
#include "decode/TelemetryHistory.h"

#include <QString>

#include <bitset>
#include <optional>

// decodeFrame's work without the window: names a satellite frame and runs its family decoder
// into the history. The Station calls it for every satellite frame, `halvora1 decode` for every
// satellite frame of a capture file, so both decode with the same code.

using ChannelSet = std::bitset<TelemetryHistory::ChannelCount + 1>;

struct FrameDecodeResult
{
    PacketType type = PacketType::TelemetryOnRequest;
    HeaderHex header1;
    HeaderHex header2;
    std::optional<Family> family; // the family whose decoder ran (one record appended)
    ChannelSet stored;            // channels whose field lay inside the frame and was stored
    bool satTimeStored = false;   // EPS debug data: the satellite time bytes were all there

    // The List2 line: HeaderHex1 + " | " + HeaderHex2.
    QString headerLine() const;
};

// frame: the current frame, position 1 (KISS command byte) at index 0. A field that reaches
// past the frame's end is skipped and its value stays 0; every other field is still stored.
FrameDecodeResult decodeSatelliteFrame(FrameView frame, const QString &frameTimeText,
                                       TelemetryHistory &history);

// Channels a family's decoder fills, in increasing order: EPS 1..48, COM 51..58, CDHS 59..62,
// ADCS 78..97.
int firstDecodedChannel(Family family);
int lastDecodedChannel(Family family);
