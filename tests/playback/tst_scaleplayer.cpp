#include "model/latin1.h"
#include "playback/mcideviceerror.h"
#include "playback/scaleplayer.h"
#include "playback/service/medianotifyevent.h"
#include "tests/support/failurerecorder.h"
#include "tests/support/fakemediaservice.h"
#include "windowing/cancelmode.h"
#include "windowing/systemcolors.h"

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <algorithm>

using namespace quiralto;
using namespace quiralto::playback;
using testsupport::FakeFile;
using testsupport::FakeMediaService;
using windowing::SystemColor;

namespace {

const std::string Scale = "Mi Harm.MID";
const QPoint Inside(14, 15);
// In a table of system colours: the button face inverted, as under a focus dot.
const int InvertedFace = -1;

QString stateOf(const ScalePlayer &player)
{
    if (player.OpenDeviceId() == 0)
        return player.PlayAvailable() ? QStringLiteral("available without a device") : QStringLiteral("Empty");
    return player.PlayAvailable() ? QStringLiteral("Ready") : QStringLiteral("Busy");
}

// The message of the failure that \a action raised, if any: an
// EMCIDeviceError out of a call, or whatever ended a handler Qt ran.
template<typename Action>
std::optional<std::string> errorOf(Action action)
{
    const FailureRecorder handlerFailures;
    try {
        action();
    } catch (const EMCIDeviceError &error) {
        return error.message();
    }
    if (handlerFailures.messages().empty())
        return std::nullopt;
    return handlerFailures.messages().front();
}

void openFile(FakeMediaService &service, ScalePlayer &player, const std::string &name,
              const FakeFile &file = {})
{
    service.addFile(name, file);
    player.setFileName(name);
    player.Open();
}

int playRequests(const FakeMediaService &service)
{
    return int(std::count_if(service.requests().cbegin(), service.requests().cend(),
                         [](const QString &line) { return line.startsWith(QLatin1String("play ")); }));
}

void deliverNotices()
{
    QCoreApplication::sendPostedEvents(nullptr, MediaNotifyEvent::eventType());
}

// The device, if any, has played to its end, and a completion notice
// arrives; also where no request of the device was pending, as a late
// notice for a device closed since.
void endNotice(FakeMediaService &service, ScalePlayer &player)
{
    const DeviceId device = player.OpenDeviceId();
    if (device != 0 && service.deviceMode(device) == DeviceMode::Playing)
        service.finishPlaying(device);
    else
        QCoreApplication::postEvent(&player, new MediaNotifyEvent(device, MediaNotifyEvent::Reason::Successful));
}

QColor colorOf(SystemColor name, const QWidget &widget)
{
    return windowing::systemColor(name, widget.palette());
}

// Distinct colours for every role the button draws with, so that a pixel
// tells which role painted it.
void giveDistinctColors(QWidget &widget)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Button, QColor(200, 190, 180));
    palette.setColor(QPalette::Light, QColor(250, 240, 230));
    palette.setColor(QPalette::Dark, QColor(90, 80, 70));
    palette.setColor(QPalette::Shadow, QColor(10, 20, 30));
    widget.setPalette(palette);
}

// Where a one-pixel frame on the outermost pixels of \a rect is not drawn
// as expected, or nothing: \a topLeft along the top and left, up to and
// including the corners it shares with the other sides, \a bottomRight
// along the rest of the bottom and right.
QString edgeMismatch(const QImage &image, const QRect &rect, const QColor &topLeft, const QColor &bottomRight)
{
    const auto mismatch = [&](int x, int y, const QColor &color) {
        return QStringLiteral("(%1,%2) is %3, not %4").arg(x).arg(y).arg(image.pixelColor(x, y).name(), color.name());
    };
    for (int x = rect.left(); x <= rect.right(); ++x) {
        if (image.pixelColor(x, rect.top()) != topLeft)
            return mismatch(x, rect.top(), topLeft);
        if (x > rect.left() && image.pixelColor(x, rect.bottom()) != bottomRight)
            return mismatch(x, rect.bottom(), bottomRight);
    }
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        if (image.pixelColor(rect.left(), y) != topLeft)
            return mismatch(rect.left(), y, topLeft);
        if (y > rect.top() && image.pixelColor(rect.right(), y) != bottomRight)
            return mismatch(rect.right(), y, bottomRight);
    }
    return {};
}

