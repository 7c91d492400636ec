// The window with the real playback service when things go wrong around it:
// scale files that vanish, shrink or turn into something else between two
// key changes, a folder that is empty or read-only, no SoundFont, no audio
// output. Each failed open is shown once in the application's error box, and
// the next key change that can work does.

#include "app/application.h"
#include "model/keytable.h"
#include "model/latin1.h"
#include "playback/scaleplayer.h"
#include "playback/service/fluidsynthservice.h"
#include "tests/support/audiolevel.h"
#include "tests/support/opendevices.h"
#include "ui/tcombobox.h"
#include "ui/tform1.h"
#include "ui/tstringgrid.h"

#include <QDirIterator>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <array>
#include <cmath>
#include <memory>
#include <set>

using namespace quiralto;
using playback::AudioOutput;
using playback::DeviceId;
using playback::FluidSynthService;
using testsupport::openDevices;
using playback::ScalePlayer;
using model::ScaleForm;

namespace {

// Answers every error box as a user would, keeping what each one said.
class ErrorBoxes : public QObject
{
public:
    QStringList texts;

    ErrorBoxes() { qApp->installEventFilter(this); }
    ~ErrorBoxes() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (box && event->type() == QEvent::Show) {
            texts << box->text();
            QMetaObject::invokeMethod(box, [box] { box->button(QMessageBox::Ok)->click(); },
                                      Qt::QueuedConnection);
        }
        return false;
    }
};

std::string fileOf(int keyPosition, ScaleForm form)
{
    return model::scaleFileName(model::KeyTable()[std::size_t(keyPosition)].tonicIndex, form);
}

QString chordIn(const ui::TStringGrid *grid, int column)
{
    return grid->Cells(column, 1);
}

// What the program needs to play and does not find at first.
enum Missing { NoSoundFont, NoSoundServer };

enum Fault { Deleted, Truncated, Emptied, Folder, Pipe, Noise, OverSizeLimit, DanglingLink };

// Does \a fault to the scale file \a name in the current folder.
bool inflict(Fault fault, const QString &name)
{
    QFile file(name);
    switch (fault) {
    case Deleted:
        return file.remove();
    case Truncated:
        return file.resize(file.size() / 2);
    case Emptied:
        return file.resize(0);
    case Folder:
        return file.remove() && QDir().mkdir(name);
    case Pipe:
        return file.remove() && mkfifo(QFile::encodeName(name).constData(), 0644) == 0;
    case Noise: {
        QByteArray noise(int(file.size()), 0);
        QRandomGenerator generator(11);
        for (char &byte : noise)
            byte = char(generator.bounded(256));
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(noise) == noise.size();
    }
    case OverSizeLimit:
        return file.open(QIODevice::Append) && file.write(QByteArray(1024 * 1024, 0)) == 1024 * 1024;
    case DanglingLink:
        return file.remove() && QFile::link(QStringLiteral("nao-existe.MID"), name);
    }
    return false;
}

} // namespace

class TestFormFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void aFileSpoiledBetweenKeyChanges_data();
    void aFileSpoiledBetweenKeyChanges();
    void emptyScaleFolder();
    void readOnlyScaleFolder();
    void missingPlaybackResource_data();
    void missingPlaybackResource();

private:
    void createWindow(std::unique_ptr<FluidSynthService> service);
    void stepTo(int keyPosition);
    std::array<ScalePlayer *, 3> players() const;
    std::set<DeviceId> heldDevices() const;
    void verifyAllReady();
    void verifyPlays(ScalePlayer *player);
    void approachSelector();

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<FluidSynthService> m_service;
    std::unique_ptr<ui::TForm1> m_form;
    std::unique_ptr<ErrorBoxes> m_boxes;
};

// A copy of the 45 scale files to spoil, as the program's working directory.
void TestFormFaults::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    QDirIterator scales(QStringLiteral(QUIRALTO_TEST_SCALES_DIR), {QStringLiteral("*.MID")}, QDir::Files);
    int copied = 0;
    while (scales.hasNext()) {
        const QString path = scales.next();
        copied += QFile::copy(path, m_folder->filePath(scales.fileName()));
    }
    QCOMPARE(copied, 45);
    QVERIFY(QDir::setCurrent(m_folder->path()));
    m_boxes = std::make_unique<ErrorBoxes>();
}

