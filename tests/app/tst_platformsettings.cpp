#include "app/platformsettings.h"

#include <QTest>

using quiralto::app::platformSettings;
using quiralto::app::PlatformSetting;

using Settings = QList<PlatformSetting>;
Q_DECLARE_METATYPE(Settings)

// What the program tells Qt before it starts, for the environments a
// desktop starts it in. The end-to-end tests start it on X11 and Wayland
// for real; these rows are the user's own choices, which they do not try.
class TestPlatformSettings : public QObject
{
    Q_OBJECT

private slots:
    void settings_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<Settings>("settings");

        // On Windows an X display set for other programs changes nothing:
        // the desktop is Windows' own.
        const Settings x11First =
            QUIRALTO_DESKTOP_X11 ? Settings{PlatformSetting("QT_QPA_PLATFORM", "xcb;wayland")} : Settings{};
        const PlatformSetting noQtScaling{"QT_ENABLE_HIGHDPI_SCALING", "0"};
        QTest::newRow("X11 desktop") << QStringList{"DISPLAY=:0"} << x11First + Settings{noQtScaling};
        QTest::newRow("Wayland desktop with XWayland")
            << QStringList{"DISPLAY=:0", "WAYLAND_DISPLAY=wayland-0", "XDG_SESSION_TYPE=wayland"}
            << x11First + Settings{noQtScaling};
        QTest::newRow("Wayland without X") << QStringList{"WAYLAND_DISPLAY=wayland-0"} << Settings{noQtScaling};
        QTest::newRow("empty DISPLAY is none") << QStringList{"DISPLAY=", "WAYLAND_DISPLAY=wayland-0"}
                                               << Settings{noQtScaling};
        QTest::newRow("platform chosen by the user")
            << QStringList{"DISPLAY=:0", "WAYLAND_DISPLAY=wayland-0", "QT_QPA_PLATFORM=wayland"}
            << Settings{noQtScaling};
        QTest::newRow("an empty choice is none") << QStringList{"DISPLAY=:0", "QT_QPA_PLATFORM="}
                                                 << x11First + Settings{noQtScaling};
        for (const char *variable : {"QT_ENABLE_HIGHDPI_SCALING=1", "QT_SCALE_FACTOR=1.5",
                                     "QT_SCREEN_SCALE_FACTORS=2", "QT_SCALE_FACTOR_ROUNDING_POLICY=Round",
                                     "QT_AUTO_SCREEN_SCALE_FACTOR=1"})
            QTest::newRow(variable) << QStringList{"DISPLAY=:0", variable} << x11First;
    }

    void settings()
    {
        QFETCH(QStringList, environment);
        QProcessEnvironment started;
        for (const QString &entry : environment)
            started.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
        QTEST(platformSettings(started), "settings");
    }
};

QTEST_APPLESS_MAIN(TestPlatformSettings)
#include "tst_platformsettings.moc"
