#ifndef ANALYZERTYPES_H
#define ANALYZERTYPES_H
// Plain values shared by the analyzer library, the program and the plug-ins.

#include <cstdint>

// Symbols the program and the plug-ins link against (plug-ins build with
// hidden visibility, so the library's classes say so explicitly).
#define ANALYZER_EXPORT __attribute__((visibility("default")))

typedef uint8_t U8;
typedef uint16_t U16;
typedef uint32_t U32;
typedef uint64_t U64;
typedef int8_t S8;
typedef int16_t S16;
typedef int32_t S32;
typedef int64_t S64;

// Index value that names no frame, packet or marker.
constexpr U64 INVALID_RESULT_INDEX = ~U64(0);

enum BitState : int { BIT_LOW = 0, BIT_HIGH = 1 };

// How plug-ins turn values into text; the numbers are stored in the
// configuration ("format") and must not change.
enum DisplayBase : int { Binary = 0, Decimal = 1, Hexadecimal = 2, ASCII = 3, AsciiHex = 4 };

// One logic input: the device it belongs to and its channel index there.
// The program has one device (id 0); channels are matched by index alone.
class ANALYZER_EXPORT Channel {
public:
    Channel(); // the undefined channel: device id and index all ones
    Channel(U64 device_id, U32 channel_index);
    bool operator==(const Channel& other) const;
    bool operator!=(const Channel& other) const;
    bool operator<(const Channel& other) const;
    bool IsUndefined() const;

    U64 mDeviceId;
    U32 mChannelIndex;
};

// A channel whose device id and index are all ones ("none chosen").
extern ANALYZER_EXPORT const Channel UNDEFINED_CHANNEL;

// One decoded item. Samples are inclusive; a new frame is all zeros.
// Each decoder gives data1, data2, type and flags a meaning of its own.
struct ANALYZER_EXPORT Frame {
    // Inline: decoders make a frame for every item they add.
    Frame() : mStartingSampleInclusive(0), mEndingSampleInclusive(0), mData1(0), mData2(0), mType(0), mFlags(0) {}

    S64 mStartingSampleInclusive;
    S64 mEndingSampleInclusive;
    U64 mData1;
    U64 mData2;
    U8 mType;
    U8 mFlags;
};

#endif
