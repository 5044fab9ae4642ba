#pragma once
// The history tests come in several classes, run one after another by one
// program; the program also serves as the writer that the crash test kills.

#include "history/reading.h"

#include <QMetaType>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
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

// A connection of the test's own to a database file, beside any store's: it can
// read what they wrote, and hold the write lock.
class SqlFile
{
public:
    explicit SqlFile(const QString& path) : m_name(QStringLiteral("test_%1").arg(++s_count))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~SqlFile() { QSqlDatabase::removeDatabase(m_name); }

    // A column of every row the statement yields, with `values` bound in order;
    // the error instead when it fails.
    QVariantList column(const QString& statement, const QVariantList& values = {}, int index = 0) const
    {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        query.prepare(statement);
        for (const QVariant& value : values)
            query.addBindValue(value);
        QVariantList result;
        if (!query.exec())
            return {QStringLiteral("error: ") + query.lastError().text()};
        while (query.next())
            result << query.value(index);
        return result;
    }
    qint64 count() const
    {
        return column(QStringLiteral("SELECT COUNT(*) FROM readings")).value(0).toLongLong();
    }

private:
    static inline int s_count = 0;
    QString m_name;
};

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
