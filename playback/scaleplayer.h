#pragma once

#include "playback/service/mediaservice.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quiralto::playback {

/// The button kinds of a player. Only btPlay is ever shown or pressed here;
/// the others name what the hooks could be told about.
enum TMPBtnType { btPlay, btPause, btStop, btNext, btPrev, btStep, btBack, btRecord, btEject };

class MediaNotifyEvent;
class ScalePlayer;

using EMPNotify = std::function<void(ScalePlayer *Sender, TMPBtnType Button, bool &DoDefault)>;
using EMPPostNotify = std::function<void(ScalePlayer *Sender, TMPBtnType Button)>;
using TNotifyEvent = std::function<void(ScalePlayer *Sender)>;

/// A one-button player: a Play button that plays FileName through the
/// media service, greys while the file plays and comes back at its end.
/// Its event code runs what can fail (the service's requests, the hooks)
/// through the handler boundary; the rest only draws and tracks the press.
class ScalePlayer : public QWidget
{
    Q_OBJECT

public:
    /// \a service must outlive the player.
    explicit ScalePlayer(MediaService &service, QWidget *parent = nullptr);
    ~ScalePlayer() override;

    QSize sizeHint() const override;

    const std::string &FileName() const { return m_fileName; }
    void setFileName(const std::string &fileName) { m_fileName = fileName; }

    /// Closes the open device, if any, and opens FileName. Throws
    /// EMCIDeviceError when the service refuses the file.
    void Open();

    /// Plays the open device from where it stands, from the start once it has
    /// played to its end. Throws EMCIDeviceError when no device is open, or
    /// when the service has no audio output to play on.
    void Play();

    std::uint16_t OpenDeviceId() const { return m_openDeviceId; }
    std::uint32_t LastError() const { return m_lastError; }
    bool PlayCapable() const { return m_playCapable; }
    bool PlayAvailable() const { return m_playAvailable; }
    bool PressInProgress() const { return m_pressInProgress; }
    bool DrawnPressed() const { return m_drawnPressed; }

    // Called around every press (OnClick may clear DoDefault to skip Play)
    // and after each completion notice; the player needs none of them.
    EMPNotify OnClick;
    EMPPostNotify OnPostClick;
    TNotifyEvent OnNotify;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QRect buttonRect() const;

    void closeDevice();
    void click();
    void pressSpace();
    void handleCompletionNotice(const MediaNotifyEvent &notice);
    void cancelPress();

    ErrorCode record(ErrorCode result);
    std::uint32_t askCapability(Capability item);
    std::optional<DeviceMode> queryMode();
    bool playedToEnd();
    void setPlayAvailable(bool available);
    void setDrawnPressed(bool pressed);

    MediaService &m_service;
    std::string m_fileName;
    DeviceId m_openDeviceId = 0;
    std::uint32_t m_lastError = NoError;
    bool m_playCapable = false;
    bool m_playAvailable = false;
    bool m_pressInProgress = false;
    bool m_drawnPressed = false;
};

} // namespace quiralto::playback
