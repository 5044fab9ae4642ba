#pragma once
// The port tests come in several classes, run one after another by one program.

#include <memory>

class QObject;

std::unique_ptr<QObject> makeCommSettingsTest();
std::unique_ptr<QObject> makeMSCommTest();
std::unique_ptr<QObject> makePtyTest();
std::unique_ptr<QObject> makeSystemPortsTest();