// A window that moves the focus with the arrow keys it is left, as a dialog
// does: an arrow that escapes the player would take the focus away.
class ArrowNavigatingWindow : public QWidget
{
protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() >= Qt::Key_Left && event->key() <= Qt::Key_Down)
            focusNextChild();
    }
};

} // namespace

class TestScalePlayer : public QObject
{
    Q_OBJECT

private slots:
    void stateTable_data();
    void stateTable();
    void openAsksInOrder();
    void failingOpen_data();
    void failingOpen();
    void refusedCloseInsideOpen_data();
    void refusedCloseInsideOpen();
    void pressMoveRelease_data();
    void pressMoveRelease();
    void doubleClick_data();
    void doubleClick();
    void spaceKey_data();
    void spaceKey();
    void refusedPlay_data();
    void refusedPlay();
    void completionNotice_data();
    void completionNotice();
    void rewindsAtTheEnd_data();
    void rewindsAtTheEnd();
    void hooks_data();
    void hooks();
    void destructionClosesTheDevice();
    void focusByTabOnly();
    void glyphs();
    void size_data();
    void size();
    void glyphPlacement_data();
    void glyphPlacement();
    void pixels_data();
    void pixels();
};

void TestScalePlayer::stateTable_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("plays");
    QTest::addColumn<bool>("raises");

    const QList<std::tuple<QString, QString, QString, int, bool>> rows = {
        {"Empty", "open", "Ready", 0, false},
        {"Empty", "open missing", "Empty", 0, true},
        {"Empty", "open cannot play", "Busy", 0, false},
        {"Empty", "open already playing", "Busy", 0, false},
        {"Empty", "click", "Empty", 0, false},
        {"Empty", "space", "Empty", 0, true},
        {"Empty", "end notice", "Empty", 0, false},
        {"Ready", "open", "Ready", 0, false},
        {"Ready", "open missing", "Empty", 0, true},
        {"Ready", "open cannot play", "Busy", 0, false},
        {"Ready", "open already playing", "Busy", 0, false},
        {"Ready", "click", "Busy", 1, false},
        {"Ready", "space", "Busy", 1, false},
        {"Ready", "end notice", "Ready", 0, false},
        {"Busy", "open", "Ready", 0, false},
        {"Busy", "open missing", "Empty", 0, true},
        {"Busy", "open cannot play", "Busy", 0, false},
        {"Busy", "open already playing", "Busy", 0, false},
        {"Busy", "click", "Busy", 0, false},
        {"Busy", "space", "Busy", 1, false},
        {"Busy", "end notice", "Ready", 0, false},
    };
    for (const auto &[from, action, to, plays, raises] : rows)
        QTest::addRow("%s, %s", qPrintable(from), qPrintable(action)) << from << action << to << plays << raises;
}

void TestScalePlayer::stateTable()
{
    QFETCH(QString, from);
    QFETCH(QString, action);
    QFETCH(QString, to);
    QFETCH(int, plays);
    QFETCH(bool, raises);

    // GIVEN a player in the starting state
    FakeMediaService service;
    ScalePlayer player(service);
    if (from != QLatin1String("Empty"))
        openFile(service, player, "Sol Harm.MID");
    if (from == QLatin1String("Busy"))
        QTest::mouseClick(&player, Qt::LeftButton, {}, Inside);
    QCOMPARE(stateOf(player), from);
    const int playsBefore = playRequests(service);

    // WHEN the action happens
    const auto act = [&] {
        if (action == QLatin1String("open")) {
            openFile(service, player, Scale);
        } else if (action == QLatin1String("open missing")) {
            player.setFileName("Falta.MID");
            player.Open();
        } else if (action == QLatin1String("open cannot play")) {
            openFile(service, player, Scale, {.canPlay = false});
        } else if (action == QLatin1String("open already playing")) {
            openFile(service, player, Scale, {.mode = DeviceMode::Playing});
        } else if (action == QLatin1String("click")) {
            QTest::mouseClick(&player, Qt::LeftButton, {}, Inside);
        } else if (action == QLatin1String("space")) {
            QTest::keyClick(&player, Qt::Key_Space);
        } else {
            endNotice(service, player);
        }
        // Closing a device that plays ends its request too.
        deliverNotices();
    };

    // THEN it is in the state the table gives
    QCOMPARE(errorOf(act).has_value(), raises);
    QCOMPARE(stateOf(player), to);
    QCOMPARE(playRequests(service) - playsBefore, plays);
    // A device left behind by a change of file would go on playing.
    QCOMPARE(service.openDevices().size(), std::size_t(to == QLatin1String("Empty") ? 0 : 1));
}

