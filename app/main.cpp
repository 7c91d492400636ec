#include "app/application.h"
#include "app/platformsettings.h"
#include "playback/service/fluidsynthservice.h"
#include "ui/accessibility.h"
#include "ui/tform1.h"
#include "ui/tooltipservice.h"
#include "windowing/handlerboundary.h"

#include <optional>

int main(int argc, char **argv)
{
    quiralto::app::applyPlatformSettings();
    std::optional<quiralto::app::Application> application;
    quiralto::app::openDesktop([&] { application.emplace(argc, argv); });
    quiralto::ui::installAccessibility();
    // The service outlives the window: the players close their devices when
    // the window is destroyed.
    quiralto::playback::FluidSynthService playbackService;
    playbackService.setHandlerGuard([](const std::function<void()> &handler) { quiralto::windowing::guarded(handler); });
    quiralto::ui::TForm1 Form1(playbackService);
    Form1.FormCreate();
    // Gone before the window, as the program ends: no tooltip outlives it.
    quiralto::ui::TooltipService tooltips(*application);
    Form1.show();
    return application->exec();
}
