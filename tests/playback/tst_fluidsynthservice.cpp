#include "midi/midifile.h"
#include "playback/service/audiodriver.h"
#include "playback/service/fluidsynthservice.h"
#include "playback/service/medianotifyevent.h"
#include "playback/service/systemsound.h"

#include "model/keytable.h"
#include "model/latin1.h"
#include "tests/support/audiolevel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using namespace quiralto::playback;
using quiralto::model::latin1;
using quiralto::testsupport::peakOf;
using Reason = MediaNotifyEvent::Reason;

namespace {

// Collects the completion notices that reach it through the event loop.
class NoticeRecorder : public QObject
{
public:
    std::vector<Reason> reasons;
    std::vector<DeviceId> devices;
    std::vector<std::string> errorTexts;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != MediaNotifyEvent::eventType())
            return QObject::event(event);
        const auto *notice = static_cast<MediaNotifyEvent *>(event);
        reasons.push_back(notice->reason());
        devices.push_back(notice->device());
        errorTexts.push_back(notice->errorText().value_or(std::string()));
        return true;
    }
};

QByteArray variableLength(int value)
{
    QByteArray out(1, char(value & 0x7F));
    while (value >>= 7)
        out.prepend(char(0x80 | (value & 0x7F)));
    return out;
}

// Middle C held for \a quarters quarter notes at the default 120 beats a
// minute: half a second each.
QByteArray heldNoteFile(int quarters)
{
    const QByteArray track = QByteArray::fromHex("00903C64") + variableLength(96 * quarters)
                             + QByteArray::fromHex("803C0000FF2F00");
    QByteArray length(4, 0);
    for (int i = 0; i < 4; ++i)
        length[i] = char(track.size() >> (8 * (3 - i)));
    return QByteArray::fromHex("4D546864000000060000000100604D54726B") + length + track;
}

// FluidSynth renders 64 frames at a time and hands out the rest of a block
// at the next call; whole blocks keep the sound before a request out of what
// is rendered after it.
constexpr int Period = 64 * 69; // about a tenth of a second

// Renders \a seconds, letting the event loop run after each period, as it
// would between the audio thread's periods; returns the loudest sample.
float renderSeconds(FluidSynthService &service, double seconds)
{
    std::vector<float> samples;
    float peak = 0;
    for (int frames = int(seconds * OutputSampleRate); frames > 0; frames -= Period) {
        service.renderFrames(Period, samples);
        peak = std::max(peak, peakOf(samples));
        QCoreApplication::processEvents();
    }
    return peak;
}

// Renders until \a recorder holds \a count notices; returns the loudest
// sample, or a negative value when \a maxSeconds of sound brought too few.
float renderUntilNotices(FluidSynthService &service, const NoticeRecorder &recorder, std::size_t count,
                         double maxSeconds)
{
    float peak = 0;
    for (double played = 0; recorder.reasons.size() < count; played += 0.1) {
        if (played >= maxSeconds)
            return -1;
        peak = std::max(peak, renderSeconds(service, 0.1));
    }
    return peak;
}

constexpr float Audible = 1e-3f;

// Stands in for a sound server and the drivers made on it. Each driver
// pulls the synthesizer's sound on a thread of its own, a period at a time
// and in step with the clock, as FluidSynth's drivers do, until the server
// goes away: then its thread ends, as theirs does after a failed write, and
// no driver can be made until the server is back. A server that hangs holds
// whoever talks to it, making a driver, pulling or deleting one, until it
// wakes.
class FakeSoundServer
{
public:
    // The threads that make, pull and delete drivers share the server's
    // state: one let go by a hang may still be inside it when the test that
    // made the server has returned.
    AudioDriverMaker driverMaker()
    {
        return [state = m_state](AudioCallback callback, void *data) -> std::unique_ptr<AudioDriver> {
            state->waitAwake();
            if (!state->running)
                return nullptr;
            ++state->driversMade;
            return std::make_unique<Driver>(state, callback, data);
        };
    }

