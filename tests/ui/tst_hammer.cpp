// A restless student: a hundred thousand clicks on Play, Space presses, key
// changes, files ending and refusals from the service, in a random order
// (always the same one), through the scripted service. After every event
// the players' state must still be one their state table allows.

#include "model/keytable.h"
#include "playback/scaleplayer.h"
#include "tests/support/failurerecorder.h"
#include "tests/support/fakemediaservice.h"
#include "ui/tcombobox.h"
#include "ui/tform1.h"

#include <QRandomGenerator>
#include <QTest>

#include <array>
#include <set>

using namespace quiralto;
using playback::DeviceId;
using playback::DeviceMode;
using playback::ScalePlayer;
using testsupport::FakeFile;
using testsupport::FakeMediaService;
using Request = FakeMediaService::Request;

namespace {

// Keys whose files the service refuses, or opens in a state of their own.
constexpr int MissingNaturalKey = 4;
constexpr int BrokenHarmonicKey = 9;
constexpr int AlreadyPlayingNaturalKey = 7;
constexpr int CannotPlayMelodicKey = 12;

std::string fileOf(int key, model::ScaleForm form)
{
    return model::scaleFileName(model::KeyTable()[std::size_t(key)].tonicIndex, form);
}

} // namespace

class TestHammer : public QObject
{
    Q_OBJECT

private slots:
    void randomEventsKeepTheStateTable();

private:
    void verifyStateTable(const char *event, int number);

    FakeMediaService m_service;
    std::array<ScalePlayer *, 3> m_players{};
};

void TestHammer::verifyStateTable(const char *event, int number)
{
    const auto where = [&](const char *broken) {
        return qPrintable(QStringLiteral("after event %1 (%2): %3").arg(number).arg(QLatin1String(event),
                                                                            QLatin1String(broken)));
    };
    std::set<DeviceId> held;
    for (const ScalePlayer *player : m_players) {
        const DeviceId device = player->OpenDeviceId();
        if (player->PlayAvailable() && device == 0)
            QFAIL(where("Play available without a device"));
        if (device == 0 && player->PlayAvailable())
            QFAIL(where("no device, yet Play is available"));
        if (player->PlayAvailable() && !player->PlayCapable())
            QFAIL(where("Play available on a device that cannot play"));
        if (player->DrawnPressed() && !player->PressInProgress())
            QFAIL(where("drawn pressed without a press"));
        if (player->PressInProgress())
            QFAIL(where("a press outlived its release"));
        if (device == 0)
            continue;
        if (!m_service.openDevices().contains(device))
            QFAIL(where("a player holds a device the service closed"));
        if (player->PlayAvailable() && m_service.deviceMode(device) != DeviceMode::Stopped)
            QFAIL(where("Play available while the device plays"));
        if (!held.insert(device).second)
            QFAIL(where("two players share a device"));
    }
    if (m_service.openDevices() != held)
        QFAIL(where("a device is open that no player holds"));
}

