#include "AnalyzerHelpers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

void putText(const std::string& s, char* out, U32 max)
{
    if (!out || max == 0)
        return;
    size_t n = s.size() < max - 1 ? s.size() : max - 1;
    std::memcpy(out, s.data(), n);
    out[n] = 0;
}

std::string hexText(U64 v, U32 bits)
{
    static const char digits[] = "0123456789ABCDEF";
    int n = bits ? int((bits + 3) / 4) : 1;
    if (!bits)
        for (U64 t = v >> 4; t; t >>= 4)
            ++n;
    std::string s = "0x";
    for (int i = n - 1; i >= 0; --i)
        s += digits[(v >> (4 * i)) & 0xF];
    return s;
}

std::string binText(U64 v, U32 bits)
{
    int n = bits ? int(bits) : 1;
    if (!bits)
        for (U64 t = v >> 1; t; t >>= 1)
            ++n;
    std::string s = "0b";
    for (int i = n - 1; i >= 0; --i)
        s += ((v >> i) & 1) ? '1' : '0';
    return s;
}

std::string asciiText(U64 v)
{
    if (v == ' ')
        return "' '";
    if (v > 0x20 && v < 0x7F)
        return std::string(1, char(v));
    return std::string();
}

// Archive strings: a leading '"', then the bytes with blanks, controls,
// non-ASCII, '%' and ';' written as %XX.
std::string encodeString(const char* s)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s ? s : ""); *p; ++p) {
        unsigned char c = *p;
        if (c <= 0x20 || c >= 0x7F || c == '%' || c == ';') {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0xF];
        } else {
            out += char(c);
        }
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool decodeString(const std::string& token, std::string* out)
{
    if (token.empty() || token[0] != '"')
        return false;
    std::string s;
    for (size_t i = 1; i < token.size(); ++i) {
        if (token[i] != '%') {
            s += token[i];
            continue;
        }
        if (i + 2 >= token.size())
            return false;
        int h = hexValue(token[i + 1]), l = hexValue(token[i + 2]);
        if (h < 0 || l < 0)
            return false;
        char c = char((h << 4) | l);
        if (c == 0)
            return false;
        s += c;
        i += 2;
    }
    *out = s;
    return true;
}

template <typename T>
bool parseInt(const std::string& token, T* out)
{
    T v{};
    const char* b = token.data();
    const char* e = b + token.size();
    auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e || token.empty())
        return false;
    *out = v;
    return true;
}

template <typename T>
std::string intText(T v)
{
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

} // namespace

// ---- AnalyzerHelpers ----

void AnalyzerHelpers::GetNumberString(U64 number, DisplayBase display_base, U32 num_data_bits,
                                      char* result_string, U32 result_string_max_length)
{
    U32 bits = num_data_bits >= 64 ? 0 : num_data_bits;
    if (bits)
        number &= (U64(1) << bits) - 1;
    std::string s;
    switch (display_base) {
    case Binary:
        s = binText(number, bits);
        break;
    case Hexadecimal:
        s = hexText(number, bits);
        break;
    case ASCII:
        s = asciiText(number);
        if (s.empty())
            s = hexText(number, bits);
        break;
    case AsciiHex:
        s = asciiText(number);
        s = s.empty() ? hexText(number, bits) : s + " (" + hexText(number, bits) + ")";
        break;
    case Decimal:
    default:
        s = intText(number);
        break;
    }
    putText(s, result_string, result_string_max_length);
}

void AnalyzerHelpers::GetTimeString(U64 sample, U64 trigger_sample, U32 sample_rate_hz, char* result_string,
                                    U32 result_string_max_length)
{
    if (sample_rate_hz == 0) {
        putText("", result_string, result_string_max_length);
        return;
    }
    bool negative = sample < trigger_sample;
    U64 diff = negative ? trigger_sample - sample : sample - trigger_sample;
    int decimals = 0;
    U64 scale = 1;
    while (scale < sample_rate_hz && decimals < 12) {
        scale *= 10;
        ++decimals;
    }
    U64 whole = diff / sample_rate_hz;
    U64 rest = diff % sample_rate_hz;
    U64 frac = U64((unsigned __int128)rest * scale / sample_rate_hz);
    std::string s = negative && (whole || frac) ? "-" : "";
    s += intText(whole);
    if (decimals > 0) {
        std::string f = intText(frac);
        s += '.';
        s.append(size_t(decimals) - f.size(), '0');
        s += f;
    }
    putText(s, result_string, result_string_max_length);
}

U64 AnalyzerHelpers::AdjustSimulationTargetSample(U64 target_sample, U32 sample_rate, U32 simulation_sample_rate)
{
    if (sample_rate == 0)
        return target_sample;
    unsigned __int128 v = (unsigned __int128)target_sample * simulation_sample_rate / sample_rate;
    return v > std::numeric_limits<U64>::max() ? std::numeric_limits<U64>::max() : U64(v);
}

void AnalyzerHelpers::Assert(const char* message)
{
    std::fprintf(stderr, "Analyzer: %s\n", message ? message : "");
}

void* AnalyzerHelpers::StartFile(const char* file, bool append)
{
    if (!file || !*file)
        return nullptr;
    return std::fopen(file, append ? "ab" : "wb");
}

bool AnalyzerHelpers::AppendToFile(const U8* data, U32 data_length, void* file)
{
    if (!file)
        return false;
    if (data_length == 0)
        return true;
    if (!data)
        return false;
    return std::fwrite(data, 1, data_length, static_cast<FILE*>(file)) == data_length;
}

