#include "widgets/LazyStyleIcons.h"

#include <QApplication>
#include <QIconEngine>
#include <QPointer>
#include <QProxyStyle>
#include <QWidget>

namespace {

class LazyIconEngine : public QIconEngine {
public:
    LazyIconEngine(QStyle* style, QStyle::StandardPixmap which, const QWidget* widget)
        : style_(style), which_(which), widget_(widget) {}

    void paint(QPainter* p, const QRect& r, QIcon::Mode mode, QIcon::State state) override {
        icon().paint(p, r, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return made_ ? icon_.isNull() : false; }
    QIconEngine* clone() const override { return new LazyIconEngine(*this); }

private:
    QIcon& icon() {
        if (!made_ && style_)
            icon_ = style_->standardIcon(which_, nullptr, widget_);
        made_ = true;
        return icon_;
    }

    QPointer<QStyle> style_;
    QStyle::StandardPixmap which_;
    QPointer<const QWidget> widget_;
    QIcon icon_;
    bool made_ = false;
};

class LazyIconStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override {
        if (option || (which != SP_ToolBarHorizontalExtensionButton &&
                       which != SP_ToolBarVerticalExtensionButton))
            return QProxyStyle::standardIcon(which, option, widget);
        return QIcon(new LazyIconEngine(baseStyle(), which, widget));
    }
};

} // namespace

void DeferMenuBarExtensionIcons() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        dynamic_cast<LazyIconStyle*>(QApplication::style()))
        return;
    QApplication::setStyle(new LazyIconStyle(QApplication::style()));
}
