#include "app/platformsettings.h"

#include "app/desktopplatform.h"

#include <QScopeGuard>

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

// What Qt says while it opens the desktop, held back: if it cannot, its
// lines are advice for a broken installation and would bury the program's
// own.
struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;

    QMessageLogContext context() const
    {
        return {nullptr, 0, nullptr, category.isNull() ? nullptr : category.constData()};
    }
};

std::mutex heldMessagesMutex;
std::vector<HeldMessage> heldMessages;

// Each display variable, with what Qt says when the display it names cannot
// be reached.
struct DisplayVariable
{
    const char *name;
    QLatin1String unreachable;
};

const DisplayVariable DisplayVariables[] = {
    {"DISPLAY", QLatin1String("could not connect to display")},
    {"WAYLAND_DISPLAY", QLatin1String("Failed to create wl_display")},
};

bool qtSaid(QLatin1String words)
{
    return std::any_of(heldMessages.begin(), heldMessages.end(),
                       [&](const HeldMessage &message) { return message.text.contains(words); });
}

// What the program says when Qt gives up on the desktop with \a fatal. The
// display is blamed only where Qt could not reach it: a platform plugin
// that is missing or broken is not mended by another display, so then Qt's
// own account follows the program's line. Under heldMessagesMutex.
QString noDesktopMessage(const QProcessEnvironment &environment, const QString &fatal)
{
    bool displayNamed = false;
    for (const auto &[variable, unreachable] : DisplayVariables) {
        if (!isSet(environment, variable))
            continue;
        displayNamed = true;
        if (qtSaid(unreachable)) {
            return QStringLiteral("quiralto: precisa de um ambiente gráfico, e a tela \"%1\" não pôde ser aberta.\n")
                .arg(environment.value(QString::fromLatin1(variable)));
        }
    }
    if (!displayNamed && std::any_of(std::begin(DisplayVariables), std::end(DisplayVariables),
                                     [](const DisplayVariable &display) { return qtSaid(display.unreachable); }))
        return QStringLiteral("quiralto: precisa de um ambiente gráfico (DISPLAY ou WAYLAND_DISPLAY), e não há nenhum.\n");
    QString account = QStringLiteral("quiralto: o ambiente gráfico não pôde ser iniciado.\n");
    for (const HeldMessage &message : heldMessages)
        account += qFormatLogMessage(message.type, message.context(), message.text) + u'\n';
    return account + fatal.trimmed() + u'\n';
}

void holdBackWhileOpening(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const std::lock_guard lock(heldMessagesMutex);
    if (type == QtFatalMsg) {
        // Qt gives up on the desktop here and would abort next.
        const QByteArray said = noDesktopMessage(QProcessEnvironment::systemEnvironment(), text).toLocal8Bit();
        std::fwrite(said.constData(), 1, std::size_t(said.size()), stderr);
        std::_Exit(1);
    }
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
    // Also when making the application throws: Qt's lines then still reach
    // the handler they were meant for.
    const auto handOn = qScopeGuard([previous] {
        qInstallMessageHandler(previous);
        const std::lock_guard lock(heldMessagesMutex);
        for (const HeldMessage &message : std::exchange(heldMessages, {}))
            previous(message.type, message.context(), message.text);
    });
    makeApplication();
}

} // namespace quiralto::app