void TestScalePlayer::openAsksInOrder()
{
    FakeMediaService service;
    ScalePlayer player(service);
    openFile(service, player, "Mi Prim.MID");
    service.clearRequests();

    openFile(service, player, Scale);

    QCOMPARE(service.requests(), QStringList({"close 1", "open Mi Harm.MID", "length 2",
                                              "capability 2 CanPlay", "capability 2 CanRecord",
                                              "capability 2 CanEject", "capability 2 HasVideo",
                                              "capability 2 DeviceType", "whereSource 2", "mode 2"}));
    // The source query fails for a MIDI device, but the mode query is recorded after it.
    QCOMPARE(player.LastError(), NoError);
    QCOMPARE(player.OpenDeviceId(), DeviceId(2));

    // A mode query that fails is recorded, and is no reason to grey Play.
    service.setFailure(FakeMediaService::Request::Mode, ErrorSynthesizer);
    player.Open();
    QCOMPARE(player.LastError(), ErrorSynthesizer);
    QVERIFY(player.PlayAvailable());
}

void TestScalePlayer::failingOpen_data()
{
    QTest::addColumn<bool>("fromReady");
    QTest::addColumn<ErrorCode>("missingFileError");
    QTest::addColumn<std::string>("fileName");
    QTest::addColumn<std::string>("message");

    QTest::newRow("missing file") << false << ErrorCode(ErrorFileNotFound) << std::string("Mi Prim.MID")
                                  << std::string("O arquivo \"Mi Prim.MID\" n\xE3o foi encontrado.");
    QTest::newRow("missing file, from Ready") << true << ErrorCode(ErrorFileNotFound) << std::string("Mi Mel.MID")
                                              << std::string("O arquivo \"Mi Mel.MID\" n\xE3o foi encontrado.");
    QTest::newRow("empty name") << false << ErrorCode(ErrorFileNotFound) << std::string()
                                << std::string("Nenhum arquivo foi indicado para abrir.");
    QTest::newRow("code without text") << true << ErrorCode(999) << std::string("Mi Prim.MID")
                                       << std::string("Unknown error code");
}

void TestScalePlayer::failingOpen()
{
    QFETCH(bool, fromReady);
    QFETCH(ErrorCode, missingFileError);
    QFETCH(std::string, fileName);
    QFETCH(std::string, message);

    FakeMediaService service;
    ScalePlayer player(service);
    if (fromReady)
        openFile(service, player, "Sol Prim.MID");
    service.setMissingFileError(missingFileError);
    player.setFileName(fileName);

    QCOMPARE(errorOf([&] { player.Open(); }), message);
    QCOMPARE(stateOf(player), QStringLiteral("Empty"));
    QVERIFY(player.LastError() != NoError);
    QVERIFY(service.openDevices().empty());
}

void TestScalePlayer::refusedCloseInsideOpen_data()
{
    QTest::addColumn<std::string>("nextFile");
    QTest::addColumn<bool>("raises");
    QTest::addColumn<DeviceId>("device");

    QTest::newRow("next file opens") << Scale << false << DeviceId(2);
    QTest::newRow("next file missing") << std::string("Falta.MID") << true << DeviceId(1);
}

void TestScalePlayer::refusedCloseInsideOpen()
{
    QFETCH(std::string, nextFile);
    QFETCH(bool, raises);
    QFETCH(DeviceId, device);

    FakeMediaService service;
    service.addFile(Scale);
    ScalePlayer player(service);
    openFile(service, player, "Sol Mel.MID");
    service.setFailure(FakeMediaService::Request::Close, ErrorSynthesizer);
    service.clearRequests();
    player.setFileName(nextFile);

    QCOMPARE(errorOf([&] { player.Open(); }).has_value(), raises);
    QCOMPARE(service.requests().mid(0, 2), QStringList({"close 1", QString::fromStdString("open " + nextFile)}));
    QCOMPARE(player.OpenDeviceId(), device);
    QVERIFY(player.PlayAvailable());
    QVERIFY(service.openDevices().count(1));
}