    void stop() { m_state->running = false; }
    void restart() { m_state->running = true; }
    void hang() { m_state->setHanging(true); }
    void wake() { m_state->setHanging(false); }
    bool hanging()
    {
        const std::lock_guard lock(m_state->lock);
        return m_state->hanging;
    }
    // Wakes the server and waits until no thread is held inside it any more.
    void wakeAndDrain()
    {
        wake();
        while (m_state->inside > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    int driversMade() const { return m_state->driversMade; }
    int driversAlive() const { return m_state->driversAlive; }
    // The loudest sample pulled since the last call.
    float takePeak() { return m_state->peak.exchange(0); }

private:
    static constexpr int PeriodFrames = 256;

    struct State
    {
        void setHanging(bool now)
        {
            const std::lock_guard held(lock);
            hanging = now;
            woken.notify_all();
        }

        void waitAwake()
        {
            ++inside;
            std::unique_lock held(lock);
            woken.wait(held, [this] { return !hanging; });
            --inside;
        }

        std::atomic<bool> running{true};
        std::mutex lock;
        std::condition_variable woken;
        bool hanging = false;
        std::atomic<int> inside{0};
        std::atomic<int> driversMade{0};
        std::atomic<int> driversAlive{0};
        std::atomic<float> peak{0};
    };

    class Driver : public AudioDriver
    {
    public:
        Driver(std::shared_ptr<State> server, AudioCallback callback, void *data)
            : m_server(std::move(server)), m_callback(callback), m_data(data)
        {
            ++m_server->driversAlive;
            m_thread = std::thread([this] { pull(); });
        }
        ~Driver() override
        {
            m_deleted = true;
            m_server->waitAwake();
            m_thread.join();
            --m_server->driversAlive;
        }

    private:
        void pull()
        {
            std::vector<float> left(PeriodFrames), right(PeriodFrames);
            float *out[] = {left.data(), right.data()};
            auto next = std::chrono::steady_clock::now();
            while (!m_deleted && m_server->running) {
                m_server->waitAwake();
                m_callback(m_data, PeriodFrames, 0, nullptr, 2, out);
                const float peak = std::max(peakOf(left), peakOf(right));
                float before = m_server->peak;
                while (peak > before && !m_server->peak.compare_exchange_weak(before, peak)) {
                }
                next += std::chrono::microseconds(1000000 * PeriodFrames / OutputSampleRate);
                std::this_thread::sleep_until(next);
            }
        }

        const std::shared_ptr<State> m_server;
        AudioCallback m_callback;
        void *m_data;
        std::atomic<bool> m_deleted{false};
        std::thread m_thread;
    };

    const std::shared_ptr<State> m_state = std::make_shared<State>();
};

// Waits, with the event loop running, until the speakers have sounded.
bool heardWithin(FakeSoundServer &server, int milliseconds)
{
    server.takePeak();
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QTest::qWait(50);
        if (server.takePeak() > Audible)
            return true;
    }
    return false;
}

} // namespace

