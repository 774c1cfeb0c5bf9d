// Window places kept in the settings in twips, and the topmost switch.
#pragma once

#include <QWidget>
#include <cstdint>

namespace celaris::windows {

// Moves the window to (x, y) twips and back onto its screen.
void PlaceWindow(QWidget* w, int16_t xTwips, int16_t yTwips);
// Remembers the window's left and top in twips.
void RememberWindowPlace(const QWidget* w, int16_t& xTwips, int16_t& yTwips);
// KeepOnScreen for a shown window.
void KeepWindowOnScreen(QWidget* w);
// Keeps the window above the others, or not; a shown window stays shown.
void SetTopmost(QWidget* w, bool on);

}  // namespace celaris::windows
