#ifndef ANALYZERHELPERS_H
#define ANALYZERHELPERS_H
// Helpers for plug-ins: number and time texts, simulation timing, files,
// the settings archive and the clock generator.

#include <string>

#include "AnalyzerTypes.h"

class ANALYZER_EXPORT AnalyzerHelpers {
public:
    // Value as text, masked to num_data_bits when 1..63 (0 = all 64 bits):
    //   Binary      "0b" + num_data_bits digits (as few as needed for 0 bits)
    //   Decimal     unsigned decimal
    //   Hexadecimal "0x" + upper-case digits, one per 4 bits (as few as needed for 0 bits)
    //   ASCII       the character for 0x20..0x7E (a blank as "' '"), else the hexadecimal text
    //   AsciiHex    the ASCII text + " (" + hexadecimal text + ")", or only the hexadecimal text
    // An unknown base gives decimal. The text is cut to fit the buffer
    // (NUL included); a zero length writes nothing.
    static void GetNumberString(U64 number, DisplayBase display_base, U32 num_data_bits,
                                char* result_string, U32 result_string_max_length);
    // Seconds from the trigger to the sample, e.g. "-0.000150" at 1 MHz: as
    // many decimals as resolve one sample (at most 12), truncated, exact
    // 64-bit arithmetic. A zero rate gives "" (the time is unknown).
    static void GetTimeString(U64 sample, U64 trigger_sample, U32 sample_rate_hz,
                              char* result_string, U32 result_string_max_length);
    // A device sample number converted to the simulation's own rate
    // (truncated, no overflow). A zero device rate returns the target as is.
    static U64 AdjustSimulationTargetSample(U64 target_sample, U32 sample_rate, U32 simulation_sample_rate);

    // Reports a broken expectation of a plug-in: the message goes to the
    // standard error stream and the caller goes on.
    static void Assert(const char* message);

    // Files: StartFile gives null when the file cannot be opened (created or
    // truncated, or appended to when append is true); AppendToFile and
    // EndFile return false when the handle is null or the write or close
    // failed. EndFile always releases the handle.
    static void* StartFile(const char* file, bool append = false);
    static bool AppendToFile(const U8* data, U32 data_length, void* file);
    static bool EndFile(void* file);
};

// Settings text: values written in order and read back in the same order.
// The text is single-blank-separated tokens with no ";", no control
// characters and no leading or trailing blank, independent of the locale.
// A read that does not match the next token (wrong kind, garbage, end of
// text) returns false, leaves the value untouched and does not advance.
class ANALYZER_EXPORT SimpleArchive {
public:
    SimpleArchive();
    ~SimpleArchive();

    void SetString(const char* archive_string); // null reads as ""; reading starts over
    const char* GetString() const;

    bool operator<<(U64 data);
    bool operator<<(U32 data);
    bool operator<<(S64 data);
    bool operator<<(S32 data);
    bool operator<<(double data);
    bool operator<<(bool data);
    bool operator<<(const char* data); // null is written as ""
    bool operator<<(const Channel& data);

    bool operator>>(U64& data);
    bool operator>>(U32& data);
    bool operator>>(S64& data);
    bool operator>>(S32& data);
    bool operator>>(double& data);
    bool operator>>(bool& data);
    // The string stays valid until the next read or SetString.
    bool operator>>(const char** data);
    bool operator>>(Channel& data);

private:
    SimpleArchive(const SimpleArchive&) = delete;
    SimpleArchive& operator=(const SimpleArchive&) = delete;
    void append(const std::string& token);
    bool nextToken(std::string* token); // the token at the read position
    void consume();

    std::string mText;
    std::string mString;
    size_t mReadPos;
    size_t mNextPos;
};

// Turns durations into whole samples at a sample rate without drift: the
// rounding error of each step is carried into the next.
class ANALYZER_EXPORT ClockGenerator {
public:
    ClockGenerator();
    // A target frequency or rate of 0 makes every half period 0 samples.
    void Init(double target_frequency, U32 sample_rate_hz);
    // Samples in multiple half periods of the target frequency.
    U32 AdvanceByHalfPeriod(double multiple = 1.0);
    // Samples in a duration (seconds); negative durations give 0.
    U32 AdvanceByTimeS(double time_s);

private:
    U32 advance(double samples);
    double mSampleRate;
    double mHalfPeriodSamples;
    double mCarry;
};

#endif