void TestScalePlayer::pressMoveRelease_data()
{
    QTest::addColumn<QList<QPoint>>("moves");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<bool>("plays");

    QTest::newRow("stays inside") << QList<QPoint>{Inside} << false << true;
    QTest::newRow("far corner is inside") << QList<QPoint>{{28, 29}} << false << true;
    QTest::newRow("out to the right") << QList<QPoint>{{29, 15}} << false << false;
    QTest::newRow("out below") << QList<QPoint>{{14, 30}} << false << false;
    QTest::newRow("out to the left") << QList<QPoint>{{-1, 15}} << false << false;
    QTest::newRow("out and back in") << QList<QPoint>{{60, 15}, {0, 0}} << false << true;
    QTest::newRow("cancelled by an error box") << QList<QPoint>{Inside} << true << false;
}

void TestScalePlayer::pressMoveRelease()
{
    QFETCH(QList<QPoint>, moves);
    QFETCH(bool, cancelled);
    QFETCH(bool, plays);

    FakeMediaService service;
    ScalePlayer player(service);
    openFile(service, player, Scale);

    QTest::mousePress(&player, Qt::LeftButton, {}, Inside);
    QVERIFY(player.PressInProgress());
    QVERIFY(player.DrawnPressed());
    QCOMPARE(playRequests(service), 0);
    for (const QPoint &point : moves)
        QTest::mouseMove(&player, point);
    if (cancelled) {
        windowing::CancelModeEvent cancel;
        QCoreApplication::sendEvent(&player, &cancel);
        QVERIFY(!player.PressInProgress());
    }
    QCOMPARE(player.DrawnPressed(), plays);
    QTest::mouseRelease(&player, Qt::LeftButton, {}, moves.last());

    QCOMPARE(playRequests(service), plays ? 1 : 0);
    QCOMPARE(player.PlayAvailable(), !plays);
    QVERIFY(!player.PressInProgress());
    QVERIFY(!player.DrawnPressed());
}

void TestScalePlayer::doubleClick_data()
{
    QTest::addColumn<bool>("endsBetweenClicks");
    QTest::addColumn<int>("plays");

    QTest::newRow("second press finds Play greyed") << false << 1;
    QTest::newRow("second press finds Play available") << true << 2;
}

void TestScalePlayer::doubleClick()
{
    QFETCH(bool, endsBetweenClicks);
    QFETCH(int, plays);

    FakeMediaService service;
    ScalePlayer player(service);
    openFile(service, player, Scale);

    QTest::mousePress(&player, Qt::LeftButton, {}, Inside);
    QTest::mouseRelease(&player, Qt::LeftButton, {}, Inside);
    if (endsBetweenClicks) {
        service.finishPlaying(player.OpenDeviceId());
        deliverNotices();
    }
    QTest::mouseDClick(&player, Qt::LeftButton, {}, Inside);
    QTest::mouseRelease(&player, Qt::LeftButton, {}, Inside);

    QCOMPARE(playRequests(service), plays);
    QVERIFY(!player.PlayAvailable());
}

void TestScalePlayer::spaceKey_data()
{
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("autoRepeat");
    QTest::addColumn<bool>("plays");

    QTest::newRow("plain") << int(Qt::NoModifier) << false << true;
    QTest::newRow("auto-repeat") << int(Qt::NoModifier) << true << true;
    QTest::newRow("shift") << int(Qt::ShiftModifier) << false << true;
    QTest::newRow("ctrl") << int(Qt::ControlModifier) << false << true;
    QTest::newRow("shift+ctrl") << int(Qt::ShiftModifier | Qt::ControlModifier) << false << true;
    QTest::newRow("alt is the window's") << int(Qt::AltModifier) << false << false;
}

