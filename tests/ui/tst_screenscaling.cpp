#include "ui/screenscaling.h"

#include <QTest>

using namespace quiralto::ui;

class TestScreenScaling : public QObject
{
    Q_OBJECT

private slots:
    void scaleValue_data();
    void scaleValue();
    void fontHeightAtResolution_data();
    void fontHeightAtResolution();
    void controlsFollowTheText_data();
    void controlsFollowTheText();
};

void TestScreenScaling::scaleValue_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("numerator");
    QTest::addColumn<int>("denominator");
    QTest::addColumn<int>("scaled");
    QTest::newRow("exact") << 26 << 16 << 13 << 32;
    QTest::newRow("rounds down") << 10 << 16 << 13 << 12;      // 12.31
    QTest::newRow("rounds up") << 11 << 16 << 13 << 14;        // 13.54
    QTest::newRow("half away from zero") << 1 << 3 << 2 << 2;  // 1.5
    QTest::newRow("negative half") << -1 << 3 << 2 << -2;      // -1.5
    QTest::newRow("negative rounds toward zero") << -10 << 16 << 13 << -12;
    QTest::newRow("negative denominator") << 3 << 1 << -2 << -2; // -1.5
    QTest::newRow("zero") << 0 << 16 << 13 << 0;
    QTest::newRow("no overflow") << 2000000000 << 3 << 3 << 2000000000;
}

void TestScreenScaling::scaleValue()
{
    QFETCH(int, value);
    QFETCH(int, numerator);
    QFETCH(int, denominator);
    QFETCH(int, scaled);
    QCOMPARE(quiralto::ui::scaleValue(value, numerator, denominator), scaled);
}

void TestScreenScaling::fontHeightAtResolution_data()
{
    QTest::addColumn<int>("dotsPerInch");
    QTest::addColumn<int>("fontHeight");
    QTest::newRow("96") << 96 << -11;
    QTest::newRow("120") << 120 << -14;   // -13.75
    QTest::newRow("144") << 144 << -17;   // -16.5, away from zero
    QTest::newRow("72") << 72 << -8;      // -8.25
}

void TestScreenScaling::fontHeightAtResolution()
{
    QFETCH(int, dotsPerInch);
    QFETCH(int, fontHeight);
    QCOMPARE(quiralto::ui::scaleValue(DesignFontHeight, dotsPerInch, DesignDotsPerInch), fontHeight);
}

void TestScreenScaling::controlsFollowTheText_data()
{
    QTest::addColumn<QRect>("designed");
    QTest::addColumn<int>("textHeight");
    QTest::addColumn<QRect>("scaled");
    QTest::newRow("unchanged at 13") << QRect(8, 104, 965, 53) << 13 << QRect(8, 104, 965, 53);
    // Edges scale, so width and height come from the scaled far edges:
    // 8 -> 10, 973 -> 1198; 104 -> 128, 157 -> 193.
    QTest::newRow("grid at 16") << QRect(8, 104, 965, 53) << 16 << QRect(10, 128, 1188, 65);
    QTest::newRow("player at 16") << QRect(72, 200, 29, 30) << 16 << QRect(89, 246, 35, 37);
    QTest::newRow("player at 20") << QRect(72, 72, 29, 30) << 20 << QRect(111, 111, 44, 46);
    QTest::newRow("selector at 10") << QRect(128, 16, 177, 21) << 10 << QRect(98, 12, 137, 16);
}

void TestScreenScaling::controlsFollowTheText()
{
    QFETCH(QRect, designed);
    QFETCH(int, textHeight);
    QFETCH(QRect, scaled);
    QCOMPARE(scaledGeometry(designed, textHeight), scaled);
}

QTEST_APPLESS_MAIN(TestScreenScaling)
#include "tst_screenscaling.moc"
