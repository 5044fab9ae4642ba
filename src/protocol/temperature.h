#pragma once
// Temperature registers: raw 16-bit values to the texts shown in the value grid.

#include "reply_judge.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace protocol {

constexpr int NotWiredCode = -17710;      // raw 0xBAD2: no sensor wired at the position
constexpr int NotRecognisedCode = -19310; // raw 0xB492: a sensor that the module did not recognise
constexpr quint16 NoValueRegister = 0xFFFF; // the module holds no value for the position
constexpr int FirstRegisterOffset = 3;

// Signed hundredths of a degree: 0..40000 as they are, above that raw - 65536,
// and 65535 ("no value") as 0.
int signedTemperature(quint16 raw);

// Cell text: "未接线", "未识别", "无数值", or the value / 100 as "#0.00" (25.00, -2.00, 0.05).
QString temperatureText(quint16 raw);

// The first `positions` raw registers that the reply holds in full. A register
// counts only when it and the two bytes after it are present, so a reply cut
// short stops early; fewer than 6 bytes yield nothing.
QVector<quint16> decodeRegisters(const QByteArray& reply, int positions);

// Texts of the registers decodeRegisters finds.
QVector<QString> decodeTemperatures(const QByteArray& reply, int positions);

// What a temperature read of `count` registers from `station` with `function`
// expects: 2n + 5 bytes with the byte count 2n, from the station asked (any for
// the wildcard address). Bytes before it (the tail of an earlier reply, line
// noise) are skipped.
ReplyShape temperatureReplyShape(quint8 station, quint8 function, int count);

} // namespace protocol