void TestScalePlayer::spaceKey()
{
    QFETCH(int, modifiers);
    QFETCH(bool, autoRepeat);
    QFETCH(bool, plays);

    FakeMediaService service;
    ScalePlayer player(service);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::KeyboardModifiers(modifiers), QStringLiteral(" "), autoRepeat);

    {
        const FailureRecorder failures;
        QCoreApplication::sendEvent(&player, &space);
        QCOMPARE(failures.messages(), plays ? std::vector<std::string>{"No MCI device open"}
                                            : std::vector<std::string>{});
    }
    QVERIFY(service.requests().isEmpty());

    openFile(service, player, Scale);
    bool drawnPressed = false;
    player.OnPostClick = [&](ScalePlayer *sender, TMPBtnType) { drawnPressed = sender->DrawnPressed(); };
    QCoreApplication::sendEvent(&player, &space);
    QCOMPARE(playRequests(service), plays ? 1 : 0);
    QCOMPARE(player.PlayAvailable(), !plays);
    QVERIFY(!drawnPressed);
}

void TestScalePlayer::refusedPlay_data()
{
    QTest::addColumn<bool>("bySpace");
    QTest::addColumn<ErrorCode>("refusal");
    QTest::addColumn<std::string>("message");
    QTest::addColumn<bool>("available");

    // Without an audio output nothing would be heard, and nothing said: that
    // refusal is shown, and Play stays available for the next try.
    const std::string noOutput = model::latin1("Não há saída de áudio para tocar \"Mi Harm.MID\".");
    QTest::newRow("no audio output, pointer press") << false << ErrorCode(ErrorNoAudioOutput) << noOutput << true;
    QTest::newRow("no audio output, space") << true << ErrorCode(ErrorNoAudioOutput) << noOutput << true;
    // Any other refusal passes silently: after a pointer press Play stays
    // coloured, after Space it greys as it always does.
    QTest::newRow("synthesizer, pointer press") << false << ErrorCode(ErrorSynthesizer) << std::string() << true;
    QTest::newRow("synthesizer, space") << true << ErrorCode(ErrorSynthesizer) << std::string() << false;
}

void TestScalePlayer::refusedPlay()
{
    QFETCH(bool, bySpace);
    QFETCH(ErrorCode, refusal);
    QFETCH(std::string, message);
    QFETCH(bool, available);

    FakeMediaService service;
    ScalePlayer player(service);
    openFile(service, player, Scale);
    service.setFailure(FakeMediaService::Request::Play, refusal);
    const FailureRecorder shown;

    // Two presses, each told on its own.
    for (int press = 1; press <= 2; ++press) {
        if (bySpace)
            QTest::keyClick(&player, Qt::Key_Space);
        else
            QTest::mouseClick(&player, Qt::LeftButton, {}, Inside);

        QCOMPARE(player.LastError(), refusal);
        QCOMPARE(player.PlayAvailable(), available);
        QCOMPARE(service.deviceMode(player.OpenDeviceId()), DeviceMode::Stopped);
        QCOMPARE(shown.messages(), message.empty() ? std::vector<std::string>()
                                                   : std::vector<std::string>(std::size_t(press), message));
    }
}

void TestScalePlayer::completionNotice_data()
{
    QTest::addColumn<bool>("canPlay");
    QTest::addColumn<bool>("ends");
    QTest::addColumn<bool>("modeFails");
    QTest::addColumn<bool>("available");

    QTest::newRow("end of the file") << true << true << false << true;
    QTest::newRow("superseded while playing") << true << false << false << false;
    QTest::newRow("device that cannot play") << false << true << false << false;
    QTest::newRow("mode query fails") << true << true << true << false;
}

void TestScalePlayer::completionNotice()
{
    QFETCH(bool, canPlay);
    QFETCH(bool, ends);
    QFETCH(bool, modeFails);
    QFETCH(bool, available);

    FakeMediaService service;
    ScalePlayer player(service);
    openFile(service, player, Scale, {.canPlay = canPlay});
    QTest::keyClick(&player, Qt::Key_Space);
    QList<ScalePlayer *> notified;
    player.OnNotify = [&](ScalePlayer *sender) { notified << sender; };
    if (modeFails)
        service.setFailure(FakeMediaService::Request::Mode, ErrorSynthesizer);

    if (ends)
        service.finishPlaying(player.OpenDeviceId());
    else
        service.postSuperseded(player.OpenDeviceId());
    QVERIFY(!player.PlayAvailable());
    deliverNotices();

    QCOMPARE(player.PlayAvailable(), available);
    QCOMPARE(notified, QList<ScalePlayer *>{&player});
}

