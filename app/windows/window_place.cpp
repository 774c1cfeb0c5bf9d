#include "window_place.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "window_rules.h"

namespace celaris::windows {

using models::kTwipsPerPixel;

namespace {
QSize ScreenSize(const QWidget* w) {
    const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry().size() : QSize(1024, 768);
}
int16_t ToTwips(int px) {
    return static_cast<int16_t>(std::clamp(px * kTwipsPerPixel, 0, 32767));
}
}  // namespace

void PlaceWindow(QWidget* w, int16_t xTwips, int16_t yTwips) {
    const QSize screen = ScreenSize(w);
    const QSize size = w->frameGeometry().size().expandedTo(w->sizeHint());
    const auto r = models::KeepOnScreen(
        {yTwips, xTwips, size.height() * kTwipsPerPixel, size.width() * kTwipsPerPixel},
        screen.width(), screen.height());
    w->move(r.left / kTwipsPerPixel, r.top / kTwipsPerPixel);
}

void RememberWindowPlace(const QWidget* w, int16_t& xTwips, int16_t& yTwips) {
    xTwips = ToTwips(w->x());
    yTwips = ToTwips(w->y());
}

void KeepWindowOnScreen(QWidget* w) {
    const QSize screen = ScreenSize(w);
    const QRect g = w->frameGeometry();
    const auto r = models::KeepOnScreen({g.top() * kTwipsPerPixel, g.left() * kTwipsPerPixel,
                                         g.height() * kTwipsPerPixel, g.width() * kTwipsPerPixel},
                                        screen.width(), screen.height());
    if (r.left / kTwipsPerPixel != g.left() || r.top / kTwipsPerPixel != g.top())
        w->move(r.left / kTwipsPerPixel, r.top / kTwipsPerPixel);
}

void SetTopmost(QWidget* w, bool on) {
    if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
    const bool visible = w->isVisible();
    w->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) w->show();
}

}  // namespace celaris::windows
