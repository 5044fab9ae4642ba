#pragma once
// Module settings of the installation (default address, channels in use,
// sensors per channel, module count) and their file "ModSet.set" in the
// program's folder: one line "a,b,c,d" ended by CR LF.

#include "settings_file.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace config {

// Number of modules in the installation; only shown, saved and loaded.
extern int ModuleCount;

inline constexpr int kModuleCountDefault = 1;
// The default address may be the wildcard 250.
inline constexpr int kMaxDefaultAddress = 250;

struct ModuleSettings
{
    int defaultAddress = 1;
    int channelCount = 1;
    int sensorsPerChannel = 40;
    int moduleCount = kModuleCountDefault;

    friend bool operator==(const ModuleSettings& a, const ModuleSettings& b)
    {
        return a.defaultAddress == b.defaultAddress && a.channelCount == b.channelCount &&
               a.sensorsPerChannel == b.sensorsPerChannel && a.moduleCount == b.moduleCount;
    }
    friend bool operator!=(const ModuleSettings& a, const ModuleSettings& b) { return !(a == b); }
};

// The file's content: the four values as plain decimals, commas between, CR LF at the end.
QByteArray formatModSet(const ModuleSettings& values);

// The first four fields of the file's content, each a signed 16-bit whole
// number (readInt16Fields); whatever follows them is not read.
std::optional<ModuleSettings> parseModSet(const QByteArray& content);

struct ModSetLoad : SettingsLoad
{
    ModuleSettings values; // the defaults unless status is Ok
    // With status Ok: each value outside the range the save checks allow
    // (address 1..250, channels 1..10, sensors 1..160), named with its range;
    // `values` holds the default in its place.
    QStringList outOfRange;
};

// Loads the file from `folder`. A missing file or one that cannot be read or
// parsed gives the defaults; the status tells which, so the window can name the
// file of an unreadable one. A value out of its range is replaced by its default
// and named in outOfRange.
ModSetLoad loadModSet(const QString& folder);

// Writes the file whole (replacing an existing one). False when it cannot be written.
bool saveModSet(const QString& folder, const ModuleSettings& values);

struct SaveCheck
{
    QStringList messages;                 // in the order they are shown
    std::optional<ModuleSettings> values; // set only when there is no message
};

// The checks of the save button on the four boxes' texts: channels 1..10, address
// 1..250, sensors 1..160 (compared as decimal numbers, stored floored), then a
// module count whose floor fits signed 16 bits, so that a saved file always loads.
SaveCheck checkModuleSettingsForSave(const QString& address, const QString& channels, const QString& sensors,
                                     const QString& modules);

// Exact texts of the save checks.
QString channelCountMessage();
QString addressMessage();
QString sensorCountMessage();
QString moduleCountMessage();

} // namespace config
