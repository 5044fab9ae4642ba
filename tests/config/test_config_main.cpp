// Runs every config test class; the exit code counts the failed functions.

#include "config_tests.h"

#include <QCoreApplication>
#include <QtTest>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int failures = 0;
    for (auto make : {makeSettingsFileTest, makeModuleSettingsTest, makeModuleAddressTest, makeLoginFilesTest,
                      makeViewSettingsTest, makeLineSettingsTest, makeSettingsFolderTest}) {
        const std::unique_ptr<QObject> test = make();
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures;
}