void TestScalePlayer::rewindsAtTheEnd_data()
{
    QTest::addColumn<std::uint32_t>("position");
    QTest::addColumn<bool>("rewinds");

    QTest::newRow("at the end") << std::uint32_t(1000) << true;
    QTest::newRow("in the middle") << std::uint32_t(400) << false;
}

void TestScalePlayer::rewindsAtTheEnd()
{
    QFETCH(std::uint32_t, position);
    QFETCH(bool, rewinds);

    FakeMediaService service;
    ScalePlayer player(service);
    openFile(service, player, Scale, {.length = 1000});
    const DeviceId device = player.OpenDeviceId();
    service.setDevicePosition(device, position);
    service.clearRequests();

    QTest::mouseClick(&player, Qt::LeftButton, {}, Inside);

    const QStringList asked = {"position 1", "length 1", "seekToStart 1", "play 1"};
    QCOMPARE(service.requests(), rewinds ? asked : QStringList({asked[0], asked[1], asked[3]}));
    QCOMPARE(service.devicePosition(device), rewinds ? 0u : position);
}

void TestScalePlayer::hooks_data()
{
    QTest::addColumn<bool>("doDefault");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("default action") << true << QStringList({"OnClick", "play 1", "OnPostClick"});
    QTest::newRow("default refused") << false << QStringList({"OnClick"});
}

void TestScalePlayer::hooks()
{
    QFETCH(bool, doDefault);
    QFETCH(QStringList, calls);

    FakeMediaService service;
    ScalePlayer player(service);
    openFile(service, player, Scale);
    service.clearRequests();
    // Each hook notes the play requests made so far, then itself.
    QStringList seen;
    const auto plays = [&] { return service.requests().filter(QStringLiteral("play ")); };
    player.OnClick = [&](ScalePlayer *sender, TMPBtnType button, bool &DoDefault) {
        QVERIFY(sender == &player && button == btPlay && DoDefault);
        seen << plays() << QStringLiteral("OnClick");
        DoDefault = doDefault;
    };
    player.OnPostClick = [&](ScalePlayer *sender, TMPBtnType button) {
        QVERIFY(sender == &player && button == btPlay);
        seen << plays() << QStringLiteral("OnPostClick");
    };

    QTest::mouseClick(&player, Qt::LeftButton, {}, Inside);
    QCOMPARE(seen, calls);
}

void TestScalePlayer::destructionClosesTheDevice()
{
    FakeMediaService service;
    {
        ScalePlayer idle(service);
    }
    QVERIFY(service.requests().isEmpty());

    {
        ScalePlayer player(service);
        openFile(service, player, Scale);
        QTest::mouseClick(&player, Qt::LeftButton, {}, Inside);
        QCOMPARE(service.deviceMode(player.OpenDeviceId()), DeviceMode::Playing);
    }
    QVERIFY(service.openDevices().empty());
    QCOMPARE(service.requests().last(), QStringLiteral("close 1"));
    // The notice of the play request cut short must not reach the dead player.
    deliverNotices();

    service.setFailure(FakeMediaService::Request::Close, ErrorSynthesizer);
    {
        ScalePlayer player(service);
        openFile(service, player, Scale);
    }
    QCOMPARE(service.requests().last(), QStringLiteral("close 2"));
}

void TestScalePlayer::focusByTabOnly()
{
    FakeMediaService service;
    ArrowNavigatingWindow window;
    auto *layout = new QVBoxLayout(&window);
    auto *before = new QLineEdit;
    auto *player = new ScalePlayer(service);
    auto *after = new QLineEdit;
    layout->addWidget(before);
    layout->addWidget(player);
    layout->addWidget(after);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    openFile(service, *player, Scale);

    before->setFocus();
    QTest::mouseClick(player, Qt::LeftButton, {}, Inside);
    QVERIFY(before->hasFocus());
    QCOMPARE(playRequests(service), 1);

    QTest::keyClick(before, Qt::Key_Tab);
    QVERIFY(player->hasFocus());
    for (const Qt::Key arrow : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}) {
        QTest::keyClick(player, arrow);
        QVERIFY(player->hasFocus());
    }
    QTest::keyClick(player, Qt::Key_Tab);
    QVERIFY(after->hasFocus());
}

