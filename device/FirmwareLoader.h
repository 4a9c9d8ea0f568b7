#ifndef FIRMWARELOADER_H
#define FIRMWARELOADER_H
// Pure firmware and bitstream logic of the start-up sequence, kept apart from
// the threads so each step can be driven by a test: the controller's Intel HEX
// and binary image loaders, the EEPROM identity and model decoding, and the
// FPGA bitstream upload framing.

#include <QByteArray>
#include <functional>

namespace Fw {

// Error code of a firmware or bitstream image that is truncated or malformed.
// (Transport codes 1 and 2 pass through unchanged.)
constexpr int ErrBadImage = 6;

// Controller RAM address of the CPU control register (1 = hold in reset).
constexpr unsigned CpuCsAddress = 0xE600;

// Transport primitives the loaders use; return 0 or a transport error code.
struct Port {
    std::function<int(unsigned address, const unsigned char* data, int length)> writeRam;
    std::function<int(unsigned char request, unsigned short value, unsigned char* data, int length)> ctrlRead;
    std::function<int(unsigned char request, unsigned short value, unsigned char* data, int length)> ctrlWrite;
    // Writes at most `length` bytes; `*transferred` receives the count written.
    std::function<int(unsigned char* data, int length, int* transferred)> bulkWrite;
};

// One data record of an Intel HEX text.
struct HexRecord {
    unsigned address;
    QByteArray data;
};

// Parses the data records (type 00) of an Intel HEX text; other record types
// are skipped. Upper- and lower-case digits are accepted. Returns false for a
// record that runs past the end of the text or holds a non-hex digit.
bool parseIntelHex(const QByteArray& text, QList<HexRecord>* records);

// Loads an Intel HEX image into an 8051-type controller: CPU into reset, every
// data record into RAM, CPU out of reset. An empty text only pulses the reset.
int load68013fw(const QByteArray& text, const Port& port);

// Loads a binary section image: presence read, sections {u32 words, u32
// address, words x 4 bytes} from byte 4 up to 12 bytes before the end, written
// in pieces of at most 1024 bytes, then a zero-length write to the entry point
// stored 8 bytes before the end.
int load3014fw(const QByteArray& image, const Port& port);

// The images of at least this size are binary, smaller ones Intel HEX.
constexpr int BinaryImageMinSize = 65536;

// Identity bytes at EEPROM 0x20: a complementary pair in bytes 0-3 gives the
// two-byte batch {byte 1, byte 0}; otherwise all bytes are the batch.
QByteArray decodeBatch(const QByteArray& identity);

// Model code from the 8 bytes at EEPROM 0x08: byte 0 when byte 1 is its
// complement, else byte 4 when byte 5 is its complement; -1 when neither pair
// holds. The caller checks the code against the supported models.
int decodeModelCode(const QByteArray& bytes);

// Bitstream upload: transfer length for a bitstream of `size` bytes (the
// bitstream zero-padded to whole 4 KiB blocks with at least 2 KiB spare).
qint64 bitstreamTransferLength(qint64 size);
constexpr int BitstreamChunk = 4096;

// Uploads a bitstream: request 0x50 with its length, the padded buffer in
// bulk writes of at most 4096 bytes, then the one-byte result (0 = accepted).
// `progress` receives the percent sent whenever it rose by at least 10.
// Returns 0, a transport code, ErrBadImage for an empty bitstream, or the
// device's result byte.
int uploadBitstream(const QByteArray& bitstream, const Port& port,
                    const std::function<void(int percent)>& progress);

} // namespace Fw

#endif
