#pragma once
// Makes a widget act like a button to the mouse: a left click that starts
// and ends on it, and not the release that ends a double-click (a
// double-click would otherwise act twice).

#include <QObject>

class QWidget;

class ClickFilter : public QObject {
    Q_OBJECT

public:
    // Watches `widget`; the filter lives as long as the widget does.
    static ClickFilter* Watch(QWidget* widget);

Q_SIGNALS:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
    bool pressed_ = false;
};
