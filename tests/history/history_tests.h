#pragma once
// The history tests come in several classes, run one after another by one
// program; the program also serves as the writer that the crash test kills.

#include "history/reading.h"

#include <QMetaType>
#include <QtTest>
#include <memory>

std::unique_ptr<QObject> makeHistoryRulesTest();
std::unique_ptr<QObject> makeHistoryStoreTest();
std::unique_ptr<QObject> makeHistoryExportTest();
std::unique_ptr<QObject> makeHistoryOutageTest();

// The argument that turns the program into the killed writer, followed by the database's path.
inline constexpr const char* kWriteUntilKilled = "--write-until-killed";
// Writes whole batches to the database until killed; prints each batch's number once committed.
int writeUntilKilled(const char* databasePath);

Q_DECLARE_METATYPE(history::Reading)

namespace QTest {
template <> inline char* toString(const history::Reading& r)
{
    return qstrdup(QByteArray("{t=" + QByteArray::number(r.timeMs) + " " + QByteArray::number(r.station) +
                              "." + QByteArray::number(r.channel) + "." + QByteArray::number(r.position) +
                              " raw=" + QByteArray::number(r.raw) + "}")
                       .constData());
}
} // namespace QTest