void TestFormFaults::cleanup()
{
    m_form.reset();
    m_service.reset();
    m_boxes.reset();
    qunsetenv("PULSE_SERVER");
    qunsetenv("ALSA_CONFIG_PATH");
    QDir::setCurrent(QDir::tempPath());
    QFile::setPermissions(m_folder->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_folder.reset();
}

void TestFormFaults::createWindow(std::unique_ptr<FluidSynthService> service)
{
    m_service = std::move(service);
    m_form = std::make_unique<ui::TForm1>(*m_service);
    m_form->FormCreate();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

// As a user would: one arrow key a step, each step a change of key.
void TestFormFaults::stepTo(int keyPosition)
{
    for (int step = 0; step < 15 && m_form->ComboBox1->ItemIndex() != keyPosition; ++step) {
        // An error box hands the activation back to the window when it closes.
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        m_form->ComboBox1->setFocus();
        QTest::keyClick(QApplication::focusWidget(),
                        m_form->ComboBox1->ItemIndex() < keyPosition ? Qt::Key_Down : Qt::Key_Up);
    }
    QCOMPARE(m_form->ComboBox1->ItemIndex(), keyPosition);
}

std::array<ScalePlayer *, 3> TestFormFaults::players() const
{
    return {m_form->MediaPlayer1, m_form->MediaPlayer2, m_form->MediaPlayer3};
}

std::set<DeviceId> TestFormFaults::heldDevices() const
{
    std::set<DeviceId> held;
    for (const ScalePlayer *player : players()) {
        if (player->OpenDeviceId() != 0)
            held.insert(player->OpenDeviceId());
    }
    return held;
}

void TestFormFaults::verifyAllReady()
{
    for (const ScalePlayer *player : players()) {
        QVERIFY(player->OpenDeviceId() != 0);
        QVERIFY(player->PlayAvailable());
    }
    // No device outlives the player that opened it.
    QCOMPARE(openDevices(*m_service), heldDevices());
}

// A click on Play, and the scale sounds.
void TestFormFaults::verifyPlays(ScalePlayer *player)
{
    QTest::mouseClick(player, Qt::LeftButton, {}, QPoint(14, 15));
    QCOMPARE(player->LastError(), playback::NoError);
    QVERIFY(!player->PlayAvailable());
    std::vector<float> samples;
    float peak = 0;
    for (int period = 0; period < 5; ++period) {
        m_service->renderFrames(4410, samples);
        peak = std::max(peak, testsupport::peakOf(samples));
        QCoreApplication::processEvents();
    }
    QVERIFY(peak > 1e-3f);
}

void TestFormFaults::aFileSpoiledBetweenKeyChanges_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<ScaleForm>("form");
    QTest::addColumn<QString>("cause");

    QTest::newRow("deleted") << Deleted << ScaleForm::Natural << "não foi encontrado";
    QTest::newRow("dangling link") << DanglingLink << ScaleForm::Harmonic << "não foi encontrado";
    QTest::newRow("cut in half") << Truncated << ScaleForm::Natural
                                 << "não é um arquivo MIDI válido: um bloco ultrapassa o fim do arquivo";
    QTest::newRow("emptied") << Emptied << ScaleForm::Melodic
                             << "não é um arquivo MIDI válido: falta o cabeçalho MThd";
    QTest::newRow("noise") << Noise << ScaleForm::Harmonic << "não é um arquivo MIDI válido";
    QTest::newRow("over 1 MiB") << OverSizeLimit << ScaleForm::Natural
                                << "não é um arquivo MIDI válido: o arquivo tem mais de 1 MiB";
    QTest::newRow("now a folder") << Folder << ScaleForm::Natural << "não pode ser lido";
    // Opening a pipe for reading would wait for a writer that never comes.
    QTest::newRow("now a pipe") << Pipe << ScaleForm::Melodic << "não pode ser lido";
}

void TestFormFaults::aFileSpoiledBetweenKeyChanges()
{
    QFETCH(Fault, fault);
    QFETCH(ScaleForm, form);
    QFETCH(QString, cause);
    const int spoiledKey = 1;
    const int goodKey = 2;
    const int spoiledPlayer = int(form);

    // GIVEN the spoiled key chosen once while its files were whole
    createWindow(std::make_unique<FluidSynthService>(AudioOutput::Offline));
    stepTo(goodKey);
    stepTo(spoiledKey);
    stepTo(goodKey);
    verifyAllReady();
    const std::set<DeviceId> goodKeyDevices = heldDevices();
    const QString name = QString::fromLatin1(fileOf(spoiledKey, form));
    QVERIFY(inflict(fault, name));
    QVERIFY(m_boxes->texts.isEmpty());

    // WHEN it is chosen again
    stepTo(spoiledKey);

    // THEN one box names the file and the cause
    QCOMPARE(m_boxes->texts.size(), 1);
    const QString text = m_boxes->texts.first();
    QVERIFY2(text.contains(QLatin1Char('"') + name + QLatin1Char('"')), qPrintable(text));
    QVERIFY2(text.contains(cause), qPrintable(text));
    // AND the grids show the key; the players before the spoiled one opened
    // its files, the spoiled one holds nothing, those after it kept theirs
    QCOMPARE(chordIn(m_form->StringGrid1, 0), QStringLiteral("Mi Menor"));
    const auto all = players();
    for (int i = 0; i < 3; ++i) {
        const ScalePlayer *player = all[std::size_t(i)];
        if (i < spoiledPlayer) {
            QVERIFY(!goodKeyDevices.contains(player->OpenDeviceId()));
            QVERIFY(player->PlayAvailable());
        } else if (i == spoiledPlayer) {
            QCOMPARE(player->OpenDeviceId(), DeviceId(0));
            QVERIFY(!player->PlayAvailable());
        } else {
            QVERIFY(goodKeyDevices.contains(player->OpenDeviceId()));
            QVERIFY(player->PlayAvailable());
        }
    }
    QCOMPARE(openDevices(*m_service), heldDevices());

    // AND the program goes on: a good key works, the spoiled one fails again
    // with one box each time, and the good one still works after that
    stepTo(goodKey);
    QCOMPARE(m_boxes->texts.size(), 1);
    verifyAllReady();
    stepTo(spoiledKey);
    QCOMPARE(m_boxes->texts.size(), 2);
    QCOMPARE(m_boxes->texts.last(), text);
    stepTo(goodKey);
    QCOMPARE(m_boxes->texts.size(), 2);
    verifyAllReady();
    verifyPlays(all[std::size_t(spoiledPlayer)]);
}

void TestFormFaults::emptyScaleFolder()
{
    createWindow(std::make_unique<FluidSynthService>(AudioOutput::Offline));
    stepTo(0);
    verifyAllReady();
    const QStringList scales = QDir::current().entryList(QDir::Files);
    QDir parking(m_folder->filePath(QStringLiteral("guardados")));
    QVERIFY(QDir::current().mkdir(parking.dirName()));
    for (const QString &scale : scales)
        QVERIFY(QFile::rename(scale, parking.filePath(scale)));

    // Every key change fails at its first file, once.
    stepTo(1);
    stepTo(2);
    QCOMPARE(m_boxes->texts.size(), 2);
    QVERIFY(m_boxes->texts[0].contains(QString::fromLatin1('"' + fileOf(1, ScaleForm::Natural) + '"')));
    QVERIFY(m_boxes->texts[1].contains(QString::fromLatin1('"' + fileOf(2, ScaleForm::Natural) + '"')));
    QVERIFY(m_boxes->texts[1].contains(QStringLiteral("não foi encontrado")));
    QCOMPARE(m_form->MediaPlayer1->OpenDeviceId(), DeviceId(0));
    QCOMPARE(openDevices(*m_service), heldDevices());

    // The files come back, and so does the program.
    for (const QString &scale : scales)
        QVERIFY(QFile::rename(parking.filePath(scale), scale));
    stepTo(1);
    QCOMPARE(m_boxes->texts.size(), 2);
    verifyAllReady();
    verifyPlays(m_form->MediaPlayer1);
}

// The program writes nothing: a folder it may only read is all it needs.
void TestFormFaults::readOnlyScaleFolder()
{
    const auto listing = [] {
        QStringList entries;
        for (const QFileInfo &entry : QDir::current().entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            entries << entry.fileName() + QLatin1Char(' ') + QString::number(entry.size()) + QLatin1Char(' ')
                           + entry.lastModified().toString(Qt::ISODateWithMs);
        return entries;
    };
    for (const QString &scale : QDir::current().entryList(QDir::Files))
        QVERIFY(QFile::setPermissions(scale, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    QVERIFY(QFile::setPermissions(m_folder->path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther
                                                        | QFile::ExeOther));
    const QStringList before = listing();

    createWindow(std::make_unique<FluidSynthService>(AudioOutput::Offline));
    for (int key = 0; key < 15; ++key) {
        stepTo(key);
        verifyAllReady();
    }
    verifyPlays(m_form->MediaPlayer3);

    QVERIFY(m_boxes->texts.isEmpty());
    QCOMPARE(listing(), before);
}

void TestFormFaults::missingPlaybackResource_data()
{
    QTest::addColumn<Missing>("missing");
    QTest::addColumn<bool>("approached");
    QTest::addColumn<QString>("cause");

    const QString noSoundFont = QStringLiteral(
        "não há SoundFont General MIDI instalada (instale o pacote fluid-soundfont-gm)");
    const QString noOutput = QStringLiteral("nenhuma saída de áudio está disponível");
    // Approached: the pointer goes to the key selector before the key is
    // chosen, so that the synthesizer is prepared ahead, and fails there.
    QTest::newRow("no SoundFont") << NoSoundFont << false << noSoundFont;
    QTest::newRow("no SoundFont, selector approached") << NoSoundFont << true << noSoundFont;
    QTest::newRow("no sound server") << NoSoundServer << false << noOutput;
    QTest::newRow("no sound server, selector approached") << NoSoundServer << true << noOutput;
}

// A SoundFont that is missing until it is installed, or a sound server that
// does not answer (and no sound card configured) until it starts.
void TestFormFaults::missingPlaybackResource()
{
    QFETCH(Missing, missing);
    QFETCH(bool, approached);
    QFETCH(QString, cause);
    const QString soundFont = m_folder->filePath(QStringLiteral("sons/GM.sf2"));
    const QString runtime = m_folder->filePath(QStringLiteral("pulse"));
    const QString socket = runtime + QStringLiteral("/native");

    // GIVEN the program started without it
    if (missing == NoSoundFont) {
        createWindow(std::make_unique<FluidSynthService>(AudioOutput::Offline, std::vector{soundFont.toStdString()}));
    } else {
        QVERIFY(QDir().mkpath(runtime));
        QFile alsaConfig(m_folder->filePath(QStringLiteral("asound.conf")));
        QVERIFY(alsaConfig.open(QIODevice::WriteOnly));
        alsaConfig.close();
        qputenv("ALSA_CONFIG_PATH", QFile::encodeName(alsaConfig.fileName()));
        qputenv("PULSE_SERVER", QFile::encodeName(QStringLiteral("unix:") + socket));
        createWindow(std::make_unique<FluidSynthService>(AudioOutput::Speakers));
    }
    if (approached)
        approachSelector();

    // WHEN two keys are chosen, THEN each shows one box naming its first
    // file and the cause, and no player can play
    stepTo(0);
    stepTo(1);
    QCOMPARE(m_boxes->texts.size(), 2);
    for (int key = 0; key < 2; ++key) {
        const QString text = m_boxes->texts[key];
        QVERIFY2(text.contains(QString::fromLatin1('"' + fileOf(key, ScaleForm::Natural) + '"')), qPrintable(text));
        QVERIFY2(text.contains(cause), qPrintable(text));
    }
    QCOMPARE(m_form->MediaPlayer1->OpenDeviceId(), DeviceId(0));
    for (const ScalePlayer *player : players())
        QVERIFY(!player->PlayAvailable());

    // WHEN it comes: the SoundFont is installed, or the sound server starts
    // with a sink that plays into nothing
    QProcess server;
    if (missing == NoSoundFont) {
        std::string installed;
        for (const std::string &path : FluidSynthService::defaultSoundFonts()) {
            if (installed.empty() && QFile::exists(QString::fromStdString(path)))
                installed = path;
        }
        QVERIFY2(!installed.empty(), "fluid-soundfont-gm is not installed");
        QVERIFY(QDir().mkpath(QFileInfo(soundFont).path()));
        QVERIFY(QFile::link(QString::fromStdString(installed), soundFont));
    } else {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *variable : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH"})
            environment.insert(QString::fromLatin1(variable), runtime);
        server.setProcessEnvironment(environment);
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.setStandardOutputFile(m_folder->filePath(QStringLiteral("pulse.log")));
        server.start(QStringLiteral("pulseaudio"),
                     {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"), QStringLiteral("-n"),
                      QStringLiteral("--load=module-null-sink"),
                      QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + socket});
        QVERIFY2(server.waitForStarted(5000), "pulseaudio is needed (scripts/test installs it)");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 10000);
    }
    if (approached)
        approachSelector();

    // THEN the next key change opens all three players, and Play plays
    stepTo(2);
    QCOMPARE(m_boxes->texts.size(), 2);
    verifyAllReady();
    if (missing == NoSoundFont) {
        verifyPlays(m_form->MediaPlayer2);
        return;
    }
    QTest::mouseClick(m_form->MediaPlayer1, Qt::LeftButton, {}, QPoint(14, 15));
    QCOMPARE(m_form->MediaPlayer1->LastError(), playback::NoError);
    QVERIFY(!m_form->MediaPlayer1->PlayAvailable());

    // The audio thread goes before its server does.
    m_form.reset();
    m_service.reset();
    server.terminate();
    QVERIFY(server.waitForFinished(5000));
}

// As a user on the way to choosing a key: the pointer moves onto the selector.
void TestFormFaults::approachSelector()
{
    QTest::mouseMove(m_form.get(), QPoint(0, 0));
    QTest::mouseMove(m_form->ComboBox1, QPoint(20, 10));
}

int main(int argc, char **argv)
{
    app::Application application(argc, argv);
    TestFormFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_formfaults.moc"
