#include "Style.h"

#include "Twips.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>
#include <qdrawutil.h>

namespace norvane::ui {

namespace {

// Height of the tab row, so every page's controls lie below the tabs.
constexpr int TabRowTwips = 295;

// One of a style's standard icons, made only when it is first drawn or measured.
class DeferredStandardIcon : public QIconEngine {
public:
    DeferredStandardIcon(QStyle* style, QStyle::StandardPixmap which) : m_style(style), m_which(which) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return icon().isNull(); }
    QIconEngine* clone() const override { return new DeferredStandardIcon(m_style, m_which); }

private:
    const QIcon& icon() {
        if (!m_made && m_style)
            m_icon = m_style->standardIcon(m_which);
        m_made = true;
        return m_icon;
    }

    QPointer<QStyle> m_style;
    QStyle::StandardPixmap m_which;
    QIcon m_icon;
    bool m_made = false;
};

// The application's own style, brought to the measures the window was drawn for: "*" for
// every character of a password, check boxes and tabs as compact as the layout expects,
// and frame captions in the frame's own font rather than a bold one.
class WindowStyle : public QProxyStyle {
public:
    // Over the platform's own style, as the application would have had it.
    WindowStyle() = default;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight: return 13;
        case PM_CheckBoxLabelSpacing: return 3;
        case PM_TabBarTabHSpace: return 14;
        default: return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

    // The menu bar makes the icon of its overflow button at once, reading three picture
    // files through the image plugins, for a button that shows only when the menus do not
    // fit the bar; the icon is made when it is first drawn instead.
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const override {
        if (which == SP_ToolBarHorizontalExtensionButton && !option)
            return QIcon(new DeferredStandardIcon(baseStyle(), which));
        return QProxyStyle::standardIcon(which, option, widget);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
                           const QWidget* widget) const override {
        QSize size = QProxyStyle::sizeFromContents(type, option, contents, widget);
        if (type == CT_TabBarTab)
            size.setHeight(twips(TabRowTwips));
        return size;
    }

    // A frame's line runs through the middle of its caption, which sits near its left end,
    // so the frame's children have its whole height below the caption.
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || !box)
            return QProxyStyle::subControlRect(control, option, part, widget);
        const int textHeight = box->fontMetrics.height();
        switch (part) {
        case SC_GroupBoxFrame: return box->rect.adjusted(0, box->text.isEmpty() ? 0 : textHeight / 2, 0, 0);
        case SC_GroupBoxLabel:
            if (box->text.isEmpty())
                return {};
            return {box->rect.left() + 6, box->rect.top(), box->fontMetrics.horizontalAdvance(box->text) + 4,
                    textHeight};
        case SC_GroupBoxContents: return box->rect.adjusted(1, box->text.isEmpty() ? 1 : textHeight, -1, -1);
        default: return QProxyStyle::subControlRect(control, option, part, widget);
        }
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || !box) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const QRect label =
            box->text.isEmpty() ? QRect() : subControlRect(CC_GroupBox, option, SC_GroupBoxLabel, widget);
        if (box->subControls & SC_GroupBoxFrame) {
            // An etched line, broken where the caption sits.
            painter->save();
            painter->setClipRegion(QRegion(box->rect).subtracted(QRegion(label)));
            qDrawShadeRect(painter, subControlRect(CC_GroupBox, option, SC_GroupBoxFrame, widget), box->palette, true);
            painter->restore();
        }
        if ((box->subControls & SC_GroupBoxLabel) && !label.isEmpty()) {
            drawItemText(painter, label.adjusted(2, 0, -2, 0), Qt::TextShowMnemonic | Qt::AlignLeft | Qt::AlignVCenter,
                         box->palette, box->state & State_Enabled, box->text, QPalette::WindowText);
        }
    }
};

}  // namespace

// One style for every window, set before the first widget is made: each widget then
// starts in it, where setting it on every widget afterwards would polish each one twice.
void UseWindowStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        style = new WindowStyle;
        QApplication::setStyle(style);
    }
}

}  // namespace norvane::ui
