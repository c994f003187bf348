#include "widgets/AlphaImageControl.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>

namespace {

// To a screen reader an image with a name is the button it looks like, with
// a press action; one without is a picture.
class AccessibleImage : public QAccessibleWidget {
public:
    explicit AccessibleImage(AlphaImageControl* image)
        : QAccessibleWidget(image, QAccessible::Graphic) {}

    QAccessible::Role role() const override {
        return widget()->accessibleName().isEmpty() ? QAccessible::Graphic : QAccessible::Button;
    }
    QStringList actionNames() const override {
        return role() == QAccessible::Button ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& action) override {
        if (action == pressAction() && role() == QAccessible::Button)
            Q_EMIT static_cast<AlphaImageControl*>(widget())->clicked();
    }
};

QAccessibleInterface* ImageFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("AlphaImageControl") && object->isWidgetType())
        return new AccessibleImage(static_cast<AlphaImageControl*>(object));
    return nullptr;
}

} // namespace

AlphaImageControl::AlphaImageControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    static const bool accessible = (QAccessible::installFactory(ImageFactory), true);
    Q_UNUSED(accessible);
}

void AlphaImageControl::setImageFile(const QString& file) {
    imageFile_ = file;
    image_ = QPixmap(file);
    update();
}

void AlphaImageControl::setDisplayLevel(int percent) {
    displayLevel_ = qBound(0, percent, 100);
    update();
}

void AlphaImageControl::paintEvent(QPaintEvent*) {
    if (image_.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setOpacity(displayLevel_ / 100.0);
    // The art is drawn large; scaled down smoothly it stays sharp.
    const QSize size = image_.size().scaled(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    p.drawPixmap(target, image_);
}

void AlphaImageControl::mousePressEvent(QMouseEvent* event) {
    pressed_ = true;
    event->accept();
}

void AlphaImageControl::mouseReleaseEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    if (pressed_ && inside)
        Q_EMIT clicked();
    pressed_ = false;
    event->accept();
}

void AlphaImageControl::mouseDoubleClickEvent(QMouseEvent* event) {
    pressed_ = false; // the second press of a double-click is no click
    Q_EMIT doubleClicked();
    event->accept();
}

void AlphaImageControl::enterEvent(QEnterEvent*) {
    Q_EMIT entered();
}

void AlphaImageControl::leaveEvent(QEvent*) {
    Q_EMIT left();
}
