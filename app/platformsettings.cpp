#include "app/platformsettings.h"

#include "app/desktopplatform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <mutex>
#include <vector>

namespace quiralto::app {

namespace {

// Any of these means that the user has taken Qt's scaling in hand.
const char *const QtScalingVariables[] = {
    "QT_ENABLE_HIGHDPI_SCALING", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
    "QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_AUTO_SCREEN_SCALE_FACTOR",
};

bool isSet(const QProcessEnvironment &environment, const char *name)
{
    return !environment.value(QString::fromLatin1(name)).isEmpty();
}

// The one line said when there is no desktop to open the window on.
QString noDesktopMessage(const QProcessEnvironment &environment)
{
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (isSet(environment, variable)) {
            return QStringLiteral("quiralto: precisa de um ambiente gráfico, e a tela \"%1\" não pôde ser aberta.")
                .arg(environment.value(QString::fromLatin1(variable)));
        }
    }
    return QStringLiteral("quiralto: precisa de um ambiente gráfico (DISPLAY ou WAYLAND_DISPLAY), e não há nenhum.");
}

// What Qt says while it opens the desktop, held back: if it cannot, its
// lines are advice for a broken installation and would bury the program's
// own.
struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;
};

std::mutex heldMessagesMutex;
std::vector<HeldMessage> heldMessages;

void holdBackWhileOpening(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg) {
        // Qt gives up on the desktop here and would abort next.
        const QByteArray line =
            noDesktopMessage(QProcessEnvironment::systemEnvironment()).toLocal8Bit() + '\n';
        std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
        std::_Exit(1);
    }
    const std::lock_guard lock(heldMessagesMutex);
    heldMessages.push_back({type, QByteArray(context.category), text});
}

} // namespace

QList<PlatformSetting> platformSettings(const QProcessEnvironment &environment)
{
    QList<PlatformSetting> settings;
    if (const std::optional<PlatformSetting> platform = desktopPlatform(environment))
        settings.append(*platform);
    // Qt would enlarge the window by the desktop's resolution a second time,
    // over the scaling the window does itself, and blur its 1-pixel lines
    // and its glyphs doing so.
    const bool userScales = std::any_of(std::begin(QtScalingVariables), std::end(QtScalingVariables),
                                        [&](const char *name) { return isSet(environment, name); });
    if (!userScales)
        settings.append(PlatformSetting("QT_ENABLE_HIGHDPI_SCALING", "0"));
    return settings;
}

void applyPlatformSettings()
{
    for (const auto &[name, value] : platformSettings(QProcessEnvironment::systemEnvironment()))
        qputenv(name.constData(), value);
}

void openDesktop(const std::function<void()> &makeApplication)
{
    const QtMessageHandler previous = qInstallMessageHandler(holdBackWhileOpening);
    makeApplication();
    qInstallMessageHandler(previous);
    const std::lock_guard lock(heldMessagesMutex);
    for (const HeldMessage &message : std::exchange(heldMessages, {}))
        previous(message.type, QMessageLogContext(nullptr, 0, nullptr, message.category.constData()), message.text);
}

} // namespace quiralto::app
