#pragma once
// The daily report of bins: per bin, the site and bin, the reading's time, the
// bin's and each layer's highest, lowest and average, the table of every cable
// and layer, the colour view and plan, and the sensors in fault. Drawn on any
// paged device (a PDF here, a printer in the window), and as CSV.

#include "colour_scale.h"

#include "bins/bin_figures.h"

#include <QByteArray>
#include <QPagedPaintDevice>
#include <QString>
#include <QVector>

namespace report {

struct ReportContents
{
    QString site;
    QVector<bins::BinView> bins;
    ColourScale scale;
    qint64 atMs = 0;      // the time the report is for (the newest reading at or before it per sensor)
    qint64 madeAtMs = 0;  // when it was made
};

// A time as the report writes it, local: "2026-12-10 06:30:00".
QString reportTime(qint64 timeMs);
// "3号电缆 第12层"
QString placeText(const bins::BinView& view, const bins::Extreme& where);

// Every bin from a new page. The device's page layout is used as it is.
void paintReport(QPagedPaintDevice& device, const ReportContents& contents);

// A4 portrait PDF. False with `error` set when the file cannot be written.
bool writeReportPdf(const QString& path, const ReportContents& contents, QString* error);

// UTF-8 with a byte-order mark (spreadsheets read it as such), CR LF lines.
QByteArray reportCsv(const ReportContents& contents);
bool writeReportCsv(const QString& path, const ReportContents& contents, QString* error);

} // namespace report
