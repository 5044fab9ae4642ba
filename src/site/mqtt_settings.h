#pragma once
// The window's publishing to a broker and its file "mqtt.set" in the program's
// folder: one line
//   host,port,site,name,user,password,ca_file,queue_bound
// ended by CR LF, read with the settings files' field reader (commas or line
// ends between fields, blanks around a field and double quotes are allowed).
// Only the host is needed: empty or missing fields after it take the defaults
// of MqttOptions (port 1883, site "site", the computer's host name, no login,
// no TLS, 100000 messages). A relative ca_file is in the program's folder.
// Without the file the window publishes nothing.

#include "config/settings_file.h"
#include "mqtt_options.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <optional>
#include <variant>

namespace site {

inline constexpr QLatin1String kMqttSetName("mqtt.set");

// The file's content; nullopt when a text holds a double quote where it would
// need quotes around it (a comma, a line end, blanks at its ends), which the
// file cannot hold.
std::optional<QByteArray> formatMqttSet(const MqttOptions& options);

// The options the content gives, or the name of the first field that cannot be
// used ("host", "port", "site", "name", "user" when a password has none,
// "password", "ca_file", "queue_bound"). What follows the eight fields is not read.
std::variant<MqttOptions, QLatin1String> parseMqttSet(const QByteArray& content);

struct MqttSetLoad : config::SettingsLoad
{
    MqttOptions options; // to publish with only when status is Ok
    QString errorText;   // for the operator when status is Unreadable: names the file and the field
};

// Loads the file from `folder`: missing or unusable means no publishing, and an
// unusable file comes with an error text.
MqttSetLoad loadMqttSet(const QString& folder);

// Writes the file whole (replacing an existing one). False when it cannot be written.
bool saveMqttSet(const QString& folder, const MqttOptions& options);

} // namespace site
