#include "widgets/AlphaImageControl.h"

#include <QAccessibleWidget>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QResource>

#include <cstring>

namespace {

// To a screen reader an image with a name is the button it looks like, with
// a press action; one without is a picture.
class AccessibleImage : public QAccessibleWidget {
public:
    explicit AccessibleImage(AlphaImageControl* image)
        : QAccessibleWidget(image, QAccessible::Graphic) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checked = static_cast<AlphaImageControl*>(widget())->marked();
        return s;
    }
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

namespace {

// "ARGB32PM", width and height (32 bits each, native order), then the rows
// of 32-bit pixels, never padded.
constexpr qint64 kArgbHeader = 16;

QSize ArgbSize(QByteArrayView header, qint64 fileSize) {
    quint32 size[2];
    if (header.size() < kArgbHeader || header.first(8) != "ARGB32PM")
        return {};
    std::memcpy(size, header.data() + 8, sizeof size);
    if (size[0] > 4096 || size[1] > 4096 || fileSize != kArgbHeader + qint64(size[0]) * size[1] * 4)
        return {};
    return QSize(int(size[0]), int(size[1]));
}

} // namespace

QPixmap AlphaImageControl::LoadPicture(const QString& file) {
    if (!file.endsWith(QLatin1String(".argb")))
        return QPixmap(file);
    // A picture built into the program is drawn from where it lies: the
    // start copies none of its bytes.
    if (file.startsWith(u':')) {
        const QResource built(file);
        if (built.isValid() && built.compressionAlgorithm() == QResource::NoCompression) {
            const QSize size = ArgbSize(QByteArrayView(built.data(), built.size()), built.size());
            if (size.isEmpty())
                return {};
            const uchar* pixels = built.data() + kArgbHeader;
            if (quintptr(pixels) % alignof(quint32) == 0)
                return QPixmap::fromImage(QImage(pixels, size.width(), size.height(),
                                                 QImage::Format_ARGB32_Premultiplied));
        }
    }
    QFile in(file);
    char header[kArgbHeader];
    if (!in.open(QIODevice::ReadOnly) || in.read(header, kArgbHeader) != kArgbHeader)
        return {};
    const QSize size = ArgbSize(QByteArrayView(header, kArgbHeader), in.size());
    if (size.isEmpty())
        return {};
    QImage image{size, QImage::Format_ARGB32_Premultiplied};
    if (in.read(reinterpret_cast<char*>(image.bits()), image.sizeInBytes()) != image.sizeInBytes())
        return {};
    return QPixmap::fromImage(std::move(image));
}

void AlphaImageControl::setImageFile(const QString& file) {
    imageFile_ = file;
    image_ = LoadPicture(file);
    update();
}

void AlphaImageControl::setDisplayLevel(int percent) {
    displayLevel_ = qBound(0, percent, 100);
    update();
}

void AlphaImageControl::setMarked(bool marked) {
    if (marked == marked_)
        return;
    marked_ = marked;
    update();
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

bool AlphaImageControl::event(QEvent* event) {
    // The tooltip stands as the description; a reader hears of its change.
    if (event->type() == QEvent::ToolTipChange && accessibleDescription().isEmpty()) {
        QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
    }
    return QWidget::event(event);
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
    if (!marked_)
        return;
    // A chosen radio button's look (the sets exclude each other), in the
    // corner the pictures leave nearly empty: the laptop's own check sits
    // in the opposite one.
    p.setOpacity(1.0);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal d = std::max(10, target.width() * 3 / 10);
    const QRectF badge(target.left() + 1.5, target.top() + 1.5, d - 3, d - 3);
    const QColor blue(0x2f, 0x6f, 0x9f); // the skin's one blue
    p.setPen(QPen(blue, 2));
    p.setBrush(Qt::white);
    p.drawEllipse(badge);
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawEllipse(badge.center(), d * 0.2, d * 0.2);
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
