// What assistive technology gets from a readout: a window's accessible tree
// walked as a screen reader walks it, and the name of the object whose
// description is the readout's caption (nullopt when there is none).
#pragma once

#include <QAccessible>
#include <QWidget>
#include <optional>

namespace testsupport {

inline std::optional<QString> FindAccessibleReadout(QAccessibleInterface *node, const QString &caption)
{
    if (!node || !node->isValid())
        return std::nullopt;
    if (node->text(QAccessible::Description) == caption)
        return node->text(QAccessible::Name);
    for (int i = 0; i < node->childCount(); ++i)
        if (std::optional<QString> found = FindAccessibleReadout(node->child(i), caption))
            return found;
    return std::nullopt;
}

inline std::optional<QString> AccessibleReadout(QWidget *window, const QString &caption)
{
    return FindAccessibleReadout(QAccessible::queryAccessibleInterface(window), caption);
}

} // namespace testsupport
