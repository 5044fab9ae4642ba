#pragma once
// Sensor serial numbers (one-wire ROM codes): their text form, the three
// validity rules the program applies, and reading an entry of the import list
// as the eight bytes to write.

#include "protocol/frames.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace serials {

using protocol::SerialNumber;

inline constexpr quint8 FamilyCode = 0x28;

// The text form: eight two-digit upper-case hex bytes, single spaces between
// ("28 FF 4B 3C 61 16 03 8A"). `bytes` holds at least eight bytes from `offset`.
QString serialText(const QByteArray& bytes, qsizetype offset = 0);
QString serialText(const SerialNumber& serial);

// A serial number read from the module's list: family code 0x28, bytes 5 and 6
// zero, and bytes 1 and 2 not both zero.
bool passesListRule(const SerialNumber& serial);

// A serial number the module returns after a write or a read-in: the list rule,
// and bytes 1 and 7 not both zero either.
bool passesReplyRule(const SerialNumber& serial);

// The list rule on an entry's text: split at single spaces, part 0 is exactly
// "28", parts 5 and 6 exactly "00", parts 1 and 2 not both exactly "00"
// (comparisons exact and case-sensitive). nullopt when the entry has fewer than
// seven parts: the rule cannot be applied, which the import counts as a format error.
std::optional<bool> passesTextRule(const QString& entry);

// The parts of an entry as the verification window shows them: split at single
// spaces, blanks trimmed from each.
QStringList entryParts(const QString& entry);

// The eight bytes an entry stands for, or nullopt unless it has exactly eight
// parts of one or two hexadecimal digits (either case); anything else (two
// spaces between bytes, seven or nine parts, a part that is not hex) would be
// sent shifted or wrong.
std::optional<SerialNumber> serialFromEntry(const QString& entry);

// The same for the eight texts of the verification window (each trimmed; one or
// two hexadecimal digits).
std::optional<SerialNumber> serialFromParts(const QStringList& parts);

} // namespace serials
