#include "model/keytable.h"
#include "playback/service/fluidsynthservice.h"
#include "tests/support/audiolevel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quiralto;
using namespace quiralto::playback;

namespace {

// The bank the piano is cut from: Debian's own, which the Linux program plays.
const QString FullBank = QStringLiteral("/usr/share/sounds/sf2/FluidR3_GM.sf2");

int runTool(const QStringList &arguments, QString *errorOutput = nullptr)
{
    QProcess tool;
    tool.start(QStringLiteral(EXTRACT_PRESET_PATH), arguments);
    tool.waitForFinished(60000);
    if (errorOutput)
        *errorOutput = QString::fromLocal8Bit(tool.readAllStandardError());
    qInfo().noquote() << tool.readAllStandardOutput().trimmed();
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

QStringList fluidSynthWarnings;

void recordFluidSynthWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg && qstrcmp(context.category, "quiralto.fluidsynth") == 0)
        fluidSynthWarnings << message;
    else if (type != QtDebugMsg)
        fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

class TestExtractPreset : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        m_piano = m_folder.filePath(QStringLiteral("piano.sf2"));
        QCOMPARE(runTool({FullBank, "0", "0", m_piano}), 0);
        // Only the piano's own samples: the bank holds 128 instruments more
        QVERIFY(QFileInfo(m_piano).size() < QFileInfo(FullBank).size() / 10);

        qInstallMessageHandler(recordFluidSynthWarnings);
        m_pianoOnly = std::make_unique<FluidSynthService>(AudioOutput::Offline,
                                                          std::vector{m_piano.toStdString()});
        m_pianoOnly->prepare();
        m_fullBank = std::make_unique<FluidSynthService>(AudioOutput::Offline,
                                                         std::vector{FullBank.toStdString()});
    }

    void cleanupTestCase() { qInstallMessageHandler(nullptr); }

    void pianoSoundsAsTheFullBank_data()
    {
        QTest::addColumn<QString>("scale");
        for (const model::KeyTableRow &key : model::KeyTable())
            for (model::ScaleForm form : model::AllScaleForms) {
                const std::string name = model::scaleFileName(key.tonicIndex, form);
                QTest::newRow(name.c_str()) << QDir(QStringLiteral(QUIRALTO_TEST_SCALES_DIR))
                                                   .filePath(QString::fromLatin1(name));
            }
    }

    // Each scale, its release included, rendered through the piano alone and
    // through the whole bank: every sample the same.
    void pianoSoundsAsTheFullBank()
    {
        QFETCH(QString, scale);
        DeviceId piano = 0, full = 0;
        QCOMPARE(m_pianoOnly->open(scale.toStdString(), piano), NoError);
        QCOMPARE(m_fullBank->open(scale.toStdString(), full), NoError);
        QCOMPARE(m_pianoOnly->play(piano, nullptr), NoError);
        QCOMPARE(m_fullBank->play(full, nullptr), NoError);

        std::vector<float> fromPiano, fromFull;
        float peak = 0;
        for (int block = 0; block < 13 * OutputSampleRate / 4096; ++block) {
            m_pianoOnly->renderFrames(4096, fromPiano);
            m_fullBank->renderFrames(4096, fromFull);
            QVERIFY2(fromPiano == fromFull, qPrintable(QStringLiteral("differs in block %1").arg(block)));
            peak = std::max(peak, testsupport::peakOf(fromPiano));
            QCoreApplication::processEvents();
        }
        DeviceMode mode;
        QCOMPARE(m_pianoOnly->mode(piano, mode), NoError);
        QCOMPARE(mode, DeviceMode::Stopped); // the whole scale was heard
        QVERIFY(peak > 0.01f);
        QCOMPARE(m_pianoOnly->close(piano), NoError);
        QCOMPARE(m_fullBank->close(full), NoError);
        QCOMPARE(fluidSynthWarnings, QStringList());
    }

    void missingPresetIsReportedAndWritesNothing()
    {
        const QString target = m_folder.filePath(QStringLiteral("nenhum.sf2"));
        QString errorOutput;
        QCOMPARE(runTool({FullBank, "0", "200", target}, &errorOutput), 1);
        QVERIFY2(errorOutput.contains(QStringLiteral("no preset 0:200")), qPrintable(errorOutput));
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(!QFileInfo::exists(target + QStringLiteral(".tmp")));
    }

private:
    QTemporaryDir m_folder;
    QString m_piano;
    std::unique_ptr<FluidSynthService> m_pianoOnly, m_fullBank;
};

QTEST_MAIN(TestExtractPreset)
#include "tst_extractpreset.moc"
