// Runs every history test class; the exit code counts the failed functions.

#include "history_tests.h"

#include <QCoreApplication>
#include <QtTest>
#include <cstring>
#include <ctime>

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], kWriteUntilKilled) == 0)
        return writeUntilKilled(argv[2]);
    // A zone eight hours east of UTC without summer time, so local times in files are known.
    qputenv("TZ", "CST-8");
    tzset();
    QCoreApplication app(argc, argv);
    int failures = 0;
    for (auto make : {makeHistoryRulesTest, makeHistoryStoreTest, makeHistoryExportTest, makeHistoryOutageTest}) {
        const std::unique_ptr<QObject> test = make();
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures;
}
