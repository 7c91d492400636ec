#include "model/harmonicfield.h"
#include "model/latin1.h"
#include "tests/model/notespelling.h"

#include <QTest>

using namespace quiralto::model;

Q_DECLARE_METATYPE(ScaleForm)

namespace {

HarmonicField fieldInKey(int listPosition)
{
    HarmonicField field;
    field.fillNoteNames();
    field.selectKeyByListPosition(listPosition);
    return field;
}

// Builds the expected row from "column:text" pairs written in UTF-8.
HarmonicFieldRow row(std::initializer_list<std::pair<int, const char *>> cells)
{
    HarmonicFieldRow out;
    for (const auto &[column, text] : cells)
        out.push_back({column, latin1(text)});
    return out;
}

} // namespace

class TestHarmonicField : public QObject
{
    Q_OBJECT

private slots:
    void workedExampleInAMinor_data();
    void workedExampleInAMinor();
    void extremeKeys();
    void everyChordAgreesWithTheScale_data();
    void everyChordAgreesWithTheScale();
    void noRowsBeforeAKeyIsChosen();
    void chordsAreSpokenInWords_data();
    void chordsAreSpokenInWords();
};

void TestHarmonicField::workedExampleInAMinor_data()
{
    QTest::addColumn<ScaleForm>("form");
    QTest::addColumn<HarmonicFieldRow>("expected");
    QTest::newRow("natural") << ScaleForm::Natural
        << row({{0, "Lá Menor"}, {2, "Si Dim."}, {3, "Dó Maior"}, {5, "Ré Menor"},
                {7, "Mi Menor"}, {8, "Fá Maior"}, {10, "Sol Maior"}, {12, "Lá Menor"}});
    QTest::newRow("harmonic") << ScaleForm::Harmonic
        << row({{0, "Lá Menor"}, {2, "Si Dim."}, {3, "Dó Maior"}, {5, "Ré Menor"},
                {7, "Mi Maior"}, {8, "Fá Maior"}, {11, "Sol # Dim."}, {12, "Lá Menor"}});
    QTest::newRow("melodic") << ScaleForm::Melodic
        << row({{0, "Lá Menor"}, {2, "Si Menor"}, {3, "Dó Maior"}, {5, "Ré Maior"},
                {7, "Mi Maior"}, {9, "Fá # Dim."}, {11, "Sol # Dim."}, {12, "Lá Menor"}});
}

void TestHarmonicField::workedExampleInAMinor()
{
    QFETCH(ScaleForm, form);
    QFETCH(HarmonicFieldRow, expected);
    const HarmonicField field = fieldInKey(0);
    QVERIFY(field.row(form) == expected);
    // Choosing the same key again gives the same row.
    HarmonicField again = field;
    again.selectKeyByListPosition(0);
    QVERIFY(again.row(form) == expected);
}

void TestHarmonicField::extremeKeys()
{
    const auto cellAt = [](const HarmonicFieldRow &cells, int column) {
        for (const Cell &cell : cells)
            if (cell.column == column)
                return cell.text;
        return std::string("<none>");
    };

    const HarmonicField flats = fieldInKey(14); // Lá b Menor, TonicIndex 4
    QCOMPARE(flats.TonicIndex(), 4);
    QCOMPARE(cellAt(flats.row(ScaleForm::Natural), 8), latin1("Fá b Maior"));
    QCOMPARE(cellAt(flats.row(ScaleForm::Harmonic), 11), latin1("Sol Dim."));
    QCOMPARE(cellAt(flats.row(ScaleForm::Melodic), 9), latin1("Fá Dim."));

    const HarmonicField sharps = fieldInKey(7); // Lá # Menor, TonicIndex 18
    QCOMPARE(sharps.TonicIndex(), 18);
    QCOMPARE(cellAt(sharps.row(ScaleForm::Harmonic), 11), latin1("Sol ## Dim."));
    QCOMPARE(cellAt(sharps.row(ScaleForm::Melodic), 9), latin1("Fá ## Dim."));
    QCOMPARE(cellAt(sharps.row(ScaleForm::Natural), 8), latin1("Fá # Maior"));
}

