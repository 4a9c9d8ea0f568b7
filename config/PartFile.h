#ifndef PARTFILE_H
#define PARTFILE_H
// A file written beside its target and renamed onto it by commit(), so that
// a failed or cancelled write never damages the file that stood there. Every
// writer of a file the user names goes through it (settings, captures,
// exports, the configuration).
//
// The part has a short hidden name of its own, the start of the target's
// name between a dot and ".part" (".x.csv.part", then ".x.csv.1.part" ...):
// a target name as long as the file system allows still leaves room for it.
// It is created here, exclusively: a file some other program keeps under
// that name is never touched. A part that is not committed is removed when
// this object goes.

#include <QString>

class PartFile
{
public:
    // A target that is a symbolic link is written through it: the link stays
    // and the file it names is replaced. No part is made for a target that
    // exists but is no regular file or cannot be written (error() then says
    // why: the system's reason for a file it would not let us write).
    explicit PartFile(const QString& target);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // False when no part file could be created beside the target.
    bool isValid() const { return !part.isEmpty(); }
    const QString& path() const { return part; }
    // Replaces the target with the part, with the permissions the target
    // had; false on failure (the part then goes with this object).
    bool commit();
    // Why no part was made or the commit failed, as an errno value (0 when
    // nothing failed).
    int error() const { return err; }

    // Where a chain of symbolic links that starts at path ends: the first
    // path that is no link (path itself when it is none), which may not
    // exist; a relative link is taken from its own folder. "" when the chain
    // loops or is longer than 40 links (ELOOP).
    static QString linkEnd(const QString& path);

    // Bytes of the target's name a part name keeps, at most.
    static constexpr int NameBytes = 40;
    // The part name of the given try (0 first) for a target file name.
    static QString partName(const QString& targetName, int attempt);

private:
    QString target;
    QString part;
    bool committed = false;
    int err = 0;
};

#endif
