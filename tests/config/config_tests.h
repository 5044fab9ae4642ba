#pragma once
// The config tests come in several classes, run one after another by one program.

#include <memory>

class QObject;

std::unique_ptr<QObject> makeSettingsFileTest();
std::unique_ptr<QObject> makeModuleSettingsTest();
std::unique_ptr<QObject> makeModuleAddressTest();
std::unique_ptr<QObject> makeLoginFilesTest();
std::unique_ptr<QObject> makeViewSettingsTest();
std::unique_ptr<QObject> makeLineSettingsTest();
std::unique_ptr<QObject> makeSettingsFolderTest();
