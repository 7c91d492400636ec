#include "midi/midifile.h"
#include "model/keytable.h"
#include "tests/model/notespelling.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quiralto;
using model::ScaleForm;

Q_DECLARE_METATYPE(ScaleForm)

namespace {

struct ToolRun
{
    int exitCode;
    QString errorOutput;
};

ToolRun runTool(const QString &folder)
{
    QProcess tool;
    tool.start(QStringLiteral(MAKE_SCALES_PATH), {folder});
    tool.waitForFinished(30000);
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
            QString::fromLocal8Bit(tool.readAllStandardError())};
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Semitones above the tonic, as a theory book writes them: up to the octave
// and back down; the melodic form comes down natural.
std::vector<int> expectedSteps(ScaleForm form)
{
    switch (form) {
    case ScaleForm::Natural: return {0, 2, 3, 5, 7, 8, 10, 12, 10, 8, 7, 5, 3, 2, 0};
    case ScaleForm::Harmonic: return {0, 2, 3, 5, 7, 8, 11, 12, 11, 8, 7, 5, 3, 2, 0};
    case ScaleForm::Melodic: return {0, 2, 3, 5, 7, 9, 11, 12, 10, 8, 7, 5, 3, 2, 0};
    }
    return {};
}

} // namespace

class TestMakeScales : public QObject
{
    Q_OBJECT

private slots:
    void everyFilePlaysItsScale_data();
    void everyFilePlaysItsScale();
    void outputIsDeterministic();
    void badFolderIsReportedAndLeavesNothing_data();
    void badFolderIsReportedAndLeavesNothing();
};

void TestMakeScales::everyFilePlaysItsScale_data()
{
    QTest::addColumn<int>("tonicIndex");
    QTest::addColumn<ScaleForm>("form");
    for (const model::KeyTableRow &key : model::KeyTable())
        for (ScaleForm form : model::AllScaleForms) {
            const std::string name = model::scaleFileName(key.tonicIndex, form);
            QTest::newRow(name.c_str()) << key.tonicIndex << form;
        }
}

void TestMakeScales::everyFilePlaysItsScale()
{
    QFETCH(int, tonicIndex);
    QFETCH(ScaleForm, form);
    const QString path = QDir(QStringLiteral(QUIRALTO_TEST_SCALES_DIR)).filePath(
        QString::fromStdString(model::scaleFileName(tonicIndex, form)));
    const QByteArray bytes = readAll(path);
    QVERIFY2(!bytes.isEmpty(), qPrintable(path));

    const midi::MidiFile midi = midi::readMidiFile(
        std::span(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())));

    std::vector<int> pitches;
    std::vector<std::uint32_t> onsets;
    bool piano = false;
    for (const auto &track : midi.tracks)
        for (const midi::MidiEvent &event : track) {
            if ((event.status & 0xF0) == 0xC0)
                piano = event.data1 == 0;
            if ((event.status & 0xF0) == 0x90 && event.data2 > 0) {
                pitches.push_back(event.data1);
                onsets.push_back(event.tick);
            }
        }
    QVERIFY(piano);

    const auto tonic = notespelling::parse(model::noteNameTable()[tonicIndex]);
    const std::vector<int> steps = expectedSteps(form);
    QCOMPARE(pitches.size(), steps.size());
    QCOMPARE(pitches.front() % 12, tonic->pitchClass);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        QCOMPARE(pitches[i] - pitches.front(), steps[i]);
        QVERIFY2(pitches[i] >= 53 && pitches[i] <= 77, "outside F3..F5");
        QCOMPARE(onsets[i], std::uint32_t(i * midi.division)); // one note a beat
    }
}

void TestMakeScales::outputIsDeterministic()
{
    QTemporaryDir first, second;
    QCOMPARE(runTool(first.path()).exitCode, 0);
    QCOMPARE(runTool(second.path()).exitCode, 0);
    const QStringList names = QDir(first.path()).entryList(QDir::Files);
    QCOMPARE(names.size(), 45);
    for (const QString &name : names)
        QVERIFY2(readAll(first.filePath(name)) == readAll(second.filePath(name)), qPrintable(name));
}

void TestMakeScales::badFolderIsReportedAndLeavesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("a file") << "file";
    // Linux's /proc is not writable even for root; Wine's root may write anywhere.
    if (QSysInfo::productType() != QLatin1String("windows"))
        QTest::newRow("not writable") << "proc";
}

void TestMakeScales::badFolderIsReportedAndLeavesNothing()
{
    QFETCH(QString, kind);
    QTemporaryDir parent;
    QString folder = parent.filePath(QStringLiteral("scales"));
    if (kind == QLatin1String("file")) {
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (kind == QLatin1String("proc")) {
        folder = QStringLiteral("/proc"); // not writable, even for root
    }

    const ToolRun run = runTool(folder);
    QVERIFY(run.exitCode != 0);
    QCOMPARE(run.errorOutput.count(QLatin1Char('\n')), 1);
    QVERIFY2(run.errorOutput.contains(folder), qPrintable(run.errorOutput));
    QCOMPARE(QDir(parent.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).size(),
             kind == QLatin1String("file") ? 1 : 0);
    QVERIFY(!QFile::exists(QStringLiteral("/proc/La Prim.MID.tmp")));
}

QTEST_APPLESS_MAIN(TestMakeScales)
#include "tst_makescales.moc"