void TestHarmonicField::everyChordAgreesWithTheScale_data()
{
    QTest::addColumn<int>("listPosition");
    QTest::addColumn<ScaleForm>("form");
    const char *formNames[] = {"natural", "harmonic", "melodic"};
    for (int position = 0; position < KeyCount; ++position)
        for (ScaleForm form : AllScaleForms)
            QTest::addRow("key %d %s", position, formNames[int(form)]) << position << form;
}

// Spells each chord from the scale's semitone steps alone: the root's letter
// is the degree's letter, its pitch the step above the tonic, and the quality
// follows from the third and fifth stacked within the scale.
void TestHarmonicField::everyChordAgreesWithTheScale()
{
    QFETCH(int, listPosition);
    QFETCH(ScaleForm, form);

    static const std::array<int, 7> natural{0, 2, 3, 5, 7, 8, 10};
    static const std::array<int, 7> harmonic{0, 2, 3, 5, 7, 8, 11};
    static const std::array<int, 7> melodic{0, 2, 3, 5, 7, 9, 11};
    const std::array<int, 7> &scale = form == ScaleForm::Natural ? natural
                                    : form == ScaleForm::Harmonic ? harmonic : melodic;

    const HarmonicField field = fieldInKey(listPosition);
    const auto tonic = notespelling::parse(noteNameTable()[field.TonicIndex()]);
    const HarmonicFieldRow cells = field.row(form);
    QCOMPARE(int(cells.size()), 8);

    for (int i = 0; i < 8; ++i) {
        const int degree = i % 7;
        // Taught as such: the mediant keeps the natural seventh, so it stays
        // major instead of augmented in the harmonic and melodic forms.
        const std::array<int, 7> &steps = degree == 2 ? natural : scale;
        const auto above = [&](int degreesUp) {
            const int d = degree + degreesUp;
            return steps[d % 7] + (d >= 7 ? 12 : 0) - steps[degree];
        };
        const int third = above(2), fifth = above(4);
        const char *quality = third == 4 && fifth == 7 ? " Maior"
                            : third == 3 && fifth == 7 ? " Menor"
                            : third == 3 && fifth == 6 ? " Dim." : "?";

        const Cell &cell = cells[i];
        QCOMPARE(cell.column, scale[degree] + (i == 7 ? 12 : 0));
        const auto root = notespelling::parse(cell.text);
        QVERIFY2(root, cell.text.c_str());
        QCOMPARE(root->letter, (tonic->letter + degree) % 7);
        QCOMPARE(root->pitchClass, (tonic->pitchClass + scale[degree]) % 12);
        QCOMPARE(root->rest, std::string(quality));
    }
}

void TestHarmonicField::noRowsBeforeAKeyIsChosen()
{
    HarmonicField field;
    field.fillNoteNames();
    field.selectKeyByListPosition(-1);
    for (ScaleForm form : AllScaleForms)
        QVERIFY(field.row(form).empty());

    HarmonicField unfilled;
    unfilled.selectKeyByListPosition(0);
    QVERIFY(unfilled.row(ScaleForm::Natural).empty());
}

void TestHarmonicField::chordsAreSpokenInWords_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("spoken");
    QTest::newRow("sharp, diminished") << "Fá # Dim." << "Fá sustenido diminuto";
    QTest::newRow("flat, major") << "Si b Maior" << "Si bemol maior";
    QTest::newRow("double sharp") << "Sol ## Maior" << "Sol dobrado sustenido maior";
    QTest::newRow("natural, minor") << "Mi Menor" << "Mi menor";
}

void TestHarmonicField::chordsAreSpokenInWords()
{
    QFETCH(QString, written);
    QFETCH(QString, spoken);
    QCOMPARE(QString::fromLatin1(spokenChordName(written.toLatin1().toStdString())), spoken);
}

QTEST_APPLESS_MAIN(TestHarmonicField)
#include "tst_harmonicfield.moc"
