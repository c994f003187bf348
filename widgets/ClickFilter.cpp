#include "widgets/ClickFilter.h"

#include <QMouseEvent>
#include <QWidget>

ClickFilter* ClickFilter::Watch(QWidget* widget) {
    auto* filter = new ClickFilter(widget);
    widget->installEventFilter(filter);
    return filter;
}

bool ClickFilter::eventFilter(QObject* watched, QEvent* event) {
    const auto* mouse = dynamic_cast<QMouseEvent*>(event);
    if (!mouse || mouse->button() != Qt::LeftButton)
        return false;
    if (event->type() == QEvent::MouseButtonPress) {
        pressed_ = true;
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        pressed_ = false;
    } else if (event->type() == QEvent::MouseButtonRelease) {
        // The press grabbed the mouse: the release comes here wherever it is.
        const bool click = pressed_ && static_cast<QWidget*>(watched)->rect().contains(
                                           mouse->position().toPoint());
        pressed_ = false;
        if (click)
            Q_EMIT clicked();
    }
    return false;
}
