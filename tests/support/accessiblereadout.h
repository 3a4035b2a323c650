// What assistive technology gets from a readout: the accessible tree of a
// window walked as a screen reader walks it, and the name of the object
// whose description is the readout's caption.
#pragma once

#include <QAccessible>
#include <QString>
#include <QWidget>
#include <optional>

namespace testsupport {

inline std::optional<QString> FindAccessibleReadout(QAccessibleInterface *node, const QString &caption, int depth = 0)
{
    if (!node || !node->isValid() || depth > 32)
        return std::nullopt;
    if (node->text(QAccessible::Description) == caption)
        return node->text(QAccessible::Name);
    for (int i = 0; i < node->childCount(); ++i)
        if (std::optional<QString> found = FindAccessibleReadout(node->child(i), caption, depth + 1))
            return found;
    return std::nullopt;
}

// The value the readout captioned `caption` in `window` exposes; nullopt
// when no object in the window carries that caption.
inline std::optional<QString> AccessibleReadout(QWidget *window, const QString &caption)
{
    return FindAccessibleReadout(QAccessible::queryAccessibleInterface(window), caption);
}

} // namespace testsupport
