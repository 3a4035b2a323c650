// The windowing platform the program asks Qt for. Window placement (the
// generator docked onto the sweep page, the oscilloscope beside the main
// window, stored window positions) needs X11: Wayland lets no program place
// its own windows. On a Wayland session with XWayland the program therefore
// runs on X11, unless the user chose a platform.
#pragma once

#include <QByteArray>
#include <functional>

namespace app {

// "xcb" when the session is Wayland (WAYLAND_DISPLAY set, or
// XDG_SESSION_TYPE "wayland"), an X display is at hand (DISPLAY set) and the
// user chose no platform (QT_QPA_PLATFORM empty and no -platform argument);
// empty otherwise, leaving the choice to Qt. `env` reads a variable.
QByteArray PreferredPlatform(int argc, char **argv, const std::function<QByteArray(const char *)> &env);

// Applies the choice for this process; call before QApplication exists.
void ApplyPreferredPlatform(int argc, char **argv);

} // namespace app
