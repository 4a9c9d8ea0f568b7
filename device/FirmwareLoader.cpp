#include "device/FirmwareLoader.h"

#include <QList>
#include <QtEndian>
#include <algorithm>
#include <vector>

namespace Fw {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Reads `digits` hex digits at `pos`; -1 when the text ends or a digit is bad.
long hexValue(const QByteArray& text, int pos, int digits)
{
    if (pos < 0 || digits > text.size() - pos)
        return -1;
    long v = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = hexDigit(text.at(pos + i));
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

quint32 readU32(const QByteArray& b, qint64 pos)
{
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(b.constData()) + pos);
}

int writeCpuCs(const Port& port, unsigned char v)
{
    return port.writeRam(CpuCsAddress, &v, 1);
}

} // namespace

bool parseIntelHex(const QByteArray& text, QList<HexRecord>* records)
{
    records->clear();
    int pos = text.indexOf(':');
    while (pos >= 0) {
        const long count = hexValue(text, pos + 1, 2);
        const long address = hexValue(text, pos + 3, 4);
        const long type = hexValue(text, pos + 7, 2);
        if (count < 0 || address < 0 || type < 0)
            return false;
        const int dataPos = pos + 9;
        // Data and checksum must lie inside the text.
        if (hexValue(text, dataPos + int(count) * 2, 2) < 0)
            return false;
        if (type == 0) {
            HexRecord r;
            r.address = unsigned(address);
            r.data.resize(int(count));
            for (int i = 0; i < count; ++i) {
                const long b = hexValue(text, dataPos + i * 2, 2);
                if (b < 0)
                    return false;
                r.data[i] = char(b);
            }
            records->append(r);
        }
        pos = text.indexOf(':', dataPos + int(count) * 2 + 2);
    }
    return true;
}

int load68013fw(const QByteArray& text, const Port& port)
{
    if (text.isEmpty()) {
        const int r = writeCpuCs(port, 1);
        return r ? r : writeCpuCs(port, 0);
    }
    // Parse the whole image first: a broken image must not leave the
    // controller half-loaded.
    QList<HexRecord> records;
    if (!parseIntelHex(text, &records))
        return ErrBadImage;
    int r = writeCpuCs(port, 1);
    if (r)
        return r;
    for (const HexRecord& rec : records) {
        if (rec.data.isEmpty())
            continue;
        r = port.writeRam(rec.address, reinterpret_cast<const unsigned char*>(rec.data.constData()),
                          rec.data.size());
        if (r)
            return r;
    }
    return writeCpuCs(port, 0);
}

int load3014fw(const QByteArray& image, const Port& port)
{
    unsigned char presence = 0;
    int r = port.ctrlRead(0xA0, 0, &presence, 1);
    if (r)
        return r;
    const qint64 size = image.size();
    if (size < 16)
        return ErrBadImage;
    const qint64 end = size - 12;
    // Check every section's bounds before writing anything.
    struct Section { qint64 pos; qint64 len; quint32 address; };
    std::vector<Section> sections;
    qint64 pos = 4;
    while (pos < end) {
        if (end - pos < 8)
            return ErrBadImage;
        const qint64 words = readU32(image, pos);
        const quint32 address = readU32(image, pos + 4);
        const qint64 len = words * 4;
        if (len > end - (pos + 8))
            return ErrBadImage;
        sections.push_back({pos + 8, len, address});
        pos += 8 + len;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(image.constData());
    for (const Section& s : sections) {
        for (qint64 off = 0; off < s.len; off += 1024) {
            const int n = int(std::min<qint64>(1024, s.len - off));
            r = port.writeRam(s.address + quint32(off), data + s.pos + off, n);
            if (r)
                return r;
        }
    }
    const quint32 entry = readU32(image, size - 8);
    return port.writeRam(entry, nullptr, 0);
}

QByteArray decodeBatch(const QByteArray& identity)
{
    if (identity.size() >= 4 && (uchar(identity[0]) ^ uchar(identity[2])) == 0xFF
        && (uchar(identity[1]) ^ uchar(identity[3])) == 0xFF) {
        QByteArray b;
        b.append(identity[1]);
        b.append(identity[0]);
        return b;
    }
    return identity;
}

int decodeModelCode(const QByteArray& bytes)
{
    if (bytes.size() >= 2 && (uchar(bytes[0]) ^ uchar(bytes[1])) == 0xFF)
        return uchar(bytes[0]);
    if (bytes.size() >= 6 && (uchar(bytes[4]) ^ uchar(bytes[5])) == 0xFF)
        return uchar(bytes[4]);
    return -1;
}

qint64 bitstreamTransferLength(qint64 size)
{
    return (size + 2047) / 4096 * 4096 + 4096;
}

int uploadBitstream(const QByteArray& bitstream, const Port& port,
                    const std::function<void(int)>& progress)
{
    const qint64 size = bitstream.size();
    if (size <= 0)
        return ErrBadImage;
    const qint64 total = bitstreamTransferLength(size);
    QByteArray buf(int(total), '\0');
    std::copy(bitstream.constBegin(), bitstream.constEnd(), buf.begin());

    unsigned char len[4];
    qToLittleEndian<quint32>(quint32(size), len);
    int r = port.ctrlWrite(0x50, 0, len, 4);
    if (r)
        return r;

    auto* data = reinterpret_cast<unsigned char*>(buf.data());
    qint64 sent = 0;
    int lastPercent = 0;
    while (sent < total) {
        const int n = int(std::min<qint64>(BitstreamChunk, total - sent));
        int done = 0;
        r = port.bulkWrite(data + sent, n, &done);
        if (r)
            return r;
        // A write that moves nothing would loop forever.
        if (done <= 0 || done > n)
            return 2;
        sent += done;
        const int p = int(sent * 100 / total);
        if (p >= lastPercent + 10) {
            lastPercent = p;
            if (progress)
                progress(p);
        }
    }

    unsigned char result = 255;
    r = port.ctrlRead(0x50, 0, &result, 1);
    if (r)
        return r;
    return result;
}

} // namespace Fw
