#pragma once
// The program's fonts. Liberation Sans, Serif and Mono have the metrics of MS Sans
// Serif/Arial, Times New Roman and Courier New, so captions fit where the layout puts
// them; the original families stay behind them where a machine has those.

#include <QApplication>
#include <QFont>
#include <QString>

namespace norvane::ui {

inline QFont SansFont(qreal points, bool bold = false) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("MS Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

inline QFont SerifFont(qreal points, bool bold) {
    QFont font(QStringLiteral("Liberation Serif"));
    font.setFamilies({QStringLiteral("Liberation Serif"), QStringLiteral("Times New Roman")});
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The file editors' face; any fixed-pitch one will do without Liberation Mono.
inline QFont FixedFont(qreal points) {
    QFont font(QStringLiteral("Liberation Mono"));
    font.setFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("Courier New")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(points);
    return font;
}

// Everything no control names a font for (menus, message boxes, the controls that take
// the window's font) is drawn in MS Sans Serif's successor. A machine's own default face
// may be anything, a monospaced one included.
inline void UseApplicationFont() { QApplication::setFont(SansFont(8.25)); }

}  // namespace norvane::ui
