#include "model/latin1.h"
#include "playback/mcideviceerror.h"
#include "playback/service/medianotifyevent.h"
#include "playback/scaleplayer.h"
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

void TestScalePlayer::glyphPlacement_data()
{
    QTest::addColumn<bool>("available");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<QString>("glyph");
    QTest::addColumn<QPoint>("origin");

    QTest::newRow("available") << true << false << ":/glyphs/CL_MPPLAY.png" << QPoint(6, 7);
    QTest::newRow("pressed in") << true << true << ":/glyphs/CL_MPPLAY.png" << QPoint(7, 8);
    QTest::newRow("greyed") << false << false << ":/glyphs/DI_MPPLAY.png" << QPoint(6, 7);
}

void TestScalePlayer::glyphPlacement()
{
    QFETCH(bool, available);
    QFETCH(bool, pressed);
    QFETCH(QString, glyph);
    QFETCH(QPoint, origin);

    FakeMediaService service;
    ScalePlayer player(service);
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

void TestScalePlayer::pixels_data()
{
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<int>("color");

    const auto row = [](const char *name, bool pressed, bool focused, QPoint pixel, int color) {
        QTest::newRow(name) << pressed << focused << pixel << color;
    };
    const int frame = int(SystemColor::WindowFrame);
    const int lit = int(SystemColor::BtnHighlight);
    const int shadow = int(SystemColor::BtnShadow);
    const int face = int(SystemColor::BtnFace);
    row("outline top left", false, false, {0, 0}, frame);
    row("outline bottom right", false, false, {28, 29}, frame);
    row("outline beside the lit edge's end", false, false, {28, 1}, frame);
    row("lit edge, top left", false, false, {1, 1}, lit);
    row("lit edge, first point", false, false, {1, 28}, lit);
    row("lit edge, last covered", false, false, {27, 1}, lit);
    row("shadow, first point", false, false, {2, 28}, shadow);
    row("shadow, corner", false, false, {27, 28}, shadow);
    row("shadow, last covered", false, false, {27, 2}, shadow);
    row("face inside the shadow", false, false, {26, 27}, face);
    row("pressed, top left", true, false, {1, 1}, shadow);
    row("pressed, first point", true, false, {1, 28}, shadow);
    row("pressed, last covered", true, false, {27, 1}, shadow);
    row("pressed, no lower shadow", true, false, {27, 28}, face);
    row("pressed, no right shadow", true, false, {27, 2}, face);
    row("pressed, outline", true, false, {28, 1}, frame);
    row("no focus, no dots", false, false, {3, 3}, face);
    row("focus, top left dot", false, true, {3, 3}, InvertedFace);
    row("focus, gap between dots", false, true, {4, 3}, face);
    row("focus, top right dot", false, true, {25, 3}, InvertedFace);
    row("focus, bottom right dot", false, true, {24, 26}, InvertedFace);
    row("focus, outside", false, true, {26, 3}, face);
    row("focus shifted, top left dot", true, true, {4, 4}, InvertedFace);
    row("focus shifted, bottom right dot", true, true, {26, 26}, InvertedFace);
    row("focus shifted, old corner bare", true, true, {3, 3}, face);
}

void TestScalePlayer::pixels()
{
    QFETCH(bool, pressed);
    QFETCH(bool, focused);
    QFETCH(QPoint, pixel);
    QFETCH(int, color);

    FakeMediaService service;
    QWidget window;
    auto *player = new ScalePlayer(service, &window);
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
    QCOMPARE(image.size(), QSize(29, 30));
    const QColor face = colorOf(SystemColor::BtnFace, *player);
    // The focus dots invert what lies under them.
    const QColor expected = color == InvertedFace ? QColor::fromRgb(face.rgb() ^ 0x00ffffff)
                                                  : colorOf(SystemColor(color), *player);
    QCOMPARE(image.pixelColor(pixel), expected);
}

QTEST_MAIN(TestScalePlayer)
#include "tst_scaleplayer.moc"
