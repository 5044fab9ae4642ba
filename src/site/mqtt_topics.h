#pragma once
// The topics a site's readings are published under, one tree per site:
//   tq5900k/<site>/<station>/<channel>/<position>   a value (the JSON record of a reading)
//   tq5900k/<site>/<station>/<channel>/error        a channel whose reply failed
//   tq5900k/<site>/readers/<name>/status            "online" or "offline", retained
//   tq5900k/<site>/alarms/<station>/<channel>/<position>  an alarm in force (JSON), retained;
//                                                   emptied when it ends
//   tq5900k/<site>/alarms/events                    every alarm event (JSON), not retained
// A site and a reader's name are one topic level each; stations, channels and
// positions are numbers, so "readers" never meets a station.

#include <QByteArray>
#include <QString>

namespace site {

QByteArray valueTopic(const QString& site, int station, int channel, int position);
QByteArray errorTopic(const QString& site, int station, int channel);
QByteArray statusTopic(const QString& site, const QString& name);
QByteArray alarmTopic(const QString& site, int station, int channel, int position);
QByteArray alarmEventsTopic(const QString& site);

// Why `text` cannot be one topic level, as the rest of a sentence that names it
// ("is empty", "\"a/b\" contains '/' ..."); empty when it can. A level is not
// empty and holds none of '/' (the level separator), '+' and '#' (wildcards),
// and no NUL character.
QString checkTopicLevel(const QString& text);

} // namespace site
