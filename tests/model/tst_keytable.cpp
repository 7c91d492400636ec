#include "model/harmonicfield.h"
#include "model/keytable.h"
#include "model/latin1.h"
#include "tests/model/notespelling.h"

#include <QTest>

#include <climits>
#include <set>

using namespace quiralto::model;

class TestKeyTable : public QObject
{
    Q_OBJECT

private slots:
    void latin1Conversion_data();
    void latin1Conversion();
    void noteNamesClimbByFifths();
    void listTextsAgreeWithTonicAndSignature();
    void selectKeyByListPosition_data();
    void selectKeyByListPosition();
    void outOfRangePositionsKeepTheKey_data();
    void outOfRangePositionsKeepTheKey();
    void fileNames();
};

void TestKeyTable::latin1Conversion_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ascii") << QByteArray("Sol #") << QByteArray("Sol #");
    QTest::newRow("accents") << QByteArray("Lá Dó Ré") << QByteArray("L\xE1 D\xF3 R\xE9");
    QTest::newRow("degree sign") << QByteArray("vii°") << QByteArray("vii\xB0");
    QTest::newRow("outside latin-1") << QByteArray("a€b") << QByteArray("a?b");
    QTest::newRow("truncated sequence") << QByteArray("a\xC3") << QByteArray("a?");
}

void TestKeyTable::latin1Conversion()
{
    QFETCH(QByteArray, utf8);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(latin1(utf8.toStdString())), expected);
}

void TestKeyTable::noteNamesClimbByFifths()
{
    const NoteNameTable &names = noteNameTable();
    QCOMPARE(names.front(), std::string("F\xE1 b"));
    QCOMPARE(names.back(), std::string("Sol ##"));
    for (int i = 0; i < NoteCount; ++i) {
        const auto spelling = notespelling::parse(names[i]);
        QVERIFY2(spelling && spelling->rest.empty(), names[i].c_str());
        QCOMPARE(spelling->pitchClass, pitchClassOfNote(i));
        if (i > 0) {
            // A fifth up is four letters up and seven semitones up.
            const auto previous = notespelling::parse(names[i - 1]);
            QCOMPARE(spelling->letter, (previous->letter + 4) % 7);
            QCOMPARE(spelling->pitchClass, (previous->pitchClass + 7) % 12);
        }
    }
}

void TestKeyTable::listTextsAgreeWithTonicAndSignature()
{
    std::set<int> tonics;
    for (const KeyTableRow &key : KeyTable()) {
        QVERIFY(isKeyTonic(key.tonicIndex));
        tonics.insert(key.tonicIndex);
        const std::string tonicName = noteNameTable()[key.tonicIndex];
        QVERIFY2(key.listText.rfind(tonicName + " Menor - ", 0) == 0, key.listText.c_str());

        // A minor is the key without accidentals; each fifth up adds a sharp.
        const int sharps = key.tonicIndex - 11;
        std::string signature;
        if (sharps == 0)
            signature = latin1("Nenhuma Alteração");
        else if (sharps > 0)
            signature = std::to_string(sharps) + (sharps == 1 ? " Sustenido" : " Sustenidos");
        else
            signature = std::to_string(-sharps) + (sharps == -1 ? " Bemol" : latin1(" Bemóis"));
        QCOMPARE(key.listText, tonicName + " Menor - " + signature);

        // The file stem spells the tonic in plain ASCII.
        const auto tonic = notespelling::parse(tonicName);
        static const char *plainLetters[] = {"Do", "Re", "Mi", "Fa", "Sol", "La", "Si"};
        std::string stem = plainLetters[tonic->letter];
        if (tonicName.find('#') != std::string::npos)
            stem += " Sus";
        else if (tonicName.find(" b") != std::string::npos)
            stem += " Bem";
        QCOMPARE(key.fileStem, stem);
    }
    QCOMPARE(int(tonics.size()), KeyCount);
}

void TestKeyTable::selectKeyByListPosition_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("tonicIndex");
    QTest::newRow("no accidentals") << 0 << 11;
    QTest::newRow("seven sharps") << 7 << 18;
    QTest::newRow("back to one flat") << 8 << 10;
    QTest::newRow("seven flats") << 14 << 4;
}

void TestKeyTable::selectKeyByListPosition()
{
    QFETCH(int, position);
    QFETCH(int, tonicIndex);
    HarmonicField field;
    QCOMPARE(field.TonicIndex(), 0);
    field.selectKeyByListPosition(position);
    QCOMPARE(field.TonicIndex(), tonicIndex);
}

void TestKeyTable::outOfRangePositionsKeepTheKey_data()
{
    QTest::addColumn<int>("position");
    QTest::newRow("nothing selected") << -1;
    QTest::newRow("one past the end") << 15;
    QTest::newRow("most negative") << INT_MIN;
    QTest::newRow("largest") << INT_MAX;
}

void TestKeyTable::outOfRangePositionsKeepTheKey()
{
    QFETCH(int, position);
    HarmonicField field;
    field.selectKeyByListPosition(position);
    QCOMPARE(field.TonicIndex(), 0);

    field.selectKeyByListPosition(3);
    field.selectKeyByListPosition(position);
    QCOMPARE(field.TonicIndex(), 14);
}

void TestKeyTable::fileNames()
{
    QCOMPARE(scaleFileName(14, ScaleForm::Natural), std::string("Fa Sus Prim.MID"));
    QCOMPARE(scaleFileName(14, ScaleForm::Harmonic), std::string("Fa Sus Harm.MID"));
    QCOMPARE(scaleFileName(14, ScaleForm::Melodic), std::string("Fa Sus Mel.MID"));
    QCOMPARE(scaleFileName(4, ScaleForm::Natural), std::string("La Bem Prim.MID"));
    QCOMPARE(scaleFileName(18, ScaleForm::Melodic), std::string("La Sus Mel.MID"));
    QCOMPARE(scaleFileName(NoTonic, ScaleForm::Natural), std::string());
    QCOMPARE(scaleFileName(19, ScaleForm::Natural), std::string());

    std::set<std::string> names;
    for (const KeyTableRow &key : KeyTable())
        for (ScaleForm form : AllScaleForms)
            names.insert(scaleFileName(key.tonicIndex, form));
    QCOMPARE(int(names.size()), 45);
}

QTEST_APPLESS_MAIN(TestKeyTable)
#include "tst_keytable.moc"
