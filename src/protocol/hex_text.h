#pragma once
// Hex renderings of bytes: the request echo and the reply dump shown to the operator.

#include <QByteArray>
#include <QString>

namespace protocol {

// One byte as exactly two upper-case hex digits ("0A").
QString FormatHex(quint8 value);

// Request echo: bytes 0..lastIndex, each as two digits followed by one space
// (so the text ends with a space). lastIndex < 0 means the whole frame.
QString requestEcho(const QByteArray& frame, int lastIndex = -1);

// Reply dump: each byte as one space followed by two digits (starts with a space).
QString replyDump(const QByteArray& reply);

// Serial-number text form: the bytes as two digits separated by single spaces.
QString spacedHex(const QByteArray& bytes);

} // namespace protocol