bool AnalyzerHelpers::EndFile(void* file)
{
    if (!file)
        return false;
    FILE* f = static_cast<FILE*>(file);
    bool ok = std::ferror(f) == 0;
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

// ---- SimpleArchive ----

SimpleArchive::SimpleArchive() : mReadPos(0), mNextPos(0)
{
}

SimpleArchive::~SimpleArchive() = default;

void SimpleArchive::SetString(const char* archive_string)
{
    mText = archive_string ? archive_string : "";
    mReadPos = 0;
    mNextPos = 0;
}

const char* SimpleArchive::GetString() const
{
    return mText.c_str();
}

void SimpleArchive::append(const std::string& token)
{
    if (!mText.empty())
        mText += ' ';
    mText += token;
}

bool SimpleArchive::nextToken(std::string* token)
{
    size_t p = mReadPos;
    // Tolerate any run of blanks (the host may have touched the spacing).
    while (p < mText.size() && (mText[p] == ' ' || mText[p] == '\t'))
        ++p;
    if (p >= mText.size())
        return false;
    size_t e = p;
    while (e < mText.size() && mText[e] != ' ' && mText[e] != '\t')
        ++e;
    *token = mText.substr(p, e - p);
    mNextPos = e;
    return true;
}

void SimpleArchive::consume()
{
    mReadPos = mNextPos;
}

bool SimpleArchive::operator<<(U64 data)
{
    append(intText(data));
    return true;
}

bool SimpleArchive::operator<<(U32 data)
{
    append(intText(data));
    return true;
}

bool SimpleArchive::operator<<(S64 data)
{
    append(intText(data));
    return true;
}

bool SimpleArchive::operator<<(S32 data)
{
    append(intText(data));
    return true;
}

bool SimpleArchive::operator<<(double data)
{
    if (!std::isfinite(data))
        return false;
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, data);
    // A bare integer text would read back as an integer too; mark doubles.
    std::string s(buf, r.ptr);
    if (s.find_first_of(".e") == std::string::npos)
        s += ".0";
    append(s);
    return true;
}

bool SimpleArchive::operator<<(bool data)
{
    append(data ? "true" : "false");
    return true;
}

bool SimpleArchive::operator<<(const char* data)
{
    append(encodeString(data));
    return true;
}

bool SimpleArchive::operator<<(const Channel& data)
{
    append(intText(data.mDeviceId) + "/" + intText(data.mChannelIndex));
    return true;
}

bool SimpleArchive::operator>>(U64& data)
{
    std::string t;
    if (!nextToken(&t) || !parseInt(t, &data))
        return false;
    consume();
    return true;
}

bool SimpleArchive::operator>>(U32& data)
{
    std::string t;
    if (!nextToken(&t) || !parseInt(t, &data))
        return false;
    consume();
    return true;
}

bool SimpleArchive::operator>>(S64& data)
{
    std::string t;
    if (!nextToken(&t) || !parseInt(t, &data))
        return false;
    consume();
    return true;
}

bool SimpleArchive::operator>>(S32& data)
{
    std::string t;
    if (!nextToken(&t) || !parseInt(t, &data))
        return false;
    consume();
    return true;
}

bool SimpleArchive::operator>>(double& data)
{
    std::string t;
    if (!nextToken(&t) || t.empty() || t[0] == '"')
        return false;
    double v = 0;
    const char* b = t.data();
    const char* e = b + t.size();
    auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v))
        return false;
    data = v;
    consume();
    return true;
}

bool SimpleArchive::operator>>(bool& data)
{
    std::string t;
    if (!nextToken(&t) || (t != "true" && t != "false"))
        return false;
    data = t == "true";
    consume();
    return true;
}

bool SimpleArchive::operator>>(const char** data)
{
    std::string t, s;
    if (!data || !nextToken(&t) || !decodeString(t, &s))
        return false;
    mString = s;
    *data = mString.c_str();
    consume();
    return true;
}

bool SimpleArchive::operator>>(Channel& data)
{
    std::string t;
    if (!nextToken(&t))
        return false;
    size_t slash = t.find('/');
    U64 dev = 0;
    U32 idx = 0;
    if (slash == std::string::npos || !parseInt(t.substr(0, slash), &dev) || !parseInt(t.substr(slash + 1), &idx))
        return false;
    data = Channel(dev, idx);
    consume();
    return true;
}

// ---- ClockGenerator ----

ClockGenerator::ClockGenerator() : mSampleRate(0), mHalfPeriodSamples(0), mCarry(0)
{
}

void ClockGenerator::Init(double target_frequency, U32 sample_rate_hz)
{
    mSampleRate = sample_rate_hz;
    mHalfPeriodSamples = target_frequency > 0 && std::isfinite(target_frequency)
        ? double(sample_rate_hz) / (2.0 * target_frequency) : 0.0;
    mCarry = 0;
}

U32 ClockGenerator::advance(double samples)
{
    if (!(samples > 0) || !std::isfinite(samples))
        return 0;
    double want = samples + mCarry;
    double whole = std::floor(want + 0.5);
    if (whole > double(std::numeric_limits<U32>::max()))
        whole = double(std::numeric_limits<U32>::max());
    if (whole < 0)
        whole = 0;
    mCarry = want - whole;
    return U32(whole);
}

U32 ClockGenerator::AdvanceByHalfPeriod(double multiple)
{
    return advance(mHalfPeriodSamples * multiple);
}

U32 ClockGenerator::AdvanceByTimeS(double time_s)
{
    return advance(time_s * mSampleRate);
}
