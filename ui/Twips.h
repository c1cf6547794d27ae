#pragma once
// The windows' layouts are kept in twips, as they were measured; Qt's device-independent
// pixels are 15 twips each.

#include <QRect>
#include <QtGlobal>

namespace norvane::ui {

inline int twips(int value) { return qRound(value / 15.0); }

inline QRect twipsRect(int left, int top, int width, int height) {
    return {twips(left), twips(top), twips(width), twips(height)};
}

}  // namespace norvane::ui