class TestFluidSynthService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        QVERIFY(QDir::setCurrent(m_files.path()));
        writeFile("curto.MID", heldNoteFile(1));
        writeFile("longo.MID", heldNoteFile(8));
    }

    void scaleFilesArePresent()
    {
        int present = 0;
        for (const auto &name : scaleFileNames())
            present += QFile::exists(scalePath(name));
        QCOMPARE(present, 45);
    }

    void playsEveryScaleFile_data()
    {
        QTest::addColumn<QString>("path");
        for (const auto &name : scaleFileNames())
            QTest::newRow(name.c_str()) << scalePath(name);
    }

    void playsEveryScaleFile()
    {
        QFETCH(QString, path);
        FluidSynthService &service = sharedService();
        NoticeRecorder recorder;

        DeviceId device = 0;
        QCOMPARE(service.open(path.toStdString(), device), NoError);
        std::uint32_t length = 0;
        QCOMPARE(service.length(device, length), NoError);
        QVERIFY(length > 0);

        // WHEN the file plays to its end
        QCOMPARE(service.play(device, &recorder), NoError);
        QCOMPARE(modeOf(service, device), DeviceMode::Playing);
        QVERIFY(renderUntilNotices(service, recorder, 1, 120) > Audible);

        // THEN it has stopped at its length with one notice of success
        QCOMPARE(modeOf(service, device), DeviceMode::Stopped);
        QCOMPARE(positionOf(service, device), length);
        renderSeconds(service, 3);
        QCOMPARE(recorder.reasons, std::vector{Reason::Successful});
        QCOMPARE(recorder.devices, std::vector{device});

        // AND it plays again from the start after a rewind
        QCOMPARE(service.seekToStart(device), NoError);
        QCOMPARE(positionOf(service, device), 0u);
        QCOMPARE(service.play(device, &recorder), NoError);
        QVERIFY(renderSeconds(service, 0.3) > Audible);
        QVERIFY(positionOf(service, device) > 0);
        QVERIFY(positionOf(service, device) < length);
        QCOMPARE(service.close(device), NoError);
    }

    void refusesWhatIsNotAPlayableFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<ErrorCode>("error");

        writeFile("vazio.MID", {});
        QByteArray noise(4096, 0);
        QRandomGenerator generator(7);
        for (auto &byte : noise)
            byte = char(generator.bounded(256));
        writeFile("ruido.MID", noise);
        writeFile("enorme.MID", heldNoteFile(1) + QByteArray("XPAD") + QByteArray::fromHex("00100000")
                                    + QByteArray(int(quiralto::midi::MaxMidiFileSize), 0));
        QDir(m_files.path()).mkdir("pasta.MID");

        QTest::newRow("missing") << "nada.MID" << ErrorCode(ErrorFileNotFound);
        QTest::newRow("no name") << "" << ErrorCode(ErrorNoFileName);
        QTest::newRow("empty") << "vazio.MID" << ErrorCode(ErrorNotMidiFile);
        QTest::newRow("folder") << "pasta.MID" << ErrorCode(ErrorFileUnreadable);
        QTest::newRow("random bytes") << "ruido.MID" << ErrorCode(ErrorNotMidiFile);
        QTest::newRow("over 1 MiB") << "enorme.MID" << ErrorCode(ErrorNotMidiFile);
    }

    void refusesWhatIsNotAPlayableFile()
    {
        QFETCH(QString, name);
        QFETCH(ErrorCode, error);
        FluidSynthService service(AudioOutput::Offline);

        DeviceId device = 0;
        QCOMPARE(service.open(name.toStdString(), device), error);
        QCOMPARE(device, DeviceId(0));

        const auto text = service.errorText(error);
        QVERIFY(text.has_value());
        if (!name.isEmpty())
            QVERIFY2(text->find('"' + name.toStdString() + '"') != std::string::npos, text->c_str());
    }

    void secondPlaySupersedesAndGoesOn()
    {
        FluidSynthService service(AudioOutput::Offline);
        NoticeRecorder recorder;
        const DeviceId device = openFile(service, "longo.MID");

        QCOMPARE(service.play(device, &recorder), NoError);
        renderSeconds(service, 1);
        const auto before = positionOf(service, device);

        QCOMPARE(service.play(device, &recorder), NoError);
        QCOMPARE(positionOf(service, device), before);
        QCoreApplication::processEvents();
        QCOMPARE(recorder.reasons, std::vector{Reason::Superseded});

        // Four seconds long, one of them played: starting over would take four more
        QVERIFY(renderUntilNotices(service, recorder, 2, 3.5) >= 0);
        renderSeconds(service, 1);
        QCOMPARE(recorder.reasons, (std::vector{Reason::Superseded, Reason::Successful}));
    }

    void rewindWhilePlayingAbortsTheRequest()
    {
        FluidSynthService service(AudioOutput::Offline);
        NoticeRecorder recorder;
        const DeviceId device = openFile(service, "longo.MID");
        QCOMPARE(service.play(device, &recorder), NoError);
        renderSeconds(service, 1);

        QCOMPARE(service.seekToStart(device), NoError);

        QCOMPARE(modeOf(service, device), DeviceMode::Stopped);
        QCOMPARE(positionOf(service, device), 0u);
        QCOMPARE(renderSeconds(service, 0.2), 0.0f);
        QCOMPARE(recorder.reasons, std::vector{Reason::Aborted});
    }

    void closeWhilePlayingSilencesThatDevice()
    {
        FluidSynthService service(AudioOutput::Offline);
        NoticeRecorder recorder;
        const DeviceId device = openFile(service, "longo.MID");
        QCOMPARE(service.play(device, &recorder), NoError);
        QVERIFY(renderSeconds(service, 0.5) > Audible);

        QCOMPARE(service.close(device), NoError);

        QCOMPARE(renderSeconds(service, 0.1), 0.0f);
        QCOMPARE(recorder.reasons, std::vector{Reason::Aborted});
        DeviceMode mode;
        QCOMPARE(service.mode(device, mode), ErrorCode(ErrorInvalidDevice));
    }

    void closeLeavesOtherDevicesAsTheyWere()
    {
        // GIVEN two devices playing, and a second synthesizer playing the
        // kept one's file alone, in step
        FluidSynthService service(AudioOutput::Offline);
        FluidSynthService alone(AudioOutput::Offline);
        const DeviceId closed = openFile(service, "longo.MID");
        const DeviceId kept = openFile(service, "longo.MID");
        const DeviceId reference = openFile(alone, "longo.MID");
        QCOMPARE(service.play(closed, nullptr), NoError);
        QCOMPARE(service.play(kept, nullptr), NoError);
        QCOMPARE(alone.play(reference, nullptr), NoError);
        renderSeconds(service, 0.5);
        renderSeconds(alone, 0.5);

        // WHEN one of the two is closed
        QCOMPARE(service.close(closed), NoError);

        // THEN the other sounds exactly as if it had played alone
        std::vector<float> both;
        std::vector<float> single;
        service.renderFrames(Period, both);
        alone.renderFrames(Period, single);
        QVERIFY(peakOf(single) > Audible);
        for (std::size_t i = 0; i < single.size(); ++i)
            QVERIFY(std::abs(both[i] - single[i]) < 1e-6f);
    }

    void answersOnlyForOpenDevices()
    {
        FluidSynthService service(AudioOutput::Offline);
        const DeviceId device = openFile(service, "curto.MID");
        std::uint32_t answer = 0;
        QCOMPARE(service.capability(device, Capability::CanPlay, answer), NoError);
        QVERIFY(answer != 0);
        QCOMPARE(service.whereSource(device), ErrorCode(ErrorUnsupportedFunction));
        QVERIFY(service.errorText(ErrorUnsupportedFunction)->find("curto.MID") != std::string::npos);

        const DeviceId unknown = device + 1;
        DeviceMode mode;
        QCOMPARE(service.mode(unknown, mode), ErrorCode(ErrorInvalidDevice));
        QCOMPARE(service.position(unknown, answer), ErrorCode(ErrorInvalidDevice));
        QCOMPARE(service.play(unknown, nullptr), ErrorCode(ErrorInvalidDevice));
        QCOMPARE(service.seekToStart(unknown), ErrorCode(ErrorInvalidDevice));
        QCOMPARE(service.whereSource(unknown), ErrorCode(ErrorInvalidDevice));
        QCOMPARE(service.close(unknown), ErrorCode(ErrorInvalidDevice));
        QVERIFY(service.errorText(ErrorInvalidDevice).has_value());
        QVERIFY(!service.errorText(9999).has_value());
    }

    void missingSoundFontIsReported_data()
    {
        QTest::addColumn<bool>("prepared");
        QTest::newRow("made at the open") << false;
        QTest::newRow("prepared ahead") << true;
    }

    void missingSoundFontIsReported()
    {
        QFETCH(bool, prepared);
        static std::atomic<bool> fluidSynthComplained;
        fluidSynthComplained = false;
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context,
                                                                    const QString &) {
            fluidSynthComplained = fluidSynthComplained
                                   || (type == QtCriticalMsg && qstrcmp(context.category, "quiralto.fluidsynth") == 0);
        });
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        // GIVEN no SoundFont that loads where the service looks
        writeFile("vazia.sf2", {});
        const QString installed = QDir(m_files.path()).filePath(QStringLiteral("instalada-%1.sf2").arg(prepared));
        FluidSynthService service(AudioOutput::Offline,
                                  {"/nao/existe.sf2", "vazia.sf2", installed.toStdString()});
        if (prepared)
            service.prepare();

        // WHEN a file is opened, THEN it is refused, naming the file and what to do
        DeviceId device = 0;
        QCOMPARE(service.open("curto.MID", device), ErrorCode(ErrorNoSoundFont));
        const auto text = service.errorText(ErrorNoSoundFont);
        QVERIFY(text.has_value());
        QVERIFY(text->find("\"curto.MID\"") != std::string::npos);
        QVERIFY(text->find(latin1(soundFontRemedy())) != std::string::npos);
        // AND FluidSynth's own complaint about the empty file went to the program's log
        QVERIFY(fluidSynthComplained);

        // AND once a SoundFont is installed, the next open makes the synthesizer anew
        QVERIFY(QFile::copy(QString::fromStdString(systemSoundFont()), installed));
        if (prepared)
            service.prepare();
        QCOMPARE(service.open("curto.MID", device), NoError);
        NoticeRecorder recorder;
        QCOMPARE(service.play(device, &recorder), NoError);
        QVERIFY(renderUntilNotices(service, recorder, 1, 5) > Audible);
    }

    void preparationMakesTheOutputAhead()
    {
        FakeSoundServer server;
        FluidSynthService service(server.driverMaker());

        service.prepare();
        service.prepare();
        QTRY_COMPARE(server.driversMade(), 1);

        // The first open takes the output made ahead, and it plays.
        const DeviceId device = openFile(service, "curto.MID");
        QCOMPARE(server.driversMade(), 1);
        NoticeRecorder recorder;
        QCOMPARE(service.play(device, &recorder), NoError);
        QVERIFY(heardWithin(server, 5000));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.reasons, std::vector{Reason::Successful}, 10000);
    }

    void destroyedWhilePreparing()
    {
        FakeSoundServer server;
        {
            FluidSynthService service(server.driverMaker());
            service.prepare();
        }
        // The preparation ended with the service, and took its output along.
        QCOMPARE(server.driversAlive(), 0);
    }

    void lostOutputEndsWhatPlaysOnce()
    {
        // GIVEN two devices playing on the speakers and a third open
        FakeSoundServer server;
        FluidSynthService service(server.driverMaker());
        NoticeRecorder recorder;
        const DeviceId first = openFile(service, "longo.MID");
        const DeviceId second = openFile(service, "longo.MID");
        const DeviceId idle = openFile(service, "longo.MID");
        QCOMPARE(service.play(first, &recorder), NoError);
        QCOMPARE(service.play(second, &recorder), NoError);
        QVERIFY(heardWithin(server, 5000));
        // A live output ends nothing, however long it plays.
        QTest::qWait(1000);
        QVERIFY(recorder.reasons.empty());

        // WHEN the sound server goes away
        server.stop();

        // THEN each playing device ends with one notice, as at its end
        QTRY_COMPARE_WITH_TIMEOUT(recorder.reasons.size(), std::size_t(2), 10000);
        QTest::qWait(1500);
        QCOMPARE(recorder.reasons.size(), std::size_t(2));
        QCOMPARE(std::set(recorder.devices.begin(), recorder.devices.end()), (std::set{first, second}));
        for (const DeviceId ended : {first, second}) {
            QCOMPARE(modeOf(service, ended), DeviceMode::Stopped);
            std::uint32_t length = 0;
            QCOMPARE(service.length(ended, length), NoError);
            QCOMPARE(positionOf(service, ended), length);
        }
        QCOMPARE(modeOf(service, idle), DeviceMode::Stopped);
        QCOMPARE(positionOf(service, idle), 0u);
        QCOMPARE(server.driversAlive(), 0);

        // AND while no server answers, a play request is refused for want of an output
        QCOMPARE(service.seekToStart(first), NoError);
        QCOMPARE(service.play(first, &recorder), ErrorCode(ErrorNoAudioOutput));
        const auto text = service.errorText(ErrorNoAudioOutput);
        QVERIFY(text && text->find("\"longo.MID\"") != std::string::npos);
        QVERIFY(text->find(latin1("saída de áudio")) != std::string::npos);
        QCOMPARE(server.driversMade(), 1);

        // AND once the server is back, the next request makes a new output
        // for the same synthesizer, and the file plays from its start to its end
        server.restart();
        QCOMPARE(service.play(first, &recorder), NoError);
        QCOMPARE(server.driversMade(), 2);
        QVERIFY(heardWithin(server, 5000));
        QCOMPARE(modeOf(service, first), DeviceMode::Playing);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.reasons.size(), std::size_t(3), 10000);
        QCOMPARE(recorder.reasons.back(), Reason::Successful);
    }

    void closesTheOutputWhenIdle_data()
    {
        QTest::addColumn<bool>("played");
        QTest::newRow("after the last play") << true;
        QTest::newRow("after a preparation") << false;
    }

    void closesTheOutputWhenIdle()
    {
        QFETCH(bool, played);
        FakeSoundServer server;
        FluidSynthService service(server.driverMaker());
        NoticeRecorder recorder;
        if (played) {
            const DeviceId device = openFile(service, "curto.MID");
            QCOMPARE(service.play(device, &recorder), NoError);
            QTRY_COMPARE_WITH_TIMEOUT(recorder.reasons, std::vector{Reason::Successful}, 10000);
            // Kept for a press that follows at once
            QTest::qWait(1000);
        } else {
            service.prepare();
            QTRY_COMPARE_WITH_TIMEOUT(server.driversAlive(), 1, 5000);
        }
        QCOMPARE(server.driversAlive(), 1);

        // WHEN nothing plays for a while, THEN the output is closed
        QTRY_COMPARE_WITH_TIMEOUT(server.driversAlive(), 0, 8000);

        // AND the next play makes a new one, and sounds
        const DeviceId device = openFile(service, "curto.MID");
        QCOMPARE(service.play(device, &recorder), NoError);
        QCOMPARE(server.driversMade(), 2);
        QVERIFY(heardWithin(server, 5000));
    }

    void hungServerHoldsNoRequest_data()
    {
        QTest::addColumn<bool>("hangsWhilePlaying");
        QTest::newRow("hangs before the output is made") << false;
        QTest::newRow("hangs while a file plays") << true;
    }

    void hungServerHoldsNoRequest()
    {
        QFETCH(bool, hangsWhilePlaying);
        FakeSoundServer server;
        // Were the service to wait for the server, the server would wake in
        // the end, and the test would find it awake; it wakes at the end in
        // any case, so that no thread outlives the server.
        std::jthread watchdog([&server](std::stop_token stop) {
            std::mutex lock;
            std::unique_lock held(lock);
            std::condition_variable_any().wait_for(held, stop, std::chrono::seconds(20), [] { return false; });
            server.wakeAndDrain();
        });
        {
            FluidSynthService service(server.driverMaker());
            NoticeRecorder recorder;
            if (hangsWhilePlaying) {
                const DeviceId first = openFile(service, "longo.MID");
                NoticeRecorder earlier;
                QCOMPARE(service.play(first, &earlier), NoError);
                QVERIFY(heardWithin(server, 5000));
                server.hang();
                // The stuck output ends the file as a lost one does, untold
                QTRY_COMPARE_WITH_TIMEOUT(earlier.reasons, std::vector{Reason::Failure}, 5000);
            } else {
                server.hang();
            }

            // WHEN two files are played while the server hangs, and a
            // request fails meanwhile
            const DeviceId device = openFile(service, "curto.MID");
            const DeviceId other = openFile(service, "longo.MID");
            QCOMPARE(service.play(device, &recorder), NoError);
            QCOMPARE(service.play(other, &recorder), NoError);
            DeviceId missing = 0;
            QCOMPARE(service.open("falta.MID", missing), ErrorCode(ErrorFileNotFound));
            QVERIFY(server.hanging());

            // THEN each play ends, failed for want of an output, its notice naming its own file
            QTRY_COMPARE_WITH_TIMEOUT(recorder.reasons, (std::vector{Reason::Failure, Reason::Failure}), 5000);
            QCOMPARE(std::set(recorder.devices.begin(), recorder.devices.end()), (std::set{device, other}));
            for (std::size_t i = 0; i < recorder.devices.size(); ++i) {
                const char *file = recorder.devices[i] == device ? "\"curto.MID\"" : "\"longo.MID\"";
                QVERIFY2(recorder.errorTexts[i].find(file) != std::string::npos, recorder.errorTexts[i].c_str());
            }
            QCOMPARE(modeOf(service, device), DeviceMode::Stopped);

            if (!hangsWhilePlaying) {
                // AND once the server wakes, the next press sounds
                server.wake();
                QCOMPARE(service.seekToStart(device), NoError);
                QCOMPARE(service.play(device, &recorder), NoError);
                QVERIFY(heardWithin(server, 5000));
                server.hang();
            }
        }
        // AND the service has gone without waiting for the server
        QVERIFY(server.hanging());
        watchdog.request_stop();
        watchdog.join();
        QTRY_COMPARE_WITH_TIMEOUT(server.driversAlive(), 0, 5000);
    }

    void speakersWithoutAudioServerAreReported()
    {
        qputenv("PULSE_SERVER", "unix:/nonexistent/quiralto-test");
        FluidSynthService service(AudioOutput::Speakers);

        DeviceId device = 0;
        const ErrorCode error = service.open("curto.MID", device);
        if (error == NoError)
            QSKIP("an audio output is reachable from this machine");
        QCOMPARE(error, ErrorCode(ErrorNoAudioOutput));
        QVERIFY(service.errorText(error)->find(latin1("saída de áudio")) != std::string::npos);
    }

