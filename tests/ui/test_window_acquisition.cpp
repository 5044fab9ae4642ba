// Reading temperatures through the window: single readings, the loops, the
// all-channels pass, decoding into the grid, and saving module settings.

#include "window_fixture.h"

#include "acquisition/grid_geometry.h"
#include "protocol/crc16.h"
#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "ui/form_builder.h"

#include <QEventLoop>
#include <utility>

namespace {
QStringList expectedTexts(int channel, int start, int count)
{
    QStringList texts;
    for (int k = 0; k < count; ++k) {
        const int value = channel * 100 + start + k;
        texts << QStringLiteral("%1.%2").arg(value / 100).arg(value % 100, 2, 10, QLatin1Char('0'));
    }
    return texts;
}

int framesIn(const QByteArray& written)
{
    return int(written.size() / 8);
}
} // namespace

class TestWindowAcquisition : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void doDataFillsTheRequestedChannel()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,10,6,1\r\n");
        MainWindow& w = f.create();
        w.showTemperatures(hexBytes("02 03 04 09 C4 FF 38 CB 70"), 4, w.sensorsPerChannel());
        QCOMPARE(f.cellTexts(4, 6), (QStringList{"25.00", "-2.00", "0", "0", "0", "0"}));
        QCOMPARE(f.cellColour(4, 0), QColor(Qt::black));
        // Five bytes change nothing.
        w.showTemperatures(hexBytes("02 03 04 09 C4"), 4, 6);
        QCOMPARE(f.cellTexts(4, 2), (QStringList{"25.00", "-2.00"}));
        // A register the module holds no value for is no reading of 0 °C.
        w.showTemperatures(protocol::appendCrc(hexBytes("02 03 02 FF FF")), 4, 6);
        QCOMPARE(f.cellTexts(4, 1), QStringList{"无数值"});
        QCOMPARE(f.cellColour(4, 0), QColor(Qt::black));
    }

    void cellToolTipsFollowTheirValues()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,10,6,1\r\n");
        MainWindow& w = f.create();
        const auto tips = [&](int index) {
            return QStringList{w.valueCells(4)[index]->toolTip(), w.lblValue[3][index]->toolTip()};
        };
        QCOMPARE(tips(2), QStringList(2, QStringLiteral("温度组4 3#: 0")));
        w.showTemperatures(hexBytes("02 03 04 09 C4 FF 38 CB 70"), 4, w.sensorsPerChannel());
        QCOMPARE(tips(0), QStringList(2, QStringLiteral("温度组4 1#: 25.00")));
        QCOMPARE(tips(1), QStringList(2, QStringLiteral("温度组4 2#: -2.00")));
        QCOMPARE(tips(2), QStringList(2, QStringLiteral("温度组4 3#: 0")));
        w.closePort();
        w.txtChannel->setText(QStringLiteral("4"));
        w.readChannelOnce(); // clears the group
        QCOMPARE(tips(1), QStringList(2, QStringLiteral("温度组4 2#: 未读取")));
    }

    // Where the designed boxes do not fit their columns, they are cut to the
    // room and the reading still shows whole; elsewhere nothing changes. Every
    // cell keeps its place.
    void valueCellsFitTheirColumns_data()
    {
        QTest::addColumn<QByteArray>("modSet");
        QTest::addColumn<bool>("narrowed");
        QTest::newRow("1 x 40") << QByteArray("1,1,40,1\r\n") << false;
        QTest::newRow("10 x 20") << QByteArray("1,10,20,1\r\n") << false;
        QTest::newRow("10 x 40") << QByteArray("1,10,40,1\r\n") << true;
        QTest::newRow("10 x 160: no legible font fits") << QByteArray("1,10,160,1\r\n") << false;
    }
    void valueCellsFitTheirColumns()
    {
        QFETCH(QByteArray, modSet);
        QFETCH(bool, narrowed);
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), modSet);
        MainWindow& w = f.create();
        const QFont designedFont = w.txtValue[0][0]->font();
        const int designedWidth = w.txtValue[0][0]->width();
        const acquisition::GridLayout layout =
            acquisition::arrangeValueGrid(w.channelCount(), w.sensorsPerChannel());
        for (int g = 1; g <= w.channelCount(); ++g) {
            const QVector<QLineEdit*>& boxes = w.valueCells(g);
            const QVector<QLabel*>& labels = w.lblValue[size_t(g - 1)];
            const QRect inside = w.FrameShow[size_t(g - 1)]->contentsRect();
            for (int i = 0; i < boxes.size(); ++i) {
                const QLineEdit* box = boxes[i];
                const acquisition::GridElement e = layout.element(g, i);
                QCOMPARE(box->pos(), QPoint(form::twipsToPixels(e.boxLeft), form::twipsToPixels(e.boxTop)));
                QCOMPARE(labels[i]->pos(),
                         QPoint(form::twipsToPixels(e.labelLeft), form::twipsToPixels(e.labelTop)));
                if (!narrowed) {
                    QCOMPARE(box->width(), designedWidth);
                    QCOMPARE(box->font(), designedFont);
                    QVERIFY(box->hasFrame());
                    continue;
                }
                QVERIFY2(box->x() >= inside.left() && box->geometry().right() <= inside.right(),
                         qPrintable(box->objectName()));
                QVERIFY(QFontMetricsF(box->font()).horizontalAdvance(QStringLiteral("-55.00")) <=
                        box->width());
                for (const QLabel* label : labels)
                    QVERIFY2(!label->geometry().intersects(box->geometry()),
                             qPrintable(label->objectName() + QLatin1Char(' ') + box->objectName()));
            }
        }
    }

    void singleReadingDecodesIntoTheChannelAsked()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "2,10,6,1\r\n");
        MainWindow& w = f.create();
        w.txtChannel->setText(QStringLiteral("4"));
        w.txtDataLength->setText(QStringLiteral("2"));
        f.backend->written();
        // The operator edits the channel and count boxes before the reply comes in;
        // the reply is read with the request it answers.
        QTimer::singleShot(20, &w, [&] {
            w.txtChannel->setText(QStringLiteral("7"));
            w.txtDataLength->setText(QStringLiteral("1"));
            f.backend->inject(hexBytes("02 03 04 09 C4 FF 38 CB 70"));
        });
        w.readChannelOnce();
        QVERIFY(lineSettles(w));
        QCOMPARE(f.backend->written(), protocol::temperatureRequest(2, 3, 4, 1, 2));
        QCOMPARE(f.cellTexts(4, 2), (QStringList{"25.00", "-2.00"}));
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral(" 02 03 04 09 C4 FF 38 CB 70"));
        QCOMPARE(f.cellTexts(7, 1), (QStringList{"0"}));
        QCOMPARE(f.cellColour(4, 2), QColor(Qt::red)); // cleared, not reached by the reply
        QCOMPARE(w.valueCells(4)[2]->text(), QString());
        QCOMPARE(f.frontLamp(), QStringLiteral("imgConnected"));
    }

    // A reply in two pieces is decoded whole, CRC checked; a port reopened
    // during the wait ends it, and what comes then is nobody's reply.
    void singleReadingTakesItsReplyWhole()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "2,10,6,1\r\n");
        MainWindow& w = f.create();
        w.txtDataLength->setText(QStringLiteral("2"));
        QTimer::singleShot(20, &w, [&] {
            f.backend->inject(hexBytes("02 03 04 09 C4 FF"));
            QTimer::singleShot(20, &w, [&] { f.backend->inject(hexBytes("38 CB 70")); });
        });
        w.readChannelOnce();
        QVERIFY(lineSettles(w));
        QCOMPARE(f.cellTexts(4, 2), (QStringList{"25.00", "-2.00"}));
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral(" 02 03 04 09 C4 FF 38 CB 70"));

        QTimer::singleShot(20, &w, [&] {
            w.openPort();
            f.backend->inject(hexBytes("02 03 04 09 C4 FF 38 CB 70"));
        });
        w.readChannelOnce();
        QVERIFY(lineSettles(w));
        QCOMPARE(f.cellTexts(4, 2), (QStringList{"", ""}));
    }

    // Bytes that are no valid reply to the request are shown with what is wrong,
    // the red lamp comes to the front, and nothing is decoded.
    void badReplyIsFlaggedNotDecoded_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("note");
        QTest::newRow("CRC fails") << hexBytes("02 03 04 09 C4 FF 38 CB 71")
                                   << QStringLiteral(" CRC校验错误");
        QTest::newRow("another station's reply")
            << protocol::appendCrc(hexBytes("07 03 04 09 C4 FF 38")) << QStringLiteral(" 应答与请求不符");
        QTest::newRow("another byte count")
            << protocol::appendCrc(hexBytes("02 03 02 09 C4 FF 38")) << QStringLiteral(" 应答与请求不符");
    }
    void badReplyIsFlaggedNotDecoded()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, note);
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "2,10,6,1\r\n");
        MainWindow& w = f.create();
        w.txtDataLength->setText(QStringLiteral("2"));
        QTimer::singleShot(20, &w, [&] { f.backend->inject(reply); });
        w.readChannelOnce();
        QVERIFY(lineSettles(w));
        QCOMPARE(w.txtState->toPlainText(), protocol::replyDump(reply) + note);
        QCOMPARE(f.cellTexts(4, 2), (QStringList{"", ""}));
        QCOMPARE(f.frontLamp(), QStringLiteral("imgNotConnected"));
    }

    void singleReadingWithPortClosedClearsAndSaysSo()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "2,10,6,1\r\n");
        MainWindow& w = f.create();
        w.closePort();
        w.txtState->setPlainText(QStringLiteral("old"));
        w.readChannelOnce();
        QCOMPARE(f.cellTexts(4, 6), QStringList(6, QString()));
        QCOMPARE(f.cellColour(4, 5), QColor(Qt::red));
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral("串口未打开，请先打开串口"));
        QCOMPARE(f.backend->written(), QByteArray());
    }

    // The single reading reads all five boxes; the pass reads all but the channel
    // box, which it only writes each channel number into.
    void boxesThatDoNotFitAreNamed_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("passReadsIt");
        QTest::newRow("channel") << "txtChannel"
                                 << "abc" << QStringLiteral("通道号：请输入0～255之间的整数") << false;
        QTest::newRow("channel empty") << "txtChannel"
                                       << "" << QStringLiteral("通道号：请输入0～255之间的整数") << false;
        QTest::newRow("function") << "txtFunID"
                                  << "256" << QStringLiteral("功能码：请输入0～255之间的整数") << true;
        QTest::newRow("count") << "txtDataLength"
                               << "" << QStringLiteral("数据长度：请输入0～255之间的整数") << true;
    }
    void boxesThatDoNotFitAreNamed()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFETCH(bool, passReadsIt);
        WindowFixture f;
        MainWindow& w = f.create();
        f.backend->written();
        w.findChild<QLineEdit*>(box)->setText(text);
        w.readChannelOnce();
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, message);
        QCOMPARE(f.backend->written(), QByteArray());
        f.boxes.clear();
        w.startAllChannelsLoop();
        w.allChannelsLoopTick();
        QCOMPARE(f.boxes.size(), passReadsIt ? 1 : 0);
        QCOMPARE(framesIn(f.backend->written()), passReadsIt ? 0 : w.channelCount());
        QCOMPARE(w.Timer7->Enabled(), !passReadsIt); // the loop stops only for a box it reads
    }

    // A real message box is modal: the event loop keeps running while it is
    // open, and so does the single-channel loop. A tick that finds the same bad
    // box text stops the loop without stacking a second box on the first.
    void badBoxesShowOneMessageWhileTheLoopTicks()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        int open = 0, mostOpen = 0;
        dialogs::setMessageBoxHandler([&](const dialogs::MessageBoxRequest& request) {
            f.boxes.append(request);
            mostOpen = std::max(mostOpen, ++open);
            QTest::qWait(300); // the operator reads the box while ticks keep coming
            --open;
            return int(dialogs::AnswerOk);
        });
        w.txtTimerSet[0]->setText(QStringLiteral("20"));
        w.startChannelLoop();
        w.txtChannel->setText(QStringLiteral("abc"));
        w.readChannelOnce();
        QTest::qWait(100);
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(mostOpen, 1);
        QVERIFY(!w.Timer2->Enabled());
    }

    void singleLoopCounts()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        f.backend->setResponder(answerTemperatures);
        w.Timer7->setEnabled(true);
        w.startChannelLoop();
        QCOMPARE(w.lblCounter->text(), QStringLiteral("1"));
        QVERIFY(!w.Timer7->Enabled());
        QVERIFY(w.Timer2->isTicking());
        QCOMPARE(w.Timer2->Interval(), 1000);
        QTRY_COMPARE_WITH_TIMEOUT(w.lblCounter->text(), QStringLiteral("2"), 5000);
        w.stopChannelLoop();
        QVERIFY(!w.Timer2->Enabled());
        QVERIFY(lineSettles(w));

        w.lblCounter->setText(QStringLiteral("65536"));
        w.channelLoopTick();
        QCOMPARE(w.lblCounter->text(), QStringLiteral("1"));

        // Port not open: the loop ticks but neither counts nor sends.
        w.closePort();
        w.channelLoopTick();
        QCOMPARE(w.lblCounter->text(), QStringLiteral("1"));

        // An interval of 0 would start a loop that never runs: refused, naming the box.
        w.stopChannelLoop();
        f.boxes.clear();
        w.txtTimerSet[0]->setText(QStringLiteral("0"));
        w.startChannelLoop();
        QVERIFY(!w.Timer2->Enabled());
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, QStringLiteral("定时时长(ms)：请输入1～65535之间的整数"));
    }

    void loopsExcludeEachOther()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        w.startChannelLoop();
        w.startAllChannelsLoop();
        QVERIFY(!w.Timer2->Enabled());
        QVERIFY(w.Timer7->isTicking());
        QCOMPARE(w.Timer7->Interval(), 3000);
        w.stopAllChannelsLoop();
        QVERIFY(w.Timer7->Enabled()); // stays enabled with interval 0
        QVERIFY(!w.Timer7->isTicking());
        w.startAllChannelsLoop();
        w.startChannelLoop();
        QVERIFY(!w.Timer7->Enabled());
        w.startAllChannelsLoop();
        w.readChannelOnce();
        QVERIFY(!w.Timer7->Enabled());
    }

    void passFillsEveryChannel()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,3,4,1\r\n");
        MainWindow& w = f.create();
        f.backend->setResponder(answerTemperatures);
        w.txtStartID->setText(QStringLiteral("1"));
        f.backend->written();
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w));
        QCOMPARE(framesIn(f.backend->written()), 3);
        for (int c = 1; c <= 3; ++c) {
            QCOMPARE(f.cellTexts(c, 4), expectedTexts(c, 1, 4));
            QCOMPARE(f.cellColour(c, 3), QColor(Qt::black));
        }
        QCOMPARE(w.txtChannel->text(), QStringLiteral("3"));
        QCOMPARE(f.frontLamp(), QStringLiteral("ImgYellow"));
    }

    // A loop whose interval is shorter than its pass does not wake every interval
    // to find the pass busy: its timer rests until the pass ends, and then the
    // next pass starts at once, unless the loop was stopped or restarted meanwhile.
    void allChannelsLoopRestsDuringItsPass_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("nextPassStarts");
        QTest::addColumn<bool>("ticking");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("nothing") << QString() << true << true << 1 << true;
        QTest::newRow("stop") << QStringLiteral("stop") << false << false << 0 << true;
        QTest::newRow("single reading") << QStringLiteral("single") << false << false << 1 << false;
        QTest::newRow("restarted") << QStringLiteral("restart") << false << true << 5000 << true;
    }
    void allChannelsLoopRestsDuringItsPass()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, nextPassStarts);
        QFETCH(bool, ticking);
        QFETCH(int, interval);
        QFETCH(bool, enabled);
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,2,2,1\r\n");
        MainWindow& w = f.create();
        // Silent module: each channel waits for its deadline, so the pass outlasts the interval.
        w.txtTimerSet[1]->setText(QStringLiteral("1"));
        w.startAllChannelsLoop();
        QTRY_VERIFY(w.reading().passRunning() && !w.Timer7->isTicking());
        // What the loop is as the first pass has ended (connected after the window's own):
        bool ended = false, started = false, tickingThen = false, enabledThen = false;
        int intervalThen = -1;
        connect(&w.reading(), &acquisition::ReadingController::passFinished, this, [&] {
            if (std::exchange(ended, true))
                return;
            started = w.reading().passRunning();
            tickingThen = w.Timer7->isTicking();
            intervalThen = w.Timer7->Interval();
            enabledThen = w.Timer7->Enabled();
        });
        if (meanwhile == QLatin1String("stop")) {
            w.stopAllChannelsLoop();
        } else if (meanwhile == QLatin1String("single")) {
            w.readChannelOnce();
        } else if (meanwhile == QLatin1String("restart")) {
            w.txtTimerSet[1]->setText(QStringLiteral("5000"));
            w.startAllChannelsLoop();
        }
        QTRY_VERIFY_WITH_TIMEOUT(ended, 5000);
        QCOMPARE(started, nextPassStarts);
        QCOMPARE(tickingThen, ticking);
        QCOMPARE(intervalThen, interval);
        QCOMPARE(enabledThen, enabled);
        w.stopAllChannelsLoop();
        QVERIFY(lineSettles(w));
    }

    void passIsNeverEnteredTwice()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,2,2,1\r\n");
        MainWindow& w = f.create();
        // Silent module: each channel waits for its deadline, long enough for the clicks.
        f.backend->written();
        QTimer::singleShot(50, &w, [&] {
            w.allChannelsLoopTick();
            w.readAllChannelsOnce();
            w.channelLoopTick();
        });
        w.readAllChannelsOnce();
        QTest::qWait(100);
        QVERIFY(lineSettles(w));
        QCOMPARE(framesIn(f.backend->written()), 2);
    }

    // A channel without a good reply stays red and empty, says why, and the pass goes on.
    void passFlagsABadReplyAndGoesOn_data()
    {
        QTest::addColumn<QByteArray>("badReply");
        QTest::addColumn<QString>("state");
        QByteArray corrupt = answerTemperatures(protocol::temperatureRequest(1, 3, 2, 1, 2));
        corrupt[corrupt.size() - 1] = char(corrupt.back() ^ 0x01);
        QTest::newRow("no reply") << QByteArray()
                                  << QStringLiteral("等待响应中...(如果3秒内未响应，请检查命令或硬件！)");
        QTest::newRow("CRC fails") << corrupt
                                   << protocol::replyDump(corrupt) + QStringLiteral(" CRC校验错误");
        QTest::newRow("exception reply")
            << hexBytes("01 83 02 C0 F1") << QStringLiteral(" 01 83 02 C0 F1 模块拒绝请求，异常码 02");
        const QByteArray otherStation = protocol::appendCrc(hexBytes("07 03 04 00 C8 00 C9"));
        QTest::newRow("another station's reply")
            << otherStation << protocol::replyDump(otherStation) + QStringLiteral(" 应答与请求不符");
    }
    void passFlagsABadReplyAndGoesOn()
    {
        QFETCH(QByteArray, badReply);
        QFETCH(QString, state);
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,3,2,1\r\n");
        MainWindow& w = f.create();
        QString stateAfterChannel2;
        f.backend->setResponder([&](const QByteArray& request) {
            if (request[2] == 3)
                stateAfterChannel2 = w.txtState->toPlainText();
            return request[2] == 2 ? badReply : answerTemperatures(request);
        });
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w));
        QCOMPARE(f.cellTexts(1, 2), expectedTexts(1, 1, 2));
        QCOMPARE(f.cellTexts(2, 2), (QStringList{"", ""}));
        QCOMPARE(f.cellColour(2, 0), QColor(Qt::red));
        QCOMPARE(stateAfterChannel2, state);
        QCOMPARE(f.cellTexts(3, 2), expectedTexts(3, 1, 2));
    }

    // Reopening the port during a pass ends it: nothing is read into any group
    // after that, and the groups read before keep their values.
    void portReopenedDuringAPassEndsIt()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,3,2,1\r\n");
        MainWindow& w = f.create();
        f.backend->setResponder(answerTemperatures);
        w.txtChannel->setText(QStringLiteral("4"));
        w.readChannelOnce();
        QVERIFY(lineSettles(w));
        QCOMPARE(f.cellTexts(4, 2), expectedTexts(4, 1, 2));
        f.backend->setResponder([&](const QByteArray& request) {
            if (request.size() > 2 && request[2] == 2) // queued ahead of the answer
                QMetaObject::invokeMethod(
                    &w, [&] { w.openPort(); }, Qt::QueuedConnection);
            return answerTemperatures(request);
        });
        w.readAllChannelsOnce();
        QVERIFY(lineSettles(w));
        QCOMPARE(f.cellTexts(1, 2), expectedTexts(1, 1, 2));
        QCOMPARE(f.cellTexts(2, 2), (QStringList{"", ""}));
        QCOMPARE(f.cellTexts(3, 2), (QStringList{"0", "0"})); // never asked
        QCOMPARE(f.cellTexts(4, 2), expectedTexts(4, 1, 2));
    }

    void passAskedForDuringASingleReadingRunsAfterIt()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,2,2,1\r\n");
        MainWindow& w = f.create();
        f.backend->written();
        w.Timer2->setInterval(60000);
        w.Timer2->setEnabled(true); // the single-channel loop, between two ticks
        // Silent module: the single reading waits its full time, long enough for the click.
        w.lblCounter->setText(QStringLiteral("5"));
        QTimer::singleShot(50, &w, [&] {
            w.channelLoopTick(); // a tick during the reading is dropped: no count, no request
            w.readAllChannelsOnce();
        });
        w.readChannelOnce();
        QTest::qWait(100);
        QVERIFY(!w.Timer2->Enabled());
        QCOMPARE(w.lblCounter->text(), QStringLiteral("5"));
        QByteArray written;
        QTRY_COMPARE_WITH_TIMEOUT(framesIn(written += f.backend->written()), 1 + 2, 10000);
    }

    // A message box the operator keeps open runs its own event loop: the loop's
    // passes go on under it, request after request.
    void aDialogHeldOpenStopsNoReading()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,3,2,1\r\n");
        MainWindow& w = f.create();
        f.backend->setResponder(answerTemperatures);
        int written = 0;
        connect(&w.requestCore(), &requests::RequestCore::requestWritten, this, [&] { ++written; });
        int writtenWhileOpen = -1;
        dialogs::setMessageBoxHandler([&](const dialogs::MessageBoxRequest& request) {
            f.boxes.append(request);
            const int before = written;
            QEventLoop open; // as a modal box does until it is answered
            QTimer::singleShot(1000, &open, &QEventLoop::quit);
            open.exec();
            writtenWhileOpen = written - before;
            return int(dialogs::AnswerOk);
        });
        w.txtTimerSet[1]->setText(QStringLiteral("10"));
        w.startAllChannelsLoop();
        QTRY_VERIFY(written >= 2); // a pass is on its way
        w.txtChnnelNum->setText(QStringLiteral("0"));
        w.saveModuleSettings(); // a message box, open for a second
        QCOMPARE(f.boxes.size(), 1);
        QVERIFY2(writtenWhileOpen >= 6, qPrintable(QString::number(writtenWhileOpen)));
        w.stopAllChannelsLoop();
    }

    void unplugStopsTheLoopsAndItsMessageStays_data()
    {
        QTest::addColumn<bool>("allChannels");
        QTest::newRow("single-channel loop") << false;
        QTest::newRow("all-channels loop") << true;
    }
    void unplugStopsTheLoopsAndItsMessageStays()
    {
        QFETCH(bool, allChannels);
        WindowFixture f;
        MainWindow& w = f.create();
        w.txtTimerSet[allChannels ? 1 : 0]->setText(QStringLiteral("20"));
        if (allChannels)
            w.startAllChannelsLoop();
        else
            w.startChannelLoop();
        f.backend->vanish();
        QTest::qWait(200);
        QVERIFY(!w.Timer2->Enabled());
        QVERIFY(!w.Timer7->Enabled());
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral("串口连接已断开"));
    }

    void passWithPortClosedSaysSo()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        w.closePort();
        w.txtCommand->setText(QStringLiteral("x"));
        w.txtState->setPlainText(QStringLiteral("y"));
        w.readAllChannelsOnce();
        QCOMPARE(w.txtCommand->text(), QString());
        QCOMPARE(w.txtState->toPlainText(), QStringLiteral("串口未打开，请先打开串口"));
        QCOMPARE(f.backend->written(), QByteArray());
    }

    void saveModuleSettings()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        const int groupsBefore = w.channelCount();
        w.txtChnnelNum->setText(QStringLiteral("0"));
        w.txtDoADDress->setText(QStringLiteral("0"));
        w.txtMaxofSensor->setText(QStringLiteral("0"));
        w.saveModuleSettings();
        QCOMPARE(f.boxes.size(), 3);
        QCOMPARE(f.boxes[0].text, QStringLiteral("模块通道数最大为1，最大为10，请检查后再保存"));
        QCOMPARE(f.boxes[1].text, QStringLiteral("设备地址最小值为1，最大为250，请检查后再保存"));
        QCOMPARE(f.boxes[2].text, QStringLiteral("一个通道最多接传感器数为160，最少为1，请检查后再保存"));
        QCOMPARE(f.boxes[0].title, dialogs::applicationTitle());
        QCOMPARE(f.readFile("ModSet.set"), QByteArray("<missing>"));

        f.boxes.clear();
        w.txtChnnelNum->setText(QStringLiteral("2.9"));
        w.txtDoADDress->setText(QStringLiteral("7.5"));
        w.txtMaxofSensor->setText(QStringLiteral("160"));
        w.txtModuleNum->setText(QStringLiteral("-5"));
        w.saveModuleSettings();
        QCOMPARE(f.readFile("ModSet.set"), QByteArray("7,2,160,-5\r\n"));
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, QStringLiteral("设备初始设置保存成功"));
        QCOMPARE(f.boxes[0].title, QStringLiteral("系统提示"));
        QCOMPARE(w.channelCount(), groupsBefore); // takes effect at the next start
        QCOMPARE(w.valueCells(1).size(), 40);
    }
};

QTEST_MAIN(TestWindowAcquisition)
#include "test_window_acquisition.moc"
