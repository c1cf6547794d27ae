#include "Captions.h"

#include <QCheckBox>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QStyle>
#include <QStyleOption>

#include <cmath>

namespace norvane::ui {

namespace {

// Where a check box draws its caption.
QRect captionArea(const QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
}

// Whether a caption shows whole in its control, set in the given font: the width of a
// one-line caption, the height of a word-wrapped one.
bool captionFits(const QWidget* control, const QFont& font) {
    if (const auto* box = qobject_cast<const QCheckBox*>(control))
        return QFontMetrics(font).horizontalAdvance(box->text()) <= captionArea(box).width();
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        const QRect area = label->contentsRect();
        // One line needs only its advance, rounded up as a laid-out line is; only a
        // wrapped caption is laid out.
        if (!label->wordWrap())
            return std::ceil(QFontMetricsF(font).horizontalAdvance(label->text())) <= area.width();
        const QRect needed = QFontMetrics(font).boundingRect(QRect(0, 0, area.width(), 1 << 16),
                                                             Qt::TextWordWrap | label->alignment(), label->text());
        return needed.width() <= area.width() && needed.height() <= area.height();
    }
    return true;
}

QString captionOf(const QWidget* control) {
    if (const auto* box = qobject_cast<const QCheckBox*>(control))
        return box->text();
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    return {};
}

// The room a caption has as one line, against the width it needs as one line: a
// word-wrapped label gives it its width once for every line it holds.
qreal captionRoom(const QWidget* control, const QFontMetricsF& metrics) {
    if (const auto* box = qobject_cast<const QCheckBox*>(control))
        return captionArea(box).width();
    const auto* label = static_cast<const QLabel*>(control);
    const QRect area = label->contentsRect();
    return (label->wordWrap() ? qMax(1.0, std::floor(area.height() / metrics.lineSpacing())) : 1.0) * area.width();
}

// The substitute fonts run a little wider than the ones the layout was drawn with. A
// caption that would be clipped has its letters set a little closer first: it keeps its
// size, and no other font is loaded. Only one that needs more is set smaller, in quarter
// points, its size reckoned in one step, so only that size (or, where hinting or
// wrapping costs a little more room, the next below it) is ever loaded.
}  // namespace

void FitCaption(QWidget* control) {
    constexpr qreal Smallest = 6.0;      // points
    constexpr qreal SpacingStep = 0.05;  // pixels between letters
    constexpr int SpacingSteps = 8;      // at most 0.4 pixels closer
    QFont font = control->font();
    if (captionFits(control, font))
        return;
    const QString caption = captionOf(control);
    const QFontMetricsF metrics(font);
    const qreal room = captionRoom(control, metrics);
    const qreal needed = qMax(1.0, metrics.horizontalAdvance(caption));

    const qreal letters = qMax<qsizetype>(1, caption.size());
    for (int step = qMax(1, int(std::ceil((needed - room) / letters / SpacingStep))); step <= SpacingSteps; ++step) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, -step * SpacingStep);
        if (captionFits(control, font)) {
            control->setFont(font);
            return;
        }
    }
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0);

    const qreal size = font.pointSizeF();
    qreal fitted = qBound(Smallest, std::ceil(size * qMin(1.0, room / needed) * 4) / 4, size - 0.25);
    for (;;) {
        font.setPointSizeF(fitted);
        if (fitted <= Smallest || captionFits(control, font))
            break;
        fitted -= 0.25;
    }
    control->setFont(font);
}

namespace {

class PageFitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            for (QWidget* widget : static_cast<QWidget*>(watched)->findChildren<QWidget*>())
                FitCaption(widget);
            deleteLater();
        }
        return false;
    }
};

}  // namespace

void FitCaptionsWhenShown(QWidget* page) { page->installEventFilter(new PageFitter(page)); }

}  // namespace norvane::ui