private:
    static std::vector<std::string> scaleFileNames()
    {
        std::vector<std::string> names;
        for (const auto &key : quiralto::model::KeyTable()) {
            for (const auto form : quiralto::model::AllScaleForms)
                names.push_back(quiralto::model::scaleFileName(key.tonicIndex, form));
        }
        return names;
    }

    static std::string systemSoundFont()
    {
        for (const std::string &path : FluidSynthService::defaultSoundFonts()) {
            if (QFile::exists(QString::fromStdString(path)))
                return path;
        }
        qFatal("fluid-soundfont-gm is not installed");
    }

    static QString scalePath(const std::string &name)
    {
        return QDir(QStringLiteral(QUIRALTO_TEST_SCALES_DIR)).filePath(QString::fromLatin1(name));
    }

    void writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(QDir(m_files.path()).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    static DeviceId openFile(FluidSynthService &service, const std::string &name)
    {
        DeviceId device = 0;
        const auto error = service.open(name, device);
        if (error != NoError)
            qFatal("cannot open %s: %s", name.c_str(), service.errorText(error).value_or("?").c_str());
        return device;
    }

    static DeviceMode modeOf(FluidSynthService &service, DeviceId device)
    {
        DeviceMode mode = DeviceMode::Playing;
        service.mode(device, mode);
        return mode;
    }

    static std::uint32_t positionOf(FluidSynthService &service, DeviceId device)
    {
        std::uint32_t position = 0;
        service.position(device, position);
        return position;
    }

    // One synthesizer for all 45 files, as in the program.
    FluidSynthService &sharedService()
    {
        if (!m_sharedService)
            m_sharedService = std::make_unique<FluidSynthService>(AudioOutput::Offline);
        return *m_sharedService;
    }

    QTemporaryDir m_files;
    std::unique_ptr<FluidSynthService> m_sharedService;
};

QTEST_GUILESS_MAIN(TestFluidSynthService)
#include "tst_fluidsynthservice.moc"
