// The X11 preference on Wayland sessions, and that a user's choice stands.
#include "app/platformchoice.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

QByteArray choose(std::map<std::string, QByteArray> env, std::vector<const char *> args = {"sonalyx"})
{
    return app::PreferredPlatform(int(args.size()), const_cast<char **>(args.data()),
                                  [&](const char *name) { return env[name]; });
}

} // namespace

TEST(PlatformChoice, WaylandWithXWaylandRunsOnX11UnlessTheUserChose)
{
    EXPECT_EQ(choose({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}), "xcb");
    EXPECT_EQ(choose({{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}}), "xcb");
    // The user's choice, by variable or argument, is left alone.
    EXPECT_EQ(choose({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}}), "");
    EXPECT_EQ(choose({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}, {"sonalyx", "-platform", "wayland"}), "");
    // Without XWayland there is no X11 to prefer; on X11 nothing changes.
    EXPECT_EQ(choose({{"WAYLAND_DISPLAY", "wayland-0"}}), "");
    EXPECT_EQ(choose({{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}), "");
}
