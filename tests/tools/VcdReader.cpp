#include "VcdReader.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// Largest sample position the sample store holds (40 bits).
const int64_t kMaxPosition = (int64_t(1) << 40) - 1;
// Longer tokens than this are no VCD (the widest vectors stay far below).
const size_t kMaxToken = 65536;

// Token for a message: printable characters only, cut short.
std::string shown(const std::string& token)
{
    std::string s;
    for (char c : token) {
        if (s.size() >= 32) {
            s += "...";
            break;
        }
        s += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return "'" + s + "'";
}

// Blank-separated tokens with their line numbers, from a file or a text.
class Tokens {
public:
    Tokens(std::FILE* file, const std::string* text) : mFile(file), mText(text) {}

    // False at the end of the input or on an error (see failed()).
    bool next(std::string* token)
    {
        token->clear();
        int c;
        while ((c = get()) != EOF && isBlank(c))
            if (c == '\n')
                ++mLine;
        if (c == EOF)
            return false;
        mTokenLine = mLine;
        do {
            if (token->size() >= kMaxToken) {
                mError = "line " + std::to_string(mTokenLine) + ": token longer than "
                         + std::to_string(kMaxToken) + " characters";
                return false;
            }
            token->push_back(char(c));
        } while ((c = get()) != EOF && !isBlank(c));
        if (c == '\n')
            ++mLine;
        return true;
    }
    bool failed() const { return !mError.empty() || mReadError; }
    std::string error() const { return mReadError ? "cannot read the file: " + mReadErrorText : mError; }
    long long line() const { return mTokenLine; }

private:
    static bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
    int get()
    {
        if (mPos == mLen && !fill())
            return EOF;
        return (unsigned char)mBuf[mPos++];
    }
    bool fill()
    {
        mPos = 0;
        mLen = 0;
        if (mText) {
            size_t n = std::min(sizeof(mBuf), mText->size() - mTextPos);
            std::memcpy(mBuf, mText->data() + mTextPos, n);
            mTextPos += n;
            mLen = n;
        } else if (mFile) {
            mLen = std::fread(mBuf, 1, sizeof(mBuf), mFile);
            if (mLen == 0 && std::ferror(mFile)) {
                mReadError = true;
                mReadErrorText = std::strerror(errno);
            }
        }
        return mLen > 0;
    }

    std::FILE* mFile;
    const std::string* mText;
    size_t mTextPos = 0;
    char mBuf[1 << 16];
    size_t mPos = 0;
    size_t mLen = 0;
    long long mLine = 1;
    long long mTokenLine = 1;
    std::string mError;
    bool mReadError = false;
    std::string mReadErrorText;
};

bool parseUnsigned(const std::string& s, size_t from, uint64_t* value)
{
    if (from >= s.size())
        return false;
    uint64_t v = 0;
    for (size_t i = from; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        if (__builtin_mul_overflow(v, uint64_t(10), &v) || __builtin_add_overflow(v, uint64_t(s[i] - '0'), &v))
            return false;
    }
    *value = v;
    return true;
}

class Parser {
public:
    Parser(Tokens& tokens, const std::string& signal, uint64_t rate, VcdSignal* out)
        : mTokens(tokens), mSignal(signal), mRate(rate), mOut(out)
    {
    }

    bool run(std::string* error)
    {
        bool ok = header() && body();
        if (ok && mTokens.failed())
            ok = fail(mTokens.error());
        if (!ok) {
            *error = mError;
            return false;
        }
        int64_t depth = mLastSample;
        if (!mOut->edges.empty() && mOut->edges.back() + 1 > depth)
            depth = mOut->edges.back() + 1;
        if (depth < 1)
            depth = 1;
        mOut->depth = depth;
        return true;
    }

private:
    bool fail(const std::string& message)
    {
        if (mError.empty())
            mError = message;
        return false;
    }
    bool failAt(const std::string& message) { return fail("line " + std::to_string(mTokens.line()) + ": " + message); }

    // Tokens up to "$end" (not included); false at the end of the input.
    bool section(const std::string& keyword, std::vector<std::string>* parts, size_t maxParts)
    {
        long long start = mTokens.line();
        std::string t;
        while (mTokens.next(&t)) {
            if (t == "$end")
                return true;
            if (parts) {
                if (parts->size() >= maxParts)
                    return failAt(keyword + " has too many parts");
                parts->push_back(t);
            }
        }
        if (mTokens.failed())
            return fail(mTokens.error());
        return fail("line " + std::to_string(start) + ": " + keyword + " is not closed by $end");
    }

    bool timescale()
    {
        std::vector<std::string> parts;
        if (!section("$timescale", &parts, 3))
            return false;
        std::string text;
        for (const std::string& p : parts)
            text += p;
        size_t digits = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
            ++digits;
        uint64_t number = 0;
        if (!parseUnsigned(text.substr(0, digits), 0, &number) || (number != 1 && number != 10 && number != 100))
            return failAt("bad $timescale " + shown(text) + " (1, 10 or 100 and a unit)");
        static const struct {
            const char* unit;
            int exponent;
        } kUnits[] = {{"s", 0}, {"ms", 3}, {"us", 6}, {"ns", 9}, {"ps", 12}, {"fs", 15}};
        const std::string unit = text.substr(digits);
        for (const auto& u : kUnits) {
            if (unit == u.unit) {
                mScaleNumber = number;
                mScaleDivisor = 1;
                for (int i = 0; i < u.exponent; ++i)
                    mScaleDivisor *= 10;
                mHaveTimescale = true;
                return true;
            }
        }
        return failAt("bad $timescale unit " + shown(unit));
    }

    bool var()
    {
        std::vector<std::string> parts;
        if (!section("$var", &parts, 8))
            return false;
        if (parts.size() < 4)
            return failAt("$var needs a type, a size, an identifier and a name");
        const std::string& name = parts[3];
        if (mFound || (name != mSignal && mScope + name != mSignal))
            return true;
        if (parts[1] != "1")
            return failAt("signal " + shown(mSignal) + " is " + shown(parts[1]) + " bits wide, not one bit");
        mId = parts[2];
        mFound = true;
        return true;
    }

    bool header()
    {
        std::string t;
        while (mTokens.next(&t)) {
            if (t == "$enddefinitions") {
                if (!section("$enddefinitions", nullptr, 0))
                    return false;
                if (!mHaveTimescale)
                    return fail("no $timescale in the header");
                if (!mFound)
                    return fail("no signal named " + shown(mSignal));
                return true;
            }
            if (t == "$timescale") {
                if (!timescale())
                    return false;
            } else if (t == "$var") {
                if (!var())
                    return false;
            } else if (t == "$scope") {
                std::vector<std::string> parts;
                if (!section(t, &parts, 2))
                    return false;
                mScopes.push_back(mScope);
                mScope += (parts.empty() ? std::string() : parts.back()) + ".";
            } else if (t == "$upscope") {
                if (!section(t, nullptr, 0))
                    return false;
                if (!mScopes.empty()) {
                    mScope = mScopes.back();
                    mScopes.pop_back();
                }
            } else if (t.size() > 1 && t[0] == '$') {
                // $date, $version, $comment and the like
                if (!section(t, nullptr, 0))
                    return false;
            } else {
                return failAt("unexpected " + shown(t) + " in the header");
            }
        }
        if (mTokens.failed())
            return fail(mTokens.error());
        return fail("no $enddefinitions: not a VCD file");
    }

    bool toSample(uint64_t time, int64_t* sample)
    {
        unsigned __int128 v;
        if (__builtin_mul_overflow((unsigned __int128)time, (unsigned __int128)mScaleNumber, &v)
            || __builtin_mul_overflow(v, (unsigned __int128)mRate, &v)
            || v / mScaleDivisor > (unsigned __int128)kMaxPosition)
            return failAt("time " + std::to_string(time) + " is past the largest sample position");
        *sample = int64_t(v / mScaleDivisor);
        return true;
    }

    void setLevel(char value)
    {
        int level;
        if (value == '0')
            level = 0;
        else if (value == '1')
            level = 1;
        else
            return; // x or z: the level stays
        // Before the first value the level is the start level (low).
        if (level == (mHaveValue ? mLevel : mOut->initLevel))
            return;
        mHaveValue = true;
        mLevel = level;
        if (mSample == 0) {
            mOut->initLevel = level;
            return;
        }
        // Two changes on one sample cancel each other.
        if (!mOut->edges.empty() && mOut->edges.back() == mSample)
            mOut->edges.pop_back();
        else
            mOut->edges.push_back(mSample);
    }

    static bool isValueChar(char c)
    {
        return c == '0' || c == '1' || c == 'x' || c == 'X' || c == 'z' || c == 'Z';
    }

    bool body()
    {
        std::string t;
        while (mTokens.next(&t)) {
            const char c = t[0];
            if (c == '#') {
                uint64_t time;
                if (!parseUnsigned(t, 1, &time))
                    return failAt("bad time stamp " + shown(t));
                if (mHaveTime && time < mTime)
                    return failAt("time stamp " + shown(t) + " goes backwards");
                int64_t sample = 0;
                if (!toSample(time, &sample))
                    return false;
                mTime = time;
                mHaveTime = true;
                mSample = sample;
                if (sample > mLastSample)
                    mLastSample = sample;
            } else if (c == '$') {
                if (t == "$comment") {
                    if (!section(t, nullptr, 0))
                        return false;
                } else if (t != "$dumpvars" && t != "$dumpall" && t != "$dumpon" && t != "$dumpoff" && t != "$end") {
                    return failAt("unexpected " + shown(t));
                }
            } else if (isValueChar(c)) {
                if (t.size() < 2)
                    return failAt("value change " + shown(t) + " without an identifier");
                if (t.compare(1, std::string::npos, mId) == 0)
                    setLevel(c);
            } else if (c == 'b' || c == 'B' || c == 'r' || c == 'R') {
                std::string id;
                if (!mTokens.next(&id))
                    return mTokens.failed() ? fail(mTokens.error()) : failAt("value " + shown(t) + " without an identifier");
                if (c == 'b' || c == 'B') {
                    if (t.size() < 2)
                        return failAt("empty vector value");
                    for (size_t i = 1; i < t.size(); ++i)
                        if (!isValueChar(t[i]))
                            return failAt("bad vector value " + shown(t));
                    if (id == mId)
                        setLevel(t.back()); // the lowest bit
                } else if (id == mId) {
                    return failAt("real value for the one-bit signal " + shown(mSignal));
                }
            } else {
                return failAt("unexpected " + shown(t));
            }
        }
        return !mTokens.failed() || fail(mTokens.error());
    }

    Tokens& mTokens;
    std::string mSignal;
    uint64_t mRate;
    VcdSignal* mOut;
    std::string mError;
    std::string mScope;
    std::vector<std::string> mScopes;
    bool mHaveTimescale = false;
    uint64_t mScaleNumber = 1;
    uint64_t mScaleDivisor = 1;
    bool mFound = false;
    std::string mId;
    bool mHaveTime = false;
    uint64_t mTime = 0;
    int64_t mSample = 0;
    int64_t mLastSample = 0;
    bool mHaveValue = false;
    int mLevel = 0;
};

bool parse(Tokens& tokens, const std::string& signal, uint64_t rateHz, VcdSignal* out, std::string* error)
{
    *out = VcdSignal();
    if (rateHz == 0) {
        *error = "the sample rate must be above 0";
        return false;
    }
    Parser parser(tokens, signal, rateHz, out);
    if (parser.run(error))
        return true;
    *out = VcdSignal();
    return false;
}

} // namespace

bool readVcdSignal(const std::string& path, const std::string& signal, uint64_t rateHz, VcdSignal* out,
                   std::string* error)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        *error = std::string("cannot open the file: ") + std::strerror(errno);
        return false;
    }
    auto tokens = std::make_unique<Tokens>(file.get(), nullptr);
    return parse(*tokens, signal, rateHz, out, error);
}

bool parseVcdSignal(const std::string& text, const std::string& signal, uint64_t rateHz, VcdSignal* out,
                    std::string* error)
{
    auto tokens = std::make_unique<Tokens>(nullptr, &text);
    return parse(*tokens, signal, rateHz, out, error);
}
