#pragma once
// The serial-number text file: what the save writes and the import reads. A
// count on the first line, then one serial number a field, in double quotes
// when the program wrote it, lines ended by CR LF, ASCII only.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace serials {

// The most entries an import takes.
inline constexpr int MaxImportEntries = 128;
// The most serial numbers a list read asks for (its count is one byte); a read
// keeps and the save writes all of them.
inline constexpr int MaxListEntries = 255;
// More than a file of MaxListEntries entries can hold: what an import reads at most.
inline constexpr qint64 MaxSerialFileBytes = 64 * 1024;

// The file's text: the entries' count, then each entry in double quotes, one a line.
QByteArray formatSerialFile(const QStringList& entries);

// The name the save writes to: the chosen name with ".txt" appended unless its
// last four characters are exactly ".txt" (case counts: "LIST.TXT" becomes "LIST.TXT.txt").
QString withTxtSuffix(const QString& fileName);

// What an import found in a file, field by field.
struct ImportedFile
{
    enum Error {
        None,
        BadCount,  // the first field is no whole number that fits 16 bits
        EndOfFile, // fewer fields than announced, or a field that cannot be read (a quote not closed)
        TooMany,   // more than MaxImportEntries announced: that many were read
        // A field with fewer than seven parts (the validity rule needs them); it is not in `fields`.
        TooFewParts,
    };
    Error error = None;
    int announcedCount = 0; // the count field, as read (0 when it could not be read)
    QStringList fields;     // the fields read before any error, without their quotes
    QList<bool> valid;      // per field: whether it passes the text validity rule
};

// Reads the count and then that many fields (at most MaxImportEntries). Fields
// are separated by commas and line ends; a quoted field is the text between
// the quotes, an unquoted one runs to the next comma or line end, blanks
// trimmed. What follows the last announced field is not read.
ImportedFile parseSerialFile(const QByteArray& text);

} // namespace serials
