// A long lesson: ten thousand key changes, back and forth through all fifteen
// keys, with a scale played after every tenth, through the real playback
// service rendering offline. The program must not grow, and must not keep a
// device that no player holds.

#include "playback/scaleplayer.h"
#include "playback/service/fluidsynthservice.h"
#include "tests/support/opendevices.h"
#include "ui/tcombobox.h"
#include "ui/tform1.h"

#include <QTest>

#include <unistd.h>

#include <array>
#include <fstream>
#include <set>

using namespace quiralto;
using playback::DeviceId;
using playback::FluidSynthService;
using testsupport::openDevices;

namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer holds freed memory back in quarantine, so the resident
// size says nothing there; LeakSanitizer watches for leaks instead.
constexpr bool ResidentSizeMeaningful = false;
#else
constexpr bool ResidentSizeMeaningful = true;
#endif

long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void tenThousandKeyChanges();
};

void TestSoak::tenThousandKeyChanges()
{
    QVERIFY(QDir::setCurrent(QStringLiteral(QUIRALTO_TEST_SCALES_DIR)));
    FluidSynthService service(playback::AudioOutput::Offline);
    ui::TForm1 form(service);
    form.FormCreate();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const std::array players{form.MediaPlayer1, form.MediaPlayer2, form.MediaPlayer3};
    const auto heldDevices = [&players] {
        std::set<DeviceId> held;
        for (const playback::ScalePlayer *player : players)
            held.insert(player->OpenDeviceId());
        return held;
    };

    long residentAtThousand = 0;
    std::vector<float> samples;
    int step = 1;
    for (int change = 1; change <= 10000; ++change) {
        // Down to the last key, up to the first, and again.
        const int before = form.ComboBox1->ItemIndex();
        if (before + step < 0 || before + step > 14)
            step = -step;
        form.ComboBox1->setFocus();
        QTest::keyClick(QApplication::focusWidget(), step > 0 ? Qt::Key_Down : Qt::Key_Up);
        if (form.ComboBox1->ItemIndex() != before + step)
            QFAIL(qPrintable(QStringLiteral("change %1 did not change the key").arg(change)));
        for (const playback::ScalePlayer *player : players) {
            if (!player->PlayAvailable())
                QFAIL(qPrintable(QStringLiteral("change %1 left a player without its file").arg(change)));
        }

        if (change % 10 == 0)
            QTest::mouseClick(players[std::size_t(change / 10 % 3)], Qt::LeftButton, {}, QPoint(14, 15));
        service.renderFrames(256, samples);
        QCoreApplication::processEvents();

        if (change == 1000) {
            residentAtThousand = residentBytes();
            QCOMPARE(openDevices(service), heldDevices());
        }
    }

    // Three devices, all of them the players'.
    QCOMPARE(openDevices(service), heldDevices());
    QCOMPARE(int(heldDevices().size()), 3);
    const long growth = residentBytes() - residentAtThousand;
    qInfo("resident size grew by %ld KiB from the 1000th change to the 10000th", growth / 1024);
    if (ResidentSizeMeaningful)
        QVERIFY2(growth < 1024 * 1024, qPrintable(QStringLiteral("grew by %1 bytes").arg(growth)));
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
