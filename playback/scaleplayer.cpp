#include "playback/scaleplayer.h"

#include "playback/mcideviceerror.h"
#include "playback/service/medianotifyevent.h"
#include "windowing/cancelmode.h"
#include "windowing/drawing.h"
#include "windowing/handlerboundary.h"
#include "windowing/systemcolors.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <utility>

namespace quiralto::playback {

namespace {

using windowing::SystemColor;

// Olive marks the pixels through which the button face shows; it is made
// transparent here, once, so that painting needs no mask of its own.
QImage loadGlyph(const QString &path)
{
    QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    const QRgb olive = windowing::systemColor(SystemColor::Olive, QPalette()).rgb();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == olive)
                image.setPixel(x, y, qRgba(0, 0, 0, 0));
        }
    }
    return image;
}

const QImage &playGlyph(bool available)
{
    static const QImage coloured = loadGlyph(QStringLiteral(":/glyphs/CL_MPPLAY.png"));
    static const QImage disabled = loadGlyph(QStringLiteral(":/glyphs/DI_MPPLAY.png"));
    return available ? coloured : disabled;
}

// The control's whole set of glyphs, of which only Play's are shown here,
// fixes how small it may become: the widest glyph of the set (21 pixels)
// plus 8, and the tallest (16) plus 4.
constexpr QSize SmallestSize(21 + 8, 16 + 4);
constexpr QSize DefaultSize(29, 30);

EMCIDeviceError deviceError(const std::optional<std::string> &serviceText)
{
    return EMCIDeviceError(serviceText.value_or("Unknown error code"));
}

} // namespace

ScalePlayer::ScalePlayer(MediaService &service, QWidget *parent)
    : QWidget(parent)
    , m_service(service)
{
    setMinimumSize(SmallestSize);
    resize(DefaultSize);
    // Tab and Shift+Tab reach the player; a click plays without taking the focus.
    setFocusPolicy(Qt::TabFocus);
}

ScalePlayer::~ScalePlayer()
{
    // Closing stops a file that still plays; there is no one left to tell
    // if that fails.
    if (m_openDeviceId != 0)
        m_service.close(m_openDeviceId);
}

QSize ScalePlayer::sizeHint() const
{
    return DefaultSize;
}

QRect ScalePlayer::buttonRect() const
{
    // Play is the only button shown, and it covers the whole control at
    // whatever size the window gives it.
    return rect();
}

void ScalePlayer::Open()
{
    // Whether the old device closes or not, the new file is opened.
    closeDevice();

    DeviceId device = 0;
    if (record(m_service.open(m_fileName, device)) != NoError)
        throw deviceError(m_service.errorText(m_lastError));

    m_openDeviceId = device;
    std::uint32_t length = 0;
    record(m_service.length(device, length));
    // A player asks a new device for everything it can do; with Play the only
    // button shown, whether it can play is the one answer kept.
    m_playCapable = askCapability(Capability::CanPlay) != 0;
    for (const Capability item : {Capability::CanRecord, Capability::CanEject,
                                  Capability::HasVideo, Capability::DeviceType})
        askCapability(item);
    record(m_service.whereSource(device));
    const bool alreadyPlaying = queryMode() == DeviceMode::Playing;
    setPlayAvailable(m_playCapable && !alreadyPlaying);
}

void ScalePlayer::Play()
{
    if (m_openDeviceId == 0)
        throw EMCIDeviceError("No MCI device open");
    if (playedToEnd())
        m_service.seekToStart(m_openDeviceId);
    // A refused play raises nothing, and how Play looks afterwards is the
    // press's business; but without an audio output the user would hear
    // nothing and never learn why, so that refusal is told as an open's is.
    if (record(m_service.play(m_openDeviceId, this)) == ErrorNoAudioOutput)
        throw deviceError(m_service.errorText(m_lastError));
}

void ScalePlayer::closeDevice()
{
    if (m_openDeviceId == 0)
        return;
    if (record(m_service.close(m_openDeviceId)) == NoError) {
        m_openDeviceId = 0;
        setPlayAvailable(false);
    }
}

void ScalePlayer::click()
{
    bool doDefault = true;
    if (OnClick)
        OnClick(this, btPlay, doDefault);
    if (!doDefault)
        return;
    Play();
    if (OnPostClick)
        OnPostClick(this, btPlay);
}

void ScalePlayer::pressSpace()
{
    // Space plays whether or not Play is available, unlike a pointer press:
    // it plays again while the file plays, and it greys Play even when the
    // service refused to play.
    click();
    setPlayAvailable(false);
}

