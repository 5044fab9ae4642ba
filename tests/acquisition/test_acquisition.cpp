// Value-grid layout and the sizing of cells in narrow columns, the waits of the reading paths, reading
// the request boxes and the loop counter, and the all-channels pass on a line in memory.

#include "acquisition/all_channels_pass.h"
#include "acquisition/grid_geometry.h"
#include "acquisition/line_test.h"
#include "acquisition/read_timing.h"
#include "acquisition/request_fields.h"
#include "acquisition/value_cell_sizing.h"
#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "protocol/module_limits.h"

#include <QtTest>

#include "../common/memory_line.h"

using namespace acquisition;
using protocol::Rounding;

Q_DECLARE_METATYPE(protocol::Rounding)
Q_DECLARE_METATYPE(std::optional<acquisition::ValueFont>)

namespace QTest {
template <> char* toString(const std::optional<acquisition::ValueFont>& font)
{
    return font ? QTest::toString(QStringLiteral("%1 px at %2 %").arg(font->pixelSize).arg(font->stretch))
                : qstrdup("none");
}
} // namespace QTest

namespace {
// Station 1's reply to a read of two registers of `channel`: channel x 100 + 1 and + 2.
QByteArray twoRegistersOf(int channel)
{
    const int first = channel * 100 + 1;
    QByteArray reply = QByteArray::fromHex("010304");
    for (int value : {first, first + 1})
        reply.append(char(value >> 8)).append(char(value & 0xFF));
    return protocol::appendCrc(reply);
}

// A request core on an open port in memory, and a pass on it that asks station 1
// for two registers of each channel; what the pass tells is kept.
struct PassRig : MemoryLine
{
    std::unique_ptr<AllChannelsPass> pass;
    QList<int> started;
    QList<requests::Exchange> answered;
    QList<bool> finished;

    PassRig()
    {
        pass = std::make_unique<AllChannelsPass>(*core);
        QObject::connect(pass.get(), &AllChannelsPass::channelStarting, [this](int c) { started << c; });
        QObject::connect(pass.get(), &AllChannelsPass::channelAnswered,
                         [this](int, const requests::Exchange& e) { answered << e; });
        QObject::connect(pass.get(), &AllChannelsPass::finished, [this](bool complete) { finished << complete; });
    }
    bool start(int channels)
    {
        TemperatureRequestFields fields;
        fields.station = 1;
        fields.function = 3;
        fields.start = 1;
        fields.count = 2;
        return pass->start(fields, channels);
    }
};
} // namespace

