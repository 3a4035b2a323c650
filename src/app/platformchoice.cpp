#include "app/platformchoice.h"

#include <cstring>

namespace app {

QByteArray PreferredPlatform(int argc, char **argv, const std::function<QByteArray(const char *)> &env)
{
    if (!env("QT_QPA_PLATFORM").isEmpty())
        return {};
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            return {};
    const bool wayland = !env("WAYLAND_DISPLAY").isEmpty() || env("XDG_SESSION_TYPE") == "wayland";
    if (!wayland || env("DISPLAY").isEmpty())
        return {};
    return "xcb";
}

void ApplyPreferredPlatform(int argc, char **argv)
{
    const QByteArray platform = PreferredPlatform(argc, argv, [](const char *name) { return qgetenv(name); });
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
}

} // namespace app
