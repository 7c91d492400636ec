#include "model/degreeheadings.h"
#include "model/latin1.h"

#include <QTest>

using namespace quiralto::model;

Q_DECLARE_METATYPE(ScaleForm)

class TestDegreeHeadings : public QObject
{
    Q_OBJECT

private slots:
    void toggleRule_data();
    void toggleRule();
    void headingsStandAboveTheirChords_data();
    void headingsStandAboveTheirChords();
    void textsAreLatin1();
};

void TestDegreeHeadings::toggleRule_data()
{
    QTest::addColumn<QByteArray>("column0");
    QTest::addColumn<bool>("numerals");
    QTest::newRow("names shown") << QByteArray("T\xF4nica") << true;
    QTest::newRow("numerals shown") << QByteArray("i") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("lower case") << QByteArray("t\xF4nica") << false;
    QTest::newRow("utf-8 bytes") << QByteArray("Tônica") << false;
    QTest::newRow("trailing space") << QByteArray("T\xF4nica ") << false;
    QTest::newRow("unaccented") << QByteArray("Tonica") << false;
}

void TestDegreeHeadings::toggleRule()
{
    QFETCH(QByteArray, column0);
    QFETCH(bool, numerals);
    QCOMPARE(toggledHeadingSet(column0.toStdString()) == HeadingSet::Numerals, numerals);
}

void TestDegreeHeadings::headingsStandAboveTheirChords_data()
{
    QTest::addColumn<ScaleForm>("form");
    QTest::newRow("natural") << ScaleForm::Natural;
    QTest::newRow("harmonic") << ScaleForm::Harmonic;
    QTest::newRow("melodic") << ScaleForm::Melodic;
}

// Each numeral sits over its chord's column, counts the degree, and is
// upper case for major, lower case for minor and lower case with the degree
// sign for diminished chords.
void TestDegreeHeadings::headingsStandAboveTheirChords()
{
    QFETCH(ScaleForm, form);
    const RowCells names = DegreeHeadings(form, HeadingSet::Names);
    const RowCells numerals = DegreeHeadings(form, HeadingSet::Numerals);
    const auto &degrees = chordDegrees(form);
    static const char *roman[] = {"i", "ii", "iii", "iv", "v", "vi", "vii", "i"};

    QCOMPARE(int(names.size()), 8);
    QCOMPARE(int(numerals.size()), 8);
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(names[i].column, degrees[i].column);
        QCOMPARE(numerals[i].column, degrees[i].column);

        std::string numeral = numerals[i].text;
        const bool diminished = !numeral.empty() && numeral.back() == '\xB0';
        if (diminished)
            numeral.pop_back();
        const bool upper = std::isupper(static_cast<unsigned char>(numeral[0]));
        std::string lower = numeral;
        for (char &c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        QCOMPARE(lower, std::string(roman[i]));
        QCOMPARE(diminished, degrees[i].quality == ChordQuality::Diminished);
        QCOMPARE(upper, degrees[i].quality == ChordQuality::Major);
    }
    QCOMPARE(names.front().text, latin1("Tônica"));
    QCOMPARE(names.back().text, latin1("Tônica"));
}

void TestDegreeHeadings::textsAreLatin1()
{
    const RowCells natural = DegreeHeadings(ScaleForm::Natural, HeadingSet::Names);
    QCOMPARE(natural[1].text, std::string("Sobret\xF4nica"));
    QCOMPARE(natural[6].text, std::string("Subt\xF4nica"));
    const RowCells harmonic = DegreeHeadings(ScaleForm::Harmonic, HeadingSet::Names);
    QCOMPARE(harmonic[6].text, std::string("Sens\xEDvel"));
    QCOMPARE(DegreeHeadings(ScaleForm::Melodic, HeadingSet::Numerals)[5].text, std::string("vi\xB0"));
}

QTEST_APPLESS_MAIN(TestDegreeHeadings)
#include "tst_degreeheadings.moc"