class TestAcquisition : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Layout values are single precision; QCOMPARE on floats compares them fuzzily.
    // --- value grid ------------------------------------------------------------------------------

    void groups_data()
    {
        QTest::addColumn<int>("channelCount");
        QTest::addColumn<int>("clamped");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("firstLeft");
        QTest::addColumn<double>("lastLeft");

        QTest::newRow("10 channels") << 10 << 10 << 1437.5 << 1000.0 / 11 << 13846.59;
        QTest::newRow("1 channel") << 1 << 1 << 14375.0 << 500.0 << 500.0;
        QTest::newRow("3 channels") << 3 << 3 << 14375.0 / 3 << 250.0 << 250.0 + 2 * (14375.0 / 3 + 250.0);
        QTest::newRow("12 lowered to 10") << 12 << 10 << 1437.5 << 1000.0 / 11 << 13846.59;
        QTest::newRow("0 channels") << 0 << 0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("negative") << -3 << -3 << 0.0 << 0.0 << 0.0;
    }
    void groups()
    {
        QFETCH(int, channelCount);
        QFETCH(int, clamped);
        QFETCH(double, width);
        QFETCH(double, firstLeft);
        QFETCH(double, lastLeft);

        const GridLayout layout = arrangeValueGrid(channelCount, 40);
        QCOMPARE(layout.channelCount, clamped);
        QCOMPARE(layout.visibleGroupCount(), std::max(clamped, 0));
        if (clamped <= 0)
            return;
        QCOMPARE(layout.groups.front().left, float(firstLeft));
        QCOMPARE(layout.groups.back().left, float(lastLeft));
        const float gap = layout.groups.front().left;
        for (const GridGroup& g : layout.groups) {
            QCOMPARE(g.width, float(width));
            QCOMPARE(g.top, 0.0f);
            QCOMPARE(g.height, 6315.0f);
        }
        // n groups and n + 1 equal gaps fill the frame exactly: group k starts at gap + k * (width + gap).
        for (std::size_t k = 0; k < layout.groups.size(); ++k)
            QCOMPARE(layout.groups[k].left, float(firstLeft + double(k) * (width + firstLeft)));
        QCOMPARE(float(layout.groups.back().left + width + gap), 15375.0f);
        QCOMPARE(layout.groupWidth, float(width));
    }

    void columnsAndRows_data()
    {
        QTest::addColumn<int>("sensors");
        QTest::addColumn<int>("columns");
        QTest::addColumn<double>("rowHeight");
        QTest::addColumn<int>("elementCount");

        QTest::newRow("40") << 40 << 2 << 6315.0 / 21 << 40;
        QTest::newRow("6") << 6 << 1 << 6315.0 / 7 << 6;
        QTest::newRow("19") << 19 << 1 << 6315.0 / 20 << 19;
        QTest::newRow("20") << 20 << 1 << 6315.0 / 21 << 20;
        QTest::newRow("21") << 21 << 2 << 6315.0 / 21 << 21;
        QTest::newRow("160") << 160 << 8 << 6315.0 / 21 << 160;
        QTest::newRow("1") << 1 << 1 << 6315.0 / 2 << 1;
        QTest::newRow("0") << 0 << 1 << 6315.0 << 1;
        // Loaded settings are not range-checked; nothing may divide by zero.
        QTest::newRow("-1") << -1 << 1 << 6315.0 << 1;
        QTest::newRow("-41") << -41 << 1 << 6315.0 << 1;
        QTest::newRow("161: no more boxes than can be saved") << 161 << 8 << 6315.0 / 21 << 160;
        QTest::newRow("32767") << 32767 << 8 << 6315.0 / 21 << 160;
    }
    void columnsAndRows()
    {
        QFETCH(int, sensors);
        QFETCH(int, columns);
        QFETCH(double, rowHeight);
        QFETCH(int, elementCount);

        const GridLayout layout = arrangeValueGrid(1, sensors);
        QCOMPARE(layout.columns, columns);
        QCOMPARE(layout.rowHeight, float(rowHeight));
        QCOMPARE(int(layout.elements.size()), elementCount);
        for (int i = 0; i < elementCount; ++i)
            QCOMPARE(layout.elements[std::size_t(i)].caption, QString::number(i + 1) + "#");
    }

    void elementPlaces_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("sensors");
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("top");

        const double row40 = 6315.0 / 21;
        QTest::newRow("N=40 element 1") << 1 << 40 << 1 << 420.0 << 2 * row40;
        QTest::newRow("N=40 element 19, last of column 0") << 1 << 40 << 19 << 420.0 << 20 * row40;
        QTest::newRow("N=40 element 20, top of column 1") << 1 << 40 << 20 << 14375.0 / 2 + 420 << row40;
        QTest::newRow("N=40 element 39") << 1 << 40 << 39 << 14375.0 / 2 + 420 << 20 * row40;
        QTest::newRow("N=40 ten groups element 20") << 10 << 40 << 20 << 1437.5 / 2 + 420 << row40;
        QTest::newRow("N=6 element 1") << 1 << 6 << 1 << 420.0 << 2 * 6315.0 / 7;
        QTest::newRow("N=6 element 5") << 1 << 6 << 5 << 420.0 << 6 * 6315.0 / 7;
        QTest::newRow("N=160 element 159") << 10 << 160 << 159 << 1437.5 / 8 * 7 + 420 << 20 * row40;
        QTest::newRow("N=21 element 20") << 2 << 21 << 20 << 7187.5 / 2 + 420 << row40;
    }
    void elementPlaces()
    {
        QFETCH(int, channels);
        QFETCH(int, sensors);
        QFETCH(int, index);
        QFETCH(double, left);
        QFETCH(double, top);

        const GridLayout layout = arrangeValueGrid(channels, sensors);
        for (int channel = 1; channel <= protocol::MaxChannelsPerModule; ++channel) {
            const GridElement e = layout.element(channel, index);
            QCOMPARE(e.boxLeft, float(left));
            QCOMPARE(e.boxTop, float(top));
            QCOMPARE(e.labelLeft, float(left - 300));
            QCOMPARE(e.labelTop, float(top));
            QCOMPARE(e.caption, QString::number(index + 1) + "#");
        }
    }

    void elementZeroKeepsDesignedTops_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<float>("boxTop");
        QTest::newRow("group 1") << 1 << 300.0f;
        QTest::newRow("group 4") << 4 << 360.0f;
        QTest::newRow("group 7") << 7 << 240.0f;
        QTest::newRow("group 9") << 9 << 360.0f;
        QTest::newRow("group 10") << 10 << 300.0f;
    }
    void elementZeroKeepsDesignedTops()
    {
        QFETCH(int, channel);
        QFETCH(float, boxTop);
        for (int sensors : {1, 6, 40}) {
            const GridElement e = arrangeValueGrid(3, sensors).element(channel, 0);
            QCOMPARE(e.boxLeft, 420.0f);
            QCOMPARE(e.boxTop, boxTop);
            QCOMPARE(e.labelLeft, 120.0f);
            QCOMPARE(e.labelTop, 300.0f);
            QCOMPARE(e.caption, QStringLiteral("1#"));
        }
    }

    // The frame is 15 twips (one pixel) inside the group's right edge throughout.
    void columnWidths_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("sensors");
        QTest::addColumn<float>("frameWidth");
        QTest::addColumn<int>("column");
        QTest::addColumn<float>("designedLabel");
        QTest::addColumn<bool>("designed");
        QTest::addColumn<float>("box");
        QTest::addColumn<float>("label");

        QTest::newRow("1 x 40, last column") << 1 << 40 << 15.0f << 1 << 255.0f << true << 735.0f << 255.0f;
        QTest::newRow("10 x 20: one column") << 10 << 20 << 15.0f << 0 << 255.0f << true << 735.0f << 255.0f;
        // 1437.5 twips a group: column 1's labels start at 718.75 + 120.
        QTest::newRow("10 x 40, column 0") << 10 << 40 << 15.0f << 0 << 255.0f << false << 418.75f << 255.0f;
        QTest::newRow("10 x 40, last column: up to the frame")
            << 10 << 40 << 15.0f << 1 << 255.0f << false << 283.75f << 255.0f;
        QTest::newRow("10 x 40, wide label ends at its box")
            << 10 << 40 << 15.0f << 0 << 375.0f << false << 418.75f << 300.0f;
        QTest::newRow("1 x 40, wide label kept where the box fits")
            << 1 << 40 << 15.0f << 0 << 375.0f << true << 735.0f << 375.0f;
        QTest::newRow("10 x 160: next labels before the box")
            << 10 << 160 << 15.0f << 3 << 255.0f << false << 1437.5f / 8 - 300 << 255.0f;
    }
    void columnWidths()
    {
        QFETCH(int, channels);
        QFETCH(int, sensors);
        QFETCH(float, frameWidth);
        QFETCH(int, column);
        QFETCH(float, designedLabel);
        QFETCH(bool, designed);
        QFETCH(float, box);
        QFETCH(float, label);
        const ColumnWidths widths = acquisition::columnWidths(arrangeValueGrid(channels, sensors), column,
                                                              735, designedLabel, frameWidth);
        QCOMPARE(widths.fitFormSizes, designed);
        QCOMPARE(widths.box, box);
        QCOMPARE(widths.label, label);
    }

    // A box of exactly the designed width's room keeps its designed sizes.
    void columnWidthsAtTheEdgeOfTheRoom_data()
    {
        QTest::addColumn<float>("frameWidth");
        QTest::addColumn<bool>("designed");
        QTest::newRow("room 735") << 15.0f << true;
        QTest::newRow("room 734") << 16.0f << false;
    }
    void columnWidthsAtTheEdgeOfTheRoom()
    {
        QFETCH(float, frameWidth);
        QFETCH(bool, designed);
        // One group 1170 twips wide: its box at 420 has 750 twips up to its right edge.
        const GridLayout layout = arrangeValueGrid(1, 20, 2170);
        QCOMPARE(acquisition::columnWidths(layout, 0, 735, 255, frameWidth).fitFormSizes, designed);
    }

    // Text widths as a font engine would give them: three pixels in ten per pixel
    // of size, scaled by the stretch, rounded down.
    void fitValueFont_data()
    {
        QTest::addColumn<int>("designedSize");
        QTest::addColumn<int>("room");
        QTest::addColumn<std::optional<ValueFont>>("font");

        using Font = std::optional<ValueFont>;
        QTest::newRow("designed fits exactly") << 12 << 36 << Font(ValueFont{12, 100});
        QTest::newRow("the largest smaller size") << 12 << 33 << Font(ValueFont{11, 100});
        QTest::newRow("smaller before narrower") << 12 << 24 << Font(ValueFont{8, 100});
        QTest::newRow("narrowed a step") << 12 << 23 << Font(ValueFont{8, 95});
        QTest::newRow("narrowed to the floor") << 12 << 15 << Font(ValueFont{8, 65});
        QTest::newRow("nothing legible fits") << 12 << 14 << Font();
        QTest::newRow("less than no room") << 12 << -8 << Font();
        QTest::newRow("a small designed font is not made smaller") << 7 << 18 << Font(ValueFont{7, 90});
    }
    void fitValueFont()
    {
        QFETCH(int, designedSize);
        QFETCH(int, room);
        QFETCH(std::optional<ValueFont>, font);
        const auto width = [](const ValueFont& f) { return f.pixelSize * f.stretch * 3 / 100; };
        QCOMPARE(acquisition::fitValueFont(designedSize, room, width), font);
    }

    // --- waits -----------------------------------------------------------------------------------

    void waits_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("readWait");
        QTest::addColumn<int>("deadline");

        // Line time of 8 + 2n + 5 bytes at 10 bits each, rounded up, plus 150 ms.
        QTest::newRow("2 @ 4800") << 2 << 4800 << 200 << 500;
        QTest::newRow("2 @ 9600") << 2 << 9600 << 200 << 500;
        QTest::newRow("2 @ 19200") << 2 << 19200 << 200 << 500;
        QTest::newRow("40 @ 4800") << 40 << 4800 << 344 << 500;
        QTest::newRow("40 @ 9600") << 40 << 9600 << 247 << 500;
        QTest::newRow("40 @ 19200") << 40 << 19200 << 200 << 500;
        QTest::newRow("160 @ 4800") << 160 << 4800 << 844 << 844;
        QTest::newRow("160 @ 9600") << 160 << 9600 << 497 << 500;
        QTest::newRow("160 @ 19200") << 160 << 19200 << 324 << 500;
        QTest::newRow("255 @ 4800") << 255 << 4800 << 1240 << 1240;
        QTest::newRow("255 @ 9600") << 255 << 9600 << 695 << 695;
        QTest::newRow("255 @ 19200") << 255 << 19200 << 423 << 500;
        QTest::newRow("255 @ unset baud as 9600") << 255 << 0 << 695 << 695;
    }
    void waits()
    {
        QFETCH(int, count);
        QFETCH(int, baud);
        QFETCH(int, readWait);
        QFETCH(int, deadline);
        QCOMPARE(temperatureReadWaitMs(count, baud), readWait);
        QCOMPARE(passChannelDeadlineMs(count, baud), deadline);
    }

    // A longer reply time-out replaces the pass's floor, and the single
    // reading's where it is longer than the default; the line's own time stays.
    void waitsFollowTheReplyTimeout_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("readWait");
        QTest::addColumn<int>("deadline");
        QTest::newRow("default") << 2 << 9600 << 500 << 200 << 500;
        QTest::newRow("shorter") << 2 << 9600 << 300 << 200 << 300;
        QTest::newRow("longer") << 2 << 9600 << 1500 << 1500 << 1500;
        QTest::newRow("line time above it") << 255 << 4800 << 1000 << 1240 << 1240;
    }
    void waitsFollowTheReplyTimeout()
    {
        QFETCH(int, count);
        QFETCH(int, baud);
        QFETCH(int, timeout);
        QFETCH(int, readWait);
        QFETCH(int, deadline);
        QCOMPARE(temperatureReadWaitMs(count, baud, timeout), readWait);
        QCOMPARE(passChannelDeadlineMs(count, baud, timeout), deadline);
    }

    void lineTestFiguresFromExchanges_data()
    {
        using protocol::ReplyStatus;
        QTest::addColumn<QVector<int>>("times"); // ms; -1 no reply
        QTest::addColumn<int>("median");         // -1: none
        QTest::addColumn<int>("p95");
        QTest::addColumn<int>("suggested");
        QTest::addColumn<int>("noReplies");
        QTest::newRow("nothing came") << QVector<int>{-1, -1} << -1 << -1 << -1 << 2;
        QTest::newRow("one reply") << QVector<int>{40} << 40 << 40 << 150 << 0;
        QTest::newRow("slow module: twice p95") << QVector<int>{210, 200, 220, 205} << 205 << 220 << 450 << 0;
        // 20 values 1..20: the 95th percentile is the 19th.
        QVector<int> twenty;
        for (int v = 1; v <= 20; ++v)
            twenty << v;
        QTest::newRow("nearest rank") << twenty << 10 << 19 << 150 << 0;
        QTest::newRow("a lost reply is no time") << QVector<int>{-1, 30, 50} << 30 << 50 << 150 << 1;
        QTest::newRow("beyond the largest time-out") << QVector<int>{40000} << 40000 << 40000 << 60000 << 0;
    }
    void lineTestFiguresFromExchanges()
    {
        QFETCH(QVector<int>, times);
        QFETCH(int, median);
        QFETCH(int, p95);
        QFETCH(int, suggested);
        QFETCH(int, noReplies);
        QVector<LineTestSample> samples;
        for (int t : times)
            samples << LineTestSample{t < 0 ? protocol::ReplyStatus::NoReply : protocol::ReplyStatus::Usable, t, 0,
                                      t < 0 ? 0 : 2};
        const LineTestFigures f = lineTestFigures(samples);
        QCOMPARE(f.requests, int(times.size()));
        QCOMPARE(f.noReplies, noReplies);
        QCOMPARE(f.usable, int(times.size()) - noReplies);
        QCOMPARE(f.medianMs.value_or(-1), median);
        QCOMPARE(f.p95Ms.value_or(-1), p95);
        QCOMPARE(f.suggestedTimeoutMs.value_or(-1), suggested);
        QCOMPARE(f.garbageBytes, 2 * (times.size() - noReplies));
        QVERIFY(!f.echoSeen);
    }

    void passQuietGap_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<bool>("cutShort");
        QTest::addColumn<int>("gapUs");
        // 3.5 characters; after a reply cut short by its deadline, bursts from the
        // adapter need a longer silence, but a slow line keeps its own longer gap.
        QTest::newRow("9600") << 9600 << false << 3646;
        QTest::newRow("4800") << 4800 << false << 7292;
        QTest::newRow("cut short at 9600") << 9600 << true << 20000;
        QTest::newRow("cut short at 1200") << 1200 << true << 29167;
    }
    void passQuietGap()
    {
        QFETCH(int, baud);
        QFETCH(bool, cutShort);
        QFETCH(int, gapUs);
        QCOMPARE(passQuietGapUs(baud, cutShort), gapUs);
    }

    // --- request boxes ---------------------------------------------------------------------------

    void requestFields_data()
    {
        QTest::addColumn<QStringList>("boxes"); // station, function, start, count, channel
        QTest::addColumn<Rounding>("rounding");
        QTest::addColumn<QList<int>>("bytes"); // empty when rejected
        QTest::addColumn<QString>("message");

        const QString byteRange = QStringLiteral("：请输入0～255之间的整数");
        QTest::newRow("designed texts") << QStringList{"2", "3", "1", "2", "4"} << Rounding::CutOff
                                        << QList<int>{2, 3, 1, 2, 4} << QString();
        QTest::newRow("byte limits") << QStringList{"0", "255", " 0 ", "255", "10"} << Rounding::HalfToEven
                                     << QList<int>{0, 255, 0, 255, 10} << QString();
        QTest::newRow("cut off") << QStringList{"2.9", "3.5", "-0.5", "40.99", "255.9"} << Rounding::CutOff
                                 << QList<int>{2, 3, 0, 40, 255} << QString();
        QTest::newRow("half to even") << QStringList{"2.5", "3.5", "0.4", "39.6", "254.5"}
                                      << Rounding::HalfToEven << QList<int>{2, 4, 0, 40, 254} << QString();
        QTest::newRow("255.5 rounds to 256") << QStringList{"2", "3", "1", "2", "255.5"}
                                             << Rounding::HalfToEven << QList<int>() << "通道号" + byteRange;
        QTest::newRow("station 256") << QStringList{"256", "3", "1", "2", "4"} << Rounding::CutOff
                                     << QList<int>() << "设备地址" + byteRange;
        QTest::newRow("function abc, caption without blanks")
            << QStringList{"2", "abc", "1", "2", "4"} << Rounding::CutOff << QList<int>()
            << "功能码" + byteRange;
        QTest::newRow("start -1") << QStringList{"2", "3", "-1", "2", "4"} << Rounding::CutOff << QList<int>()
                                  << "超始地址" + byteRange;
        QTest::newRow("count empty") << QStringList{"2", "3", "1", "", "4"} << Rounding::HalfToEven
                                     << QList<int>() << "数据长度" + byteRange;
        QTest::newRow("channel x") << QStringList{"2", "3", "1", "2", "x"} << Rounding::CutOff << QList<int>()
                                   << "通道号" + byteRange;
        QTest::newRow("first bad box named") << QStringList{"2", "3", "999", "abc", "x"} << Rounding::CutOff
                                             << QList<int>() << "超始地址" + byteRange;
    }
    void requestFields()
    {
        QFETCH(QStringList, boxes);
        QFETCH(Rounding, rounding);
        QFETCH(QList<int>, bytes);
        QFETCH(QString, message);

        const FieldsResult result =
            readRequestFields(boxes[0], boxes[1], boxes[2], boxes[3], boxes[4], rounding);
        QCOMPARE(result.message, message);
        QCOMPARE(result.fields.has_value(), !bytes.isEmpty());
        if (!result.fields)
            return;
        const TemperatureRequestFields& f = *result.fields;
        QCOMPARE((QList<int>{f.station, f.function, f.start, f.count, f.channel}), bytes);
    }

    void loopIntervals_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("interval"); // -1: rejected
        QTest::newRow("designed 1000") << "1000" << 1000;
        QTest::newRow("zero: a loop that never runs") << "0" << -1;
        QTest::newRow("lowest") << "1" << 1;
        QTest::newRow("highest") << "65535" << 65535;
        QTest::newRow("fraction cut off") << "1000.9" << 1000;
        QTest::newRow("65535.9 cut to 65535") << "65535.9" << 65535;
        QTest::newRow("65536") << "65536" << -1;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("not a number") << "1s" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void loopIntervals()
    {
        QFETCH(QString, text);
        QFETCH(int, interval);
        QCOMPARE(loopInterval(text), interval < 0 ? std::nullopt : std::optional<int>(interval));
        QCOMPARE(loopIntervalMessage(), QStringLiteral("定时时长(ms)：请输入1～65535之间的整数"));
    }

    void counter_data()
    {
        QTest::addColumn<QString>("counter");
        QTest::addColumn<QString>("wrapped");
        QTest::addColumn<QString>("next");
        QTest::newRow("start") << "1"
                               << "1"
                               << "2";
        QTest::newRow("zero") << "0"
                              << "0"
                              << "1";
        QTest::newRow("65535 still counts on") << "65535"
                                               << "65535"
                                               << "65536";
        QTest::newRow("65536 starts again") << "65536"
                                            << "0"
                                            << "1";
        QTest::newRow("far beyond int") << "99999999999"
                                        << "0"
                                        << "1";
        QTest::newRow("not a number") << "abc"
                                      << "abc"
                                      << "1";
        QTest::newRow("empty") << ""
                               << ""
                               << "1";
    }
    void counter()
    {
        QFETCH(QString, counter);
        QFETCH(QString, wrapped);
        QFETCH(QString, next);
        QCOMPARE(wrappedCounterText(counter), wrapped);
        QCOMPARE(nextCounterText(counter), next);
    }

    // --- the all-channels pass -------------------------------------------------------------------

    void passAsksEachChannelInTurn()
    {
        PassRig rig;
        rig.device->setResponder([](const QByteArray& request) { return twoRegistersOf(request.at(2)); });
        QVERIFY(rig.start(3));
        QVERIFY(!rig.start(3)); // never a pass inside a pass
        QTRY_COMPARE(rig.finished, QList<bool>{true});
        QCOMPARE(rig.started, (QList<int>{1, 2, 3}));
        QCOMPARE(rig.answered.size(), 3);
        for (int c = 1; c <= 3; ++c) {
            QCOMPARE(int(rig.answered[c - 1].reply.status), int(protocol::ReplyStatus::Usable));
            QCOMPARE(rig.answered[c - 1].reply.bytes, twoRegistersOf(c));
            QCOMPARE(rig.answered[c - 1].request.context.channel, c);
        }
    }

    // A reply still arriving at its channel's deadline is cut short; the next
    // channel's request waits until the line has been quiet long enough for a USB
    // adapter's bursts (not only 3.5 characters), so the rest neither collides
    // with it nor is taken for its reply.
    void tailOfACutShortReplyIsWaitedOut()
    {
        PassRig rig;
        qint64 quietBeforeChannel2Us = -1;
        QObject::connect(rig.core.get(), &requests::RequestCore::requestWritten, [&](const requests::Request& r) {
            if (r.context.channel == 2)
                quietBeforeChannel2Us = rig.comm->usSinceLastByte();
        });
        const int deadlineMs = passChannelDeadlineMs(2, 9600);
        rig.device->setResponder([&](const QByteArray& request) {
            const QByteArray reply = twoRegistersOf(request.at(2));
            if (request.at(2) != 1)
                return reply;
            // Channel 1's reply starts just before the deadline and goes on in bursts after it.
            QTimer::singleShot(deadlineMs - 5, rig.core.get(), [&, reply] { rig.device->inject(reply.left(5)); });
            QTimer::singleShot(deadlineMs + 8, rig.core.get(), [&, reply] { rig.device->inject(reply.mid(5)); });
            return QByteArray();
        });
        QVERIFY(rig.start(2));
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QList<bool>{true}, 5000);
        QCOMPARE(rig.answered.size(), 2);
        QCOMPARE(rig.answered[1].reply.bytes, twoRegistersOf(2));
        if (rig.answered[0].reply.status != protocol::ReplyStatus::CutShort)
            QSKIP("the machine was too slow for this timing: no byte came before the deadline");
        QVERIFY2(quietBeforeChannel2Us >= kCutShortQuietUs, qPrintable(QString::number(quietBeforeChannel2Us)));
    }

    // A channel whose reply was lost is asked again as often as the line's
    // tuning says; only its last asking is told.
    void retryRecoversALostReply_data()
    {
        QTest::addColumn<int>("retries");
        QTest::addColumn<int>("lost"); // channel 2's first replies lost
        QTest::addColumn<bool>("recovered");
        QTest::newRow("no retries") << 0 << 1 << false;
        QTest::newRow("one retry") << 1 << 1 << true;
        QTest::newRow("two lost, one retry") << 1 << 2 << false;
        QTest::newRow("two lost, two retries") << 2 << 2 << true;
    }
    void retryRecoversALostReply()
    {
        QFETCH(int, retries);
        QFETCH(int, lost);
        QFETCH(bool, recovered);
        PassRig rig;
        requests::LineTuning tuning;
        tuning.replyTimeoutMs = 100;
        tuning.retries = retries;
        rig.core->setLineTuning(tuning);
        int asked2 = 0;
        rig.device->setResponder([&](const QByteArray& request) {
            if (request.at(2) == 2 && ++asked2 <= lost)
                return QByteArray();
            return twoRegistersOf(request.at(2));
        });
        QVERIFY(rig.start(3));
        QTRY_COMPARE(rig.finished, QList<bool>{true});
        QCOMPARE(rig.started, (QList<int>{1, 2, 3}));
        QCOMPARE(rig.answered.size(), 3);
        QCOMPARE(rig.answered[1].reply.status == protocol::ReplyStatus::Usable, recovered);
        if (recovered)
            QCOMPARE(rig.answered[1].reply.bytes, twoRegistersOf(2));
        QCOMPARE(rig.answered[1].request.retry, recovered ? lost : retries);
        QCOMPARE(rig.answered[2].reply.bytes, twoRegistersOf(3));
    }

    // A module slower than the time-out: channel 1's reply comes after its
    // deadline, while channel 2 is due. It is never taken for channel 2's.
    void lateReplyIsNotTakenForTheNextChannel()
    {
        PassRig rig;
        requests::LineTuning tuning;
        tuning.replyTimeoutMs = 150;
        rig.core->setLineTuning(tuning);
        rig.device->setResponder([&](const QByteArray& request) {
            const int channel = request.at(2);
            const QByteArray reply = twoRegistersOf(channel);
            QTimer::singleShot(channel == 1 ? 200 : 60, rig.core.get(), [&, reply] { rig.device->inject(reply); });
            return QByteArray();
        });
        QVERIFY(rig.start(2));
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QList<bool>{true}, 5000);
        QCOMPARE(int(rig.answered[0].reply.status), int(protocol::ReplyStatus::NoReply));
        QCOMPARE(rig.answered[1].reply.bytes, twoRegistersOf(2));
    }

    // The port closing ends the pass: no channel after it is asked.
    void passEndsWithThePort()
    {
        PassRig rig;
        QVERIFY(rig.start(3));
        QTRY_COMPARE(rig.started, QList<int>{1});
        rig.comm->setPortOpen(false);
        QCOMPARE(rig.finished, QList<bool>{false});
        QCOMPARE(rig.answered.size(), 0);
        QVERIFY(!rig.pass->running());
        QVERIFY(rig.core->idle());
    }
};

QTEST_GUILESS_MAIN(TestAcquisition)
#include "test_acquisition.moc"