void TestScalePlayer::glyphs()
{
    const QImage coloured(QStringLiteral(":/glyphs/CL_MPPLAY.png"));
    const QImage disabled(QStringLiteral(":/glyphs/DI_MPPLAY.png"));
    QCOMPARE(coloured.size(), QSize(17, 16));
    QCOMPARE(disabled.size(), QSize(17, 16));

    // The disabled look is the coloured one without its fill.
    const QRgb green = qRgb(0, 255, 0);
    const QRgb olive = qRgb(128, 128, 0);
    int fill = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 17; ++x) {
            const QRgb pixel = coloured.pixel(x, y);
            fill += pixel == green;
            QCOMPARE(disabled.pixel(x, y), pixel == green ? olive : pixel);
        }
    }
    QVERIFY(fill > 0);
}

// The window scales the player with its text; the player fills whatever
// size it is given, down to the smallest its glyph set allows.
void TestScalePlayer::size_data()
{
    QTest::addColumn<QSize>("given");
    QTest::addColumn<QSize>("size");
    QTest::newRow("designed") << QSize(29, 30) << QSize(29, 30);
    QTest::newRow("scaled up") << QSize(35, 37) << QSize(35, 37);
    QTest::newRow("narrower than the widest glyph") << QSize(23, 23) << QSize(29, 23);
    QTest::newRow("lower than the tallest glyph") << QSize(29, 12) << QSize(29, 20);
}

void TestScalePlayer::size()
{
    QFETCH(QSize, given);
    QFETCH(QSize, size);
    FakeMediaService service;
    QWidget window;
    auto *player = new ScalePlayer(service, &window);
    QCOMPARE(player->size(), QSize(29, 30));
    player->setGeometry(QRect(QPoint(10, 10), given));
    QCOMPARE(player->size(), size);

    // The button covers all of it.
    openFile(service, *player, Scale);
    QTest::mousePress(player, Qt::LeftButton, {}, QPoint(size.width() - 1, size.height() - 1));
    QVERIFY(player->DrawnPressed());
    QTest::mouseMove(player, QPoint(size.width(), size.height() / 2));
    QVERIFY(!player->DrawnPressed());
    QTest::mouseRelease(player, Qt::LeftButton, {}, QPoint(size.width(), size.height() / 2));
}

void TestScalePlayer::glyphPlacement_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("available");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<QString>("glyph");
    QTest::addColumn<QPoint>("origin");

    // Centred by the control's width and height, never resampled.
    const QSize designed(29, 30);
    QTest::newRow("available") << designed << true << false << ":/glyphs/CL_MPPLAY.png" << QPoint(6, 7);
    QTest::newRow("pressed in") << designed << true << true << ":/glyphs/CL_MPPLAY.png" << QPoint(7, 8);
    QTest::newRow("greyed") << designed << false << false << ":/glyphs/DI_MPPLAY.png" << QPoint(6, 7);
    QTest::newRow("scaled up") << QSize(35, 37) << true << false << ":/glyphs/CL_MPPLAY.png" << QPoint(9, 10);
    QTest::newRow("scaled up, pressed in") << QSize(35, 37) << true << true << ":/glyphs/CL_MPPLAY.png"
                                           << QPoint(10, 11);
    QTest::newRow("scaled down") << QSize(29, 23) << false << false << ":/glyphs/DI_MPPLAY.png" << QPoint(6, 3);
}

void TestScalePlayer::glyphPlacement()
{
    QFETCH(QSize, size);
    QFETCH(bool, available);
    QFETCH(bool, pressed);
    QFETCH(QString, glyph);
    QFETCH(QPoint, origin);

    FakeMediaService service;
    ScalePlayer player(service);
    player.resize(size);
    giveDistinctColors(player);
    if (available)
        openFile(service, player, Scale);
    if (pressed)
        QTest::mousePress(&player, Qt::LeftButton, {}, Inside);

    const QImage image = player.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage expected = QImage(glyph).convertToFormat(QImage::Format_RGB32);
    const QRgb olive = qRgb(128, 128, 0);
    const QRgb face = colorOf(SystemColor::BtnFace, player).rgb();
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb want = expected.pixel(x, y) == olive ? face : expected.pixel(x, y);
            QCOMPARE(image.pixel(origin + QPoint(x, y)), want);
        }
    }
    int green = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            QVERIFY(image.pixel(x, y) != olive);
            green += image.pixel(x, y) == qRgb(0, 255, 0);
        }
    }
    QCOMPARE(green > 0, available);
}