void TestHammer::randomEventsKeepTheStateTable()
{
    for (const model::KeyTableRow &key : model::KeyTable())
        for (model::ScaleForm form : model::AllScaleForms)
            m_service.addFile(model::scaleFileName(key.tonicIndex, form));
    m_service.addFile(fileOf(MissingNaturalKey, model::ScaleForm::Natural), {playback::ErrorFileNotFound});
    m_service.addFile(fileOf(BrokenHarmonicKey, model::ScaleForm::Harmonic), {playback::ErrorNotMidiFile});
    m_service.addFile(fileOf(AlreadyPlayingNaturalKey, model::ScaleForm::Natural),
                      {playback::NoError, true, DeviceMode::Playing});
    m_service.addFile(fileOf(CannotPlayMelodicKey, model::ScaleForm::Melodic), {playback::NoError, false});
    const std::set<int> failingKeys{MissingNaturalKey, BrokenHarmonicKey};

    ui::TForm1 form(m_service);
    m_players = {form.MediaPlayer1, form.MediaPlayer2, form.MediaPlayer3};
    form.FormCreate();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    // Where the program's frame would show a box, the failures are counted.
    const FailureRecorder failures;
    const auto failureCount = [&failures] { return int(failures.messages().size()); };
    QRandomGenerator random(20100201);
    int keyChanges = 0;
    int plays = 0;
    for (int number = 1; number <= 100000; ++number) {
        ScalePlayer *player = m_players[random.bounded(3)];
        const int failuresBefore = failureCount();
        const char *event = nullptr;
        m_service.clearRequests();

        const int dice = int(random.bounded(100));
        if (dice < 25) {
            event = "key change";
            const int before = form.ComboBox1->ItemIndex();
            form.ComboBox1->setFocus();
            QTest::keyClick(QApplication::focusWidget(), random.bounded(2) ? Qt::Key_Down : Qt::Key_Up);
            const int after = form.ComboBox1->ItemIndex();
            keyChanges += after != before;
            // One error for a key change that fails, however many files it has.
            const int expected = after != before && failingKeys.contains(after) ? 1 : 0;
            if (failureCount() - failuresBefore != expected)
                QFAIL(qPrintable(QStringLiteral("event %1: key %2 gave %3 errors")
                                     .arg(number).arg(after).arg(failureCount() - failuresBefore)));
        } else if (dice < 45) {
            event = "click on Play";
            const bool available = player->PlayAvailable();
            QTest::mouseClick(player, Qt::LeftButton, {}, QPoint(14, 15));
            // A greyed Play ignores the pointer: nothing is asked of the service.
            if (!available && !m_service.requests().isEmpty())
                QFAIL(qPrintable(QStringLiteral("event %1: a greyed Play made requests").arg(number)));
            if (failureCount() != failuresBefore)
                QFAIL(qPrintable(QStringLiteral("event %1: a click raised an error").arg(number)));
            plays += available;
        } else if (dice < 50) {
            event = "press, drag off, release";
            QTest::mousePress(player, Qt::LeftButton, {}, QPoint(14, 15));
            QTest::mouseMove(player, QPoint(60, 60));
            QTest::mouseRelease(player, Qt::LeftButton, {}, QPoint(60, 60));
            if (!m_service.requests().filter(QStringLiteral("play ")).isEmpty())
                QFAIL(qPrintable(QStringLiteral("event %1: a release outside played").arg(number)));
        } else if (dice < 70) {
            event = "Space";
            const bool hadDevice = player->OpenDeviceId() != 0;
            QTest::keyClick(player, Qt::Key_Space);
            if (failureCount() - failuresBefore != (hadDevice ? 0 : 1))
                QFAIL(qPrintable(QStringLiteral("event %1: Space gave %2 errors")
                                     .arg(number).arg(failureCount() - failuresBefore)));
            if (!hadDevice && failures.messages().back() != "No MCI device open")
                QFAIL(failures.messages().back().c_str());
            if (player->PlayAvailable())
                QFAIL(qPrintable(QStringLiteral("event %1: Space left Play available").arg(number)));
        } else if (dice < 80) {
            event = "file ends";
            const DeviceId device = player->OpenDeviceId();
            if (device != 0 && m_service.deviceMode(device) == DeviceMode::Playing)
                m_service.finishPlaying(device);
        } else if (dice < 85) {
            event = "superseded notice";
            const DeviceId device = player->OpenDeviceId();
            if (device != 0 && m_service.deviceMode(device) == DeviceMode::Playing)
                m_service.postSuperseded(device);
        } else if (dice < 95) {
            event = "notices delivered";
            QCoreApplication::processEvents();
        } else {
            event = "service changes its mind";
            const Request request = random.bounded(2) ? Request::Play : Request::Position;
            m_service.setFailure(request, random.bounded(2) ? playback::ErrorSynthesizer : playback::NoError);
        }
        verifyStateTable(event, number);
        if (QTest::currentTestFailed())
            return;
    }
    qInfo("%d key changes, %d plays, %d errors shown", keyChanges, plays, failureCount());
    // The dice reached every kind of change often.
    QVERIFY(keyChanges > 10000);
    QVERIFY(plays > 1000);
}

QTEST_MAIN(TestHammer)
#include "tst_hammer.moc"
