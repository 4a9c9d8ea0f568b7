#ifndef VERSION_H
#define VERSION_H
// Program version: up to four dot-separated numbers; the first three are
// printed and compared, the fourth is kept only.

#include <QString>

class Version
{
public:
    Version() = default;
    Version(const QString& text) { parse(text); }
    Version& operator=(const QString& text) { parse(text); return *this; }

    QString ToString() const;

    bool operator>(const Version& o) const { return compare(o) > 0; }
    bool operator>=(const Version& o) const { return compare(o) >= 0; }
    bool operator<(const Version& o) const { return compare(o) < 0; }
    bool operator<=(const Version& o) const { return compare(o) <= 0; }
    bool operator==(const Version& o) const { return compare(o) == 0; }
    bool operator!=(const Version& o) const { return compare(o) != 0; }

    int part[4] = {0, 0, 0, 0};

private:
    void parse(const QString& text);
    int compare(const Version& o) const;
};

#endif
