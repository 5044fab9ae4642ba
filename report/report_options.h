#pragma once
// tq5900k-report's command line, parsed without side effects; the texts say
// what is wrong in Chinese and English.

#include "report/colour_scale.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace reportcmd {

struct ReportOptions
{
    QString historyPath;
    QString layoutPath;         // empty: the default map
    std::optional<qint64> atMs; // none: now
    QString binName;            // empty: every bin
    QString pdfPath;
    QString csvPath;
    QString site = QStringLiteral("站点");
    report::ColourScale scale;
};

struct ParsedOptions
{
    enum Status { Run, Help, Version, Error };
    Status status = Error;
    ReportOptions options;
    QString error;
};

ParsedOptions parseReportOptions(const QStringList& arguments);

// "YYYY-MM-DD HH:MM" (or with ":SS"), local time.
std::optional<qint64> parseLocalTime(const QString& text);

QString reportHelpText();

} // namespace reportcmd
