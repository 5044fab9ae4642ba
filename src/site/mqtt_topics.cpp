#include "mqtt_topics.h"

namespace site {

namespace {

QByteArray siteRoot(const QString& site)
{
    return "tq5900k/" + site.toUtf8() + '/';
}

} // namespace

QByteArray valueTopic(const QString& site, int station, int channel, int position)
{
    return siteRoot(site) + QByteArray::number(station) + '/' + QByteArray::number(channel) + '/' +
           QByteArray::number(position);
}

QByteArray errorTopic(const QString& site, int station, int channel)
{
    return siteRoot(site) + QByteArray::number(station) + '/' + QByteArray::number(channel) + "/error";
}

QByteArray statusTopic(const QString& site, const QString& name)
{
    return siteRoot(site) + "readers/" + name.toUtf8() + "/status";
}

QByteArray alarmTopic(const QString& site, int station, int channel, int position)
{
    return siteRoot(site) + "alarms/" + QByteArray::number(station) + '/' + QByteArray::number(channel) + '/' +
           QByteArray::number(position);
}

QByteArray alarmEventsTopic(const QString& site)
{
    return siteRoot(site) + "alarms/events";
}

QString checkTopicLevel(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("is empty");
    for (const QChar c : text) {
        if (c == u'/' || c == u'+' || c == u'#' || c == QChar(0))
            return QStringLiteral("\"%1\" contains '%2' (a topic level holds no '/', '+', '#' or NUL)")
                .arg(text, c == QChar(0) ? QStringLiteral("\\0") : QString(c));
    }
    return QString();
}

} // namespace site
