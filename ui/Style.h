#pragma once
// The application's own style over the platform's: the measures the windows' layouts
// were made for.

namespace norvane::ui {

// Sets it for the whole application, once; call before the first widget is made.
void UseWindowStyle();

}  // namespace norvane::ui