void ScalePlayer::handleCompletionNotice(const MediaNotifyEvent &notice)
{
    // Whatever ended the request, only a stopped device makes Play available:
    // a notice that a newer request superseded this one leaves it greyed.
    if (queryMode() == DeviceMode::Stopped && m_playCapable)
        setPlayAvailable(true);
    if (OnNotify)
        OnNotify(this);
    // A play that the service could not start at once, and then never could,
    // is told as one refused at the press.
    if (notice.error() != NoError) {
        record(notice.error());
        throw deviceError(notice.errorText());
    }
}

void ScalePlayer::cancelPress()
{
    m_pressInProgress = false;
    setDrawnPressed(false);
}

ErrorCode ScalePlayer::record(ErrorCode result)
{
    m_lastError = result;
    return result;
}

std::uint32_t ScalePlayer::askCapability(Capability item)
{
    std::uint32_t answer = 0;
    m_service.capability(m_openDeviceId, item, answer);
    return answer;
}

std::optional<DeviceMode> ScalePlayer::queryMode()
{
    DeviceMode mode = DeviceMode::Stopped;
    if (record(m_service.mode(m_openDeviceId, mode)) != NoError)
        return std::nullopt;
    return mode;
}

bool ScalePlayer::playedToEnd()
{
    std::uint32_t position = 0;
    std::uint32_t length = 0;
    const ErrorCode positionResult = record(m_service.position(m_openDeviceId, position));
    const ErrorCode lengthResult = record(m_service.length(m_openDeviceId, length));
    // Without both answers there is no telling; the file plays on from where it stands.
    return positionResult == NoError && lengthResult == NoError && position == length;
}

void ScalePlayer::setPlayAvailable(bool available)
{
    if (available == m_playAvailable)
        return;
    m_playAvailable = available;
    update();
}

void ScalePlayer::setDrawnPressed(bool pressed)
{
    if (pressed == m_drawnPressed)
        return;
    m_drawnPressed = pressed;
    update();
}

bool ScalePlayer::event(QEvent *event)
{
    if (event->type() == MediaNotifyEvent::eventType()) {
        windowing::guarded([this, event] { handleCompletionNotice(*static_cast<MediaNotifyEvent *>(event)); });
        return true;
    }
    if (event->type() == windowing::CancelModeEvent::eventType()) {
        cancelPress();
        return true;
    }
    return QWidget::event(event);
}

void ScalePlayer::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const auto color = [this](SystemColor name) { return windowing::systemColor(name, palette()); };
    const QRect button = buttonRect();
    const QRect bevel = button.adjusted(1, 1, -1, -1);

    painter.fillRect(button, color(SystemColor::BtnFace));
    windowing::drawEdge(painter, button, color(SystemColor::WindowFrame), color(SystemColor::WindowFrame));
    // Pressed in, the button keeps only a shadow along its top and left.
    if (m_drawnPressed)
        windowing::drawEdge(painter, bevel, color(SystemColor::BtnShadow), color(SystemColor::BtnFace));
    else
        windowing::drawEdge(painter, bevel, color(SystemColor::BtnHighlight), color(SystemColor::BtnShadow));

    const QPoint pressedShift = m_drawnPressed ? QPoint(1, 1) : QPoint(0, 0);
    const QImage &glyph = playGlyph(m_playAvailable);
    const QPoint glyphOrigin(button.width() / 2 - glyph.width() / 2,
                             button.height() / 2 - glyph.height() / 2);
    painter.drawImage(glyphOrigin + pressedShift, glyph);

    if (hasFocus())
        windowing::drawFocusRect(painter, button.adjusted(3, 3, -3, -3).translated(pressedShift));
}

void ScalePlayer::mousePressEvent(QMouseEvent *event)
{
    // The second press of a double-click comes here as well, through
    // QWidget::mouseDoubleClickEvent, and counts as another press.
    if (event->button() != Qt::LeftButton || !m_playAvailable) {
        QWidget::mousePressEvent(event);
        return;
    }
    // Qt holds the pointer for the pressed widget until the release, so the
    // moves and the release come here even from outside the button.
    m_pressInProgress = true;
    setDrawnPressed(true);
}

void ScalePlayer::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressInProgress) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    setDrawnPressed(buttonRect().contains(event->position().toPoint()));
}

void ScalePlayer::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    // The press ends before its action runs, so that an error escaping the
    // action leaves no press half done behind it.
    const bool wasPressing = std::exchange(m_pressInProgress, false);
    if (!wasPressing || !m_drawnPressed)
        return;
    setDrawnPressed(false);
    windowing::guarded([this] {
        click();
        if (m_lastError == NoError && m_openDeviceId != 0)
            setPlayAvailable(false);
    });
}

void ScalePlayer::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        if (event->modifiers() & (Qt::AltModifier | Qt::MetaModifier))
            break;
        windowing::guarded([this] { pressSpace(); });
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        // With Play the only button shown, the arrows have nowhere to go;
        // keeping them here stops them from moving the focus out of the player.
        return;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

} // namespace quiralto::playback
