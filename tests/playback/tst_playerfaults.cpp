// One player with the real playback service, rendering offline, given names
// and files it cannot use: every refusal is one EMCIDeviceError whose text
// names the file as the user would read it, and the player opens the next
// good file as if nothing had happened.

#include "app/errorbox.h"
#include "model/keytable.h"
#include "playback/mcideviceerror.h"
#include "playback/scaleplayer.h"
#include "playback/service/fluidsynthservice.h"
#include "playback/service/medianotifyevent.h"
#include "tests/support/audiolevel.h"

#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace quiralto;
using namespace quiralto::playback;

namespace {

const std::string GoodFile = model::scaleFileName(model::KeyTable()[1].tonicIndex, model::ScaleForm::Harmonic);

QByteArray scaleBytes()
{
    QFile scale(QDir(QStringLiteral(QUIRALTO_TEST_SCALES_DIR)).filePath(QString::fromLatin1(GoodFile)));
    return scale.open(QIODevice::ReadOnly) ? scale.readAll() : QByteArray();
}

// The program keeps file names in Latin-1; Qt gives them to the system in UTF-8.
bool writeFile(const std::string &latin1Name, const QByteArray &bytes)
{
    QFile file(QString::fromLatin1(latin1Name));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

std::optional<std::string> openFailure(ScalePlayer &player, const std::string &name)
{
    player.setFileName(name);
    try {
        player.Open();
    } catch (const EMCIDeviceError &error) {
        return error.message();
    }
    return std::nullopt;
}

// Renders in the periods of an audio thread until \a player shows Play
// again, for at most \a seconds of sound; returns the loudest sample.
float playUntilAvailable(FluidSynthService &service, const ScalePlayer &player, double seconds)
{
    std::vector<float> samples;
    float peak = 0;
    for (double played = 0; played < seconds && !player.PlayAvailable(); played += 0.1) {
        service.renderFrames(OutputSampleRate / 10, samples);
        peak = std::max(peak, testsupport::peakOf(samples));
        QCoreApplication::processEvents();
    }
    return peak;
}

} // namespace

Q_DECLARE_METATYPE(std::string)

class TestPlayerFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QVERIFY(QDir::setCurrent(m_folder.path()));
        m_scale = scaleBytes();
        QVERIFY(!m_scale.isEmpty());
        QVERIFY(writeFile(GoodFile, m_scale));
    }

    void oddBytesInAName_data()
    {
        QTest::addColumn<std::string>("name");
        QTest::addColumn<bool>("present");
        using namespace std::string_literals;
        // Windows allows no file a name of control characters or of spaces alone.
        const bool windows = QSysInfo::productType() == QLatin1String("windows");
        const auto both = [&](const char *what, const std::string &name, bool aFileOnWindows = true) {
            if (aFileOnWindows || !windows)
                QTest::addRow("%s, present", what) << name << true;
            QTest::addRow("%s, missing", what) << name << false;
        };
        both("Latin-1 letters", "L\xE1 Menor Mel\xF3" "dica.MID");
        both("control characters", "Mi\tPrim\n\x1B.MID", false);
        both("bytes above 127 that are no letters", "\x80\x81\xFF\xFE.MID");
        both("broken UTF-8", "\xC3(\xE2\x82.MID");
        both("a leading dash", "-rf.MID");
        both("spaces only", "   ", false);
        QTest::addRow("a NUL inside") << "Mi\0Prim.MID"s << false;
        QTest::addRow("longer than a file name may be") << std::string(300, 'a') << false;
        QTest::addRow("a slash after a file") << GoodFile + '/' << false;
    }

    void oddBytesInAName()
    {
        QFETCH(std::string, name);
        QFETCH(bool, present);
        FluidSynthService service(AudioOutput::Offline);
        ScalePlayer player(service);
        if (present)
            QVERIFY(writeFile(name, m_scale));

        const auto failure = openFailure(player, name);

        if (present) {
            QVERIFY2(!failure, failure.value_or("").c_str());
            QVERIFY(player.OpenDeviceId() != 0);
            QVERIFY(player.PlayAvailable());
            QVERIFY(QFile::remove(QString::fromLatin1(name)));
        } else {
            QVERIFY(failure);
            QVERIFY2(failure->find('"' + name + '"') != std::string::npos, failure->c_str());
            // What the error box shows: the name as the program spells it.
            const QString shown = app::errorBoxText(*failure);
            QVERIFY(shown.contains(QLatin1Char('"') + QString::fromLatin1(name) + QLatin1Char('"')));
            QVERIFY2(shown.contains(QStringLiteral("não foi encontrado")), qPrintable(shown));
            QCOMPARE(player.OpenDeviceId(), DeviceId(0));
            QVERIFY(!player.PlayAvailable());
        }

        // The next good file opens.
        QCOMPARE(openFailure(player, GoodFile), std::nullopt);
        QVERIFY(player.PlayAvailable());
    }

    // The service reads the whole file when it opens it, so what happens to
    // the file afterwards touches neither the scale playing nor the player.
    void aFileSpoiledWhileItPlays_data()
    {
        QTest::addColumn<QByteArray>("spoiled");
        QTest::addColumn<QString>("cause");
        QTest::newRow("deleted") << QByteArray() << "não foi encontrado";
        QTest::newRow("cut in half") << m_scale.left(m_scale.size() / 2)
                                     << "não é um arquivo MIDI válido: um bloco ultrapassa o fim do arquivo";
        QTest::newRow("emptied") << QByteArray("") << "não é um arquivo MIDI válido: falta o cabeçalho MThd";
        QTest::newRow("overwritten") << QByteArray(m_scale.size(), 'x')
                                     << "não é um arquivo MIDI válido: falta o cabeçalho MThd";
    }

    void aFileSpoiledWhileItPlays()
    {
        QFETCH(QByteArray, spoiled);
        QFETCH(QString, cause);
        const std::string name = "tocando.MID";
        QVERIFY(writeFile(name, m_scale));
        FluidSynthService service(AudioOutput::Offline);
        ScalePlayer player(service);
        QCOMPARE(openFailure(player, name), std::nullopt);

        // WHEN the file is spoiled while it plays
        QTest::mouseClick(&player, Qt::LeftButton, {}, QPoint(14, 15));
        QVERIFY(!player.PlayAvailable());
        if (spoiled.isNull())
            QVERIFY(QFile::remove(QString::fromLatin1(name)));
        else
            QVERIFY(writeFile(name, spoiled));

        // THEN the scale plays to its end, and Play comes back
        QVERIFY(playUntilAvailable(service, player, 30) > 1e-3f);
        QVERIFY(player.PlayAvailable());

        // AND only opening it again fails, once, leaving nothing open
        const auto failure = openFailure(player, name);
        QVERIFY(failure);
        QVERIFY2(failure->find("\"tocando.MID\"") != std::string::npos, failure->c_str());
        QVERIFY2(app::errorBoxText(*failure).contains(cause), failure->c_str());
        QCOMPARE(player.OpenDeviceId(), DeviceId(0));
        DeviceMode mode;
        for (int id = 1; id <= 0xFFFF; ++id)
            QVERIFY(service.mode(DeviceId(id), mode) != NoError);

        // AND the whole file, back in its place, plays again
        QVERIFY(writeFile(name, m_scale));
        QCOMPARE(openFailure(player, name), std::nullopt);
        QTest::mouseClick(&player, Qt::LeftButton, {}, QPoint(14, 15));
        QVERIFY(playUntilAvailable(service, player, 30) > 1e-3f);
    }

private:
    QTemporaryDir m_folder;
    QByteArray m_scale;
};

QTEST_MAIN(TestPlayerFaults)
#include "tst_playerfaults.moc"
