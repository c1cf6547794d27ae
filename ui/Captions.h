#pragma once
// Captions of check boxes and labels brought into the room their layout gives them, when
// the substitute fonts run wider than the ones the layout was measured with.

class QWidget;

namespace norvane::ui {

// Letters set a little closer first; only a caption that needs more is set smaller.
// Other controls are left alone.
void FitCaption(QWidget* control);
// Fits the captions of a page's controls when the page is first shown, before it is
// painted: a page the operator never opens is never measured, nor a size its captions
// alone use loaded.
void FitCaptionsWhenShown(QWidget* page);

}  // namespace norvane::ui
