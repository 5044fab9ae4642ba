// The main window's view: the form in a scroll area, its zoom (keys, every
// control, cells made later, cells fitted to narrow columns) and view.set.

#include "window_fixture.h"

#include "acquisition/grid_geometry.h"
#include "acquisition/value_cell_sizing.h"
#include "ui/form_builder.h"
#include "ui/history_tab.h"

#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>

namespace {
const QSize FormSize(1054, 898);

// Within a pixel of `base` scaled by `factor`, edge by edge.
bool scaledWithinPixel(const QRect& zoomed, const QRect& base, double factor)
{
    const auto near = [factor](int edge, int baseEdge) { return std::abs(edge - baseEdge * factor) <= 1.0; };
    return near(zoomed.left(), base.left()) && near(zoomed.top(), base.top()) &&
           near(zoomed.left() + zoomed.width(), base.left() + base.width()) &&
           near(zoomed.top() + zoomed.height(), base.top() + base.height());
}

double fontSize(const QFont& font)
{
    return font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF();
}

QString describe(const QWidget* w, const QRect& base)
{
    QString text;
    QDebug(&text) << w->objectName() << w->geometry() << "from" << base << w->font().pointSizeF();
    return text;
}
} // namespace

class TestWindowView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Smaller than the form, the window scrolls to every control; larger, the
    // form keeps its size at the top left.
    void formScrollsInASmallWindow()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        QScrollArea* view = w.formView();
        w.SSTab1->setCurrentIndex(0);
        w.resize(600, 400);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(view->widget()->size(), FormSize);
        QVERIFY(view->horizontalScrollBar()->isVisible());
        QVERIFY(view->verticalScrollBar()->isVisible());
        for (QWidget* control : {static_cast<QWidget*>(w.cmdStopCircle), static_cast<QWidget*>(w.Frame1),
                                 static_cast<QWidget*>(w.SSTab1->tabBar())}) {
            view->ensureWidgetVisible(control, 0, 0);
            // As much of it as the view can hold (the status frame is wider than this window).
            const QRect place(control->mapTo(view->viewport(), QPoint()), control->size());
            QVERIFY2(place.intersected(view->viewport()->rect()).size() ==
                         place.size().boundedTo(view->viewport()->size()),
                     qPrintable(control->objectName()));
        }

        w.resize(1400, 1100);
        QTRY_VERIFY(!view->verticalScrollBar()->isVisible());
        QCOMPARE(view->widget()->geometry(), QRect(QPoint(0, 0), FormSize));
    }

    // At 150 % every kind of control, its font and a value cell made after the
    // zoom are 1.5 times their 100 % sizes; back at 100 % all is as it was.
    void zoomScalesEveryControl()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,2,40,1\r\n");
        MainWindow& w = f.create();
        const QList<QWidget*> controls{w.SSTab1, w.cmdStopCircle,  w.txtState,      w.Combo1,
                                       w.Label4, w.imgConnected,   w.Picture3,      w.FrameShow[1],
                                       w.Frame3, w.txtValue[1][0], w.lblValue[1][0]};
        QHash<QWidget*, QRect> geometry;
        QHash<QWidget*, QFont> font;
        for (QWidget* c : controls) {
            geometry.insert(c, c->geometry());
            font.insert(c, c->font());
        }
        const acquisition::GridElement e =
            acquisition::arrangeValueGrid(w.channelCount(), w.sensorsPerChannel()).element(2, 25);
        const QRect cellBase(form::twipsToPixels(e.boxLeft), form::twipsToPixels(e.boxTop),
                             w.txtValue[1][0]->width(), w.txtValue[1][0]->height());
        const QFont cellFont = w.txtValue[1][0]->font();

        w.setZoomPercent(150);
        QCOMPARE(w.formView()->widget()->size(), QSize(1581, 1347));
        w.SSTab1->setCurrentIndex(0); // the tab pages get their size when shown
        for (QWidget* c : controls) {
            QVERIFY2(scaledWithinPixel(c->geometry(), geometry[c], 1.5),
                     qPrintable(describe(c, geometry[c])));
            QCOMPARE(fontSize(c->font()), fontSize(font[c]) * 1.5);
        }
        const QLineEdit* cell = w.valueCells(2)[25];
        QVERIFY2(scaledWithinPixel(cell->geometry(), cellBase, 1.5), qPrintable(describe(cell, cellBase)));
        QCOMPARE(fontSize(cell->font()), fontSize(cellFont) * 1.5);

        w.setZoomPercent(100);
        for (QWidget* c : controls) {
            QCOMPARE(c->geometry(), geometry[c]);
            QCOMPARE(c->font(), font[c]);
        }
        QCOMPARE(cell->geometry(), cellBase);
    }

    // Cells cut to narrow columns keep their rule at every zoom: "-55.00" fits
    // their zoomed width, in the largest legible font where one fits.
    void narrowedCellsFitAtEveryZoom()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("ModSet.set"), "1,10,40,1\r\n");
        MainWindow& w = f.create();
        w.setZoomPercent(130);
        const QVector<QLineEdit*>& cells = w.valueCells(10); // made at 130 %
        QVERIFY(!cells[39]->hasFrame());
        const QString reading = QStringLiteral("-55.00");
        for (int percent : {130, 80, 90, 100, 110, 120, 140, 150, 160, 170, 180, 190, 200}) {
            w.setZoomPercent(percent);
            for (const QLineEdit* cell : {cells[0], cells[20], cells[39]}) {
                const QFont font = cell->font();
                const QString where = QStringLiteral("%1 %: %2, %3 px at %4 %, %5 px wide")
                                          .arg(percent)
                                          .arg(cell->objectName())
                                          .arg(font.pixelSize())
                                          .arg(font.stretch())
                                          .arg(cell->width());
                QVERIFY2(QFontMetricsF(font).horizontalAdvance(reading) <= cell->width(), qPrintable(where));
                // Where not even the smallest legible font fits, the cell keeps the zoom's.
                QFont smallest = font;
                smallest.setPixelSize(acquisition::kMinValuePixelSize);
                smallest.setStretch(acquisition::kMinValueStretch);
                if (QFontMetricsF(smallest).horizontalAdvance(reading) > cell->width() - 1)
                    continue;
                QVERIFY2(font.pixelSize() >= acquisition::kMinValuePixelSize, qPrintable(where));
                QVERIFY2(font.stretch() == 0 || font.stretch() >= acquisition::kMinValueStretch,
                         qPrintable(where));
                if (font.stretch() != 0 && font.stretch() != 100)
                    continue;
                QFont larger = font;
                larger.setPixelSize(font.pixelSize() + 1);
                QVERIFY2(QFontMetricsF(larger).horizontalAdvance(reading) > cell->width() - 1,
                         qPrintable(where));
            }
        }
    }

    // The history tab, laid out with some widths in pixels, keeps its fonts at
    // every zoom, in the pages built when it is first shown too.
    void historyTabKeepsItsSizes()
    {
        WindowFixture f;
        MainWindow& w = f.create();
        const QFont tabFont = w.historyTab()->font();
        w.setZoomPercent(150);
        w.show();
        w.SSTab1->setCurrentWidget(w.historyTab());
        QTRY_VERIFY(w.findChild<QListWidget*>(QStringLiteral("lstTraffic")));
        QCOMPARE(fontSize(w.historyTab()->font()), fontSize(tabFont));
        QCOMPARE(fontSize(w.findChild<QListWidget*>(QStringLiteral("lstTraffic"))->font()),
                 fontSize(QFontDatabase::systemFont(QFontDatabase::FixedFont)));
        QCOMPARE(fontSize(w.SSTab1->font()), fontSize(tabFont) * 1.5);
    }

    void zoomKeys_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("to");
        QTest::newRow("Ctrl =") << 100 << int(Qt::Key_Equal) << int(Qt::ControlModifier) << 110;
        QTest::newRow("Ctrl +") << 100 << int(Qt::Key_Plus) << int(Qt::ControlModifier) << 110;
        QTest::newRow("Ctrl + on the keypad")
            << 100 << int(Qt::Key_Plus) << int(Qt::ControlModifier | Qt::KeypadModifier) << 110;
        QTest::newRow("Ctrl -") << 100 << int(Qt::Key_Minus) << int(Qt::ControlModifier) << 90;
        QTest::newRow("Ctrl + at the largest") << 200 << int(Qt::Key_Plus) << int(Qt::ControlModifier) << 200;
        QTest::newRow("Ctrl 0") << 150 << int(Qt::Key_0) << int(Qt::ControlModifier) << 100;
    }
    // The keys work wherever the focus is, and the zoom is there on the next start.
    void zoomKeys()
    {
        QFETCH(int, from);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, to);
        WindowFixture f;
        f.writeFile(QStringLiteral("view.set"), QByteArray::number(from));
        MainWindow& w = f.create();
        QCOMPARE(w.zoomPercent(), from);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.txtStationID->setFocus();
        QTest::keyClick(w.txtStationID, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w.zoomPercent(), to);
        QCOMPARE(w.txtStationID->text(), QStringLiteral("1")); // the box took no key

        f.window.reset();
        MainWindow& again = f.create();
        QCOMPARE(again.zoomPercent(), to);
        QCOMPARE(again.formView()->widget()->size(), FormSize * (to / 100.0));
    }

    // A view.set that cannot be used is 100 %, and nobody is asked about it.
    void unusableViewSetIsFullSize()
    {
        WindowFixture f;
        f.writeFile(QStringLiteral("view.set"), "huge\r\n");
        MainWindow& w = f.create();
        QCOMPARE(w.zoomPercent(), 100);
        QCOMPARE(w.formView()->widget()->size(), FormSize);
        QVERIFY(f.boxes.isEmpty());
    }
};

QTEST_MAIN(TestWindowView)
#include "test_window_view.moc"
