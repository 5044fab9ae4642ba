#pragma once
// The program's small settings files in its folder: their names and paths, a
// bounded read, the one field reader they share and the one way to write them.

#include <QByteArray>
#include <QLatin1String>
#include <QList>
#include <QString>
#include <optional>

namespace config {

inline constexpr QLatin1String kCommSetName("comm.set");
inline constexpr QLatin1String kModSetName("ModSet.set");
inline constexpr QLatin1String kLoginSetName("login.set");
inline constexpr QLatin1String kStartLoginSetName("startlogin.set");

// The path of the settings file `fileName` in `folder` (the program's folder).
QString settingsFilePath(const QString& folder, QLatin1String fileName);

// Plenty for a file of one short line.
inline constexpr qint64 kOneLineFileBytes = 4096;

// What came of loading a settings file; each file's load adds its values.
struct SettingsLoad
{
    enum Status {
        Ok,
        Missing,    // no file: the defaults, and the file is written by the next save
        Unreadable, // a file that cannot be used: the defaults, and the operator is told
    };
    Status status = Missing;
    QString path;
};

struct FileText
{
    SettingsLoad::Status status = SettingsLoad::Missing;
    QByteArray bytes; // empty unless status is Ok
};

// The first `maxBytes` bytes of the file at most, so that a stray huge file costs nothing.
FileText readSettingsFile(const QString& path, qint64 maxBytes);

// Reads a settings file's text field by field. Fields are separated by commas
// and line ends (CR LF, CR or LF). A field in double quotes is the text between
// the quotes; any other field is the text up to the next comma or line end,
// with the blanks (spaces, tabs) around it removed. A line end at the very end
// of the text is not followed by another, empty, field.
class FieldReader
{
public:
    explicit FieldReader(const QByteArray& text);
    // The next field; nullopt once the text has ended, or at a field that cannot
    // be read: a quote that is not closed on its line, or anything but blanks
    // between a closing quote and the next comma or line end.
    std::optional<QByteArray> next();
    // Whether next() stopped at a field that cannot be read rather than at the end.
    bool stoppedAtBrokenField() const { return m_broken; }
    // Where the last field returned ends in the text: after it (and its closing
    // quote and the blanks after that), before the separator that follows.
    qsizetype fieldEnd() const { return m_fieldEnd; }

private:
    const QByteArray m_text;
    qsizetype m_pos = 0;
    qsizetype m_fieldEnd = 0;
    bool m_fieldAhead; // after a separator a field follows, even an empty one at the end
    bool m_broken = false;
};

// `text` as one field FieldReader reads back as it is: in double quotes where
// it holds a comma or starts or ends with a blank or a quote; nullopt when it
// cannot be (a line end, or a double quote where quotes are needed).
std::optional<QByteArray> textAsField(const QString& text);

// A field of decimal digits only (no sign, at most 9 of them) within [lo, hi].
std::optional<int> digitsFromField(const QByteArray& field, int lo, int hi);

// A field as a signed 16-bit whole number: an optional sign and decimal digits, nothing else.
std::optional<int> int16FromField(const QByteArray& field);

// The first `count` fields of `text` as signed 16-bit whole numbers; nullopt if
// there are fewer fields or one of them is not such a number. What follows them
// is not read.
std::optional<QList<int>> readInt16Fields(const QByteArray& text, int count);

// Replaces the file at `path` with `bytes` as a whole. The bytes go to a
// temporary file beside it that is then renamed over it, so a save that fails
// leaves the previous file as it was. Where no temporary file can be created
// next to it (some network shares) the file is written in place. False if the
// file was not written.
bool saveWholeFile(const QString& path, const QByteArray& bytes);

} // namespace config