// The button's look at any size: a 1-pixel outline; inside it a 1-pixel
// bevel, lit along the top and left and shaded along the bottom and right
// when raised, shaded along the top and left only when pressed in; inside
// that the face; the focus shown as dots on the rectangle 3 pixels in,
// shifted with the glyph when pressed in.
void TestScalePlayer::pixels_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<bool>("focused");

    for (const QSize size : {QSize(29, 30), QSize(35, 37), QSize(29, 23)}) {
        const QByteArray name = QByteArray::number(size.width()) + "x" + QByteArray::number(size.height());
        QTest::newRow(name + ", raised") << size << false << false;
        QTest::newRow(name + ", pressed in") << size << true << false;
        QTest::newRow(name + ", focused") << size << false << true;
        QTest::newRow(name + ", pressed in and focused") << size << true << true;
    }
}

void TestScalePlayer::pixels()
{
    QFETCH(QSize, size);
    QFETCH(bool, pressed);
    QFETCH(bool, focused);

    FakeMediaService service;
    QWidget window;
    auto *player = new ScalePlayer(service, &window);
    player->resize(size);
    giveDistinctColors(*player);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    openFile(service, *player, Scale);
    if (focused)
        player->setFocus(Qt::TabFocusReason);
    else
        player->clearFocus();
    QCOMPARE(player->hasFocus(), focused);
    if (pressed)
        QTest::mousePress(player, Qt::LeftButton, {}, Inside);

    const QImage image = player->grab().toImage();
    QCOMPARE(image.size(), size);
    const QColor frame = colorOf(SystemColor::WindowFrame, *player);
    const QColor lit = colorOf(SystemColor::BtnHighlight, *player);
    const QColor shadow = colorOf(SystemColor::BtnShadow, *player);
    const QColor face = colorOf(SystemColor::BtnFace, *player);
    const QColor dot = QColor::fromRgb(face.rgb() ^ 0x00ffffff);

    const QRect button(QPoint(0, 0), size);
    const QRect bevel = button.adjusted(1, 1, -1, -1);
    const QString outline = edgeMismatch(image, button, frame, frame);
    QVERIFY2(outline.isEmpty(), qPrintable(outline));
    const QString bevelEdge = edgeMismatch(image, bevel, pressed ? shadow : lit, pressed ? face : shadow);
    QVERIFY2(bevelEdge.isEmpty(), qPrintable(bevelEdge));
    // Just inside the bevel's shaded corner: face, where the shifted focus
    // rectangle does not reach.
    if (!focused)
        QCOMPARE(image.pixelColor(bevel.bottomRight() - QPoint(1, 1)), face);

    // Every other pixel of the dotted rectangle's top and bottom is inverted,
    // and none around them; where the glyph crosses them they are not looked at.
    const QPoint shift = pressed ? QPoint(1, 1) : QPoint(0, 0);
    const QRect focusRect = button.adjusted(3, 3, -3, -3).translated(shift);
    const int glyphLeft = size.width() / 2 - 17 / 2 + shift.x();
    int dots = 0;
    for (int x = focusRect.left() - 1; x <= focusRect.right() + 1; ++x) {
        if (x >= glyphLeft && x < glyphLeft + 17)
            continue;
        for (const int y : {focusRect.top() - 1, focusRect.top(), focusRect.bottom(), focusRect.bottom() + 1}) {
            const bool onRect = x >= focusRect.left() && x <= focusRect.right()
                && (y == focusRect.top() || y == focusRect.bottom());
            const QColor pixel = image.pixelColor(x, y);
            if (focused && onRect)
                QVERIFY2(pixel == face || pixel == dot, qPrintable(QStringLiteral("(%1,%2)").arg(x).arg(y)));
            else if (pixel == dot)
                QFAIL(qPrintable(QStringLiteral("a focus dot at (%1,%2)").arg(x).arg(y)));
            dots += pixel == dot;
        }
    }
    QCOMPARE(dots > 0, focused);
    QCOMPARE(image.pixelColor(focusRect.topLeft()), focused ? dot : face);
    QCOMPARE(image.pixelColor(focusRect.topLeft() + QPoint(1, 0)), face);
}

QTEST_MAIN(TestScalePlayer)
#include "tst_scaleplayer.moc"
