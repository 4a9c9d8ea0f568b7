#ifndef XMLINPUT_H
#define XMLINPUT_H
// The gate for every XML document that comes from outside the program
// (configuration file, settings and capture headers, language files, network
// answers). QDomDocument's parser recurses once per nesting level, so a deep
// enough document overflows the stack before it can report an error; a
// streaming reader, which does not recurse, looks at the document first.

#include <QByteArray>
#include <QDomDocument>
#include <QString>

namespace XmlInput {

// Far above anything the program writes (its documents are four levels deep,
// a few kilobytes long and hold some hundred elements), far below what harms
// it: QtXml takes seconds and hundreds of megabytes beyond these sizes.
constexpr int MaxDepth = 64;
constexpr int MaxBytes = 4 * 1024 * 1024;
constexpr int MaxElements = 65536;

// True when bytes are one well-formed XML document within the bounds above.
bool withinBounds(const QByteArray& bytes);

// withinBounds, then parsed without namespace processing; false when either
// fails, and doc is then left as it was.
bool parse(const QByteArray& bytes, QDomDocument& doc);

// parse() of a file's contents; false when it cannot be read. A file larger
// than MaxBytes is refused without being read whole.
bool parseFile(const QString& path, QDomDocument& doc);

} // namespace XmlInput

#endif
