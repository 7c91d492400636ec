// Every input of the fuzzer's corpus: its hand-made edge cases, what it kept
// for reaching new code, and the inputs of the faults it found. None may
// crash; each is read and played, or refused as not MIDI with a text that
// names its file.

#include "midi/midifile.h"
#include "midi/midiwriter.h"
#include "model/latin1.h"
#include "playback/service/fluidsynthservice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>
#include <optional>
#include <vector>

using namespace quiralto::midi;
using namespace quiralto::playback;
using quiralto::model::latin1;

namespace {

std::vector<std::uint8_t> contentsOf(const QString &name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return {bytes.begin(), bytes.end()};
}

std::optional<MidiFile> tryRead(std::span<const std::uint8_t> bytes, std::string &refusal)
{
    try {
        return readMidiFile(bytes);
    } catch (const MidiFormatError &error) {
        refusal = error.message();
        return std::nullopt;
    }
}

} // namespace

class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The service opens names relative to the working directory, as the
        // program opens its scale files.
        QVERIFY(QDir::setCurrent(QStringLiteral(QUIRALTO_FUZZ_CORPUS_DIR)));
        m_service = std::make_unique<FluidSynthService>(AudioOutput::Offline);
    }

    void everyInputIsReadOrRefused_data()
    {
        QTest::addColumn<QString>("name");
        const QStringList names = QDir::current().entryList(QDir::Files, QDir::Name);
        // The hand-made edge cases alone are a dozen; fewer means the corpus is lost.
        QVERIFY(names.size() >= 12);
        for (const QString &name : names)
            QTest::newRow(qPrintable(name)) << name;
    }

    void everyInputIsReadOrRefused()
    {
        QFETCH(QString, name);
        const std::vector<std::uint8_t> bytes = contentsOf(name);
        QVERIFY(bytes.size() <= MaxMidiFileSize);

        std::string refusal;
        const std::optional<MidiFile> midi = tryRead(bytes, refusal);
        if (midi) {
            // What the synthesizer is given reads back as the file itself.
            std::string rewriteRefusal;
            const auto again = tryRead(writeMidiFile(*midi), rewriteRefusal);
            QVERIFY2(again, rewriteRefusal.c_str());
            QCOMPARE(again->format, midi->format);
            QCOMPARE(again->division, midi->division);
            QCOMPARE(again->lastEventTick, midi->lastEventTick);
            QVERIFY(again->tracks == midi->tracks);
            QVERIFY(again->tempoChanges == midi->tempoChanges);
            // A well-formed file ends with its last chunk: one byte less cuts it.
            std::string cutRefusal;
            QVERIFY(!tryRead(std::span(bytes).first(bytes.size() - 1), cutRefusal));
            QVERIFY(!cutRefusal.empty());
        } else {
            QVERIFY(!refusal.empty());
        }

        const std::string fileName = name.toStdString();
        DeviceId device = 0;
        const ErrorCode opened = m_service->open(fileName, device);
        if (!midi) {
            QCOMPARE(opened, ErrorCode(ErrorNotMidiFile));
            const std::string text = m_service->errorText(opened).value_or("");
            QVERIFY2(text.find('"' + fileName + '"') != std::string::npos, text.c_str());
            QVERIFY2(text.find(latin1("não é um arquivo MIDI válido: ") + refusal) != std::string::npos,
                     text.c_str());
            return;
        }
        QCOMPARE(opened, NoError);
        QCOMPARE(m_service->play(device, nullptr), NoError);
        std::vector<float> samples;
        for (int period = 0; period < 8; ++period) {
            m_service->renderFrames(1024, samples);
            QCOMPARE(samples.size(), std::size_t(2 * 1024));
            QCoreApplication::processEvents();
        }
        std::uint32_t position = 0;
        std::uint32_t length = 0;
        QCOMPARE(m_service->position(device, position), NoError);
        QCOMPARE(m_service->length(device, length), NoError);
        QVERIFY(position <= length);
        QCOMPARE(m_service->close(device), NoError);
    }

private:
    // One synthesizer for every input, as in the program.
    std::unique_ptr<FluidSynthService> m_service;
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
