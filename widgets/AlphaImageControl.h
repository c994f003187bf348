#pragma once
// An image button: a picture with transparency drawn into the control's
// rectangle at a display level (a percentage of opacity), reporting clicks
// and double-clicks of any mouse button and the pointer entering and
// leaving. A marked control carries a small badge in its top left corner,
// drawn at full strength whatever the display level, and reads as checked
// to a screen reader.

#include <QPixmap>
#include <QWidget>

class AlphaImageControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString imageFile READ imageFile WRITE setImageFile)
    Q_PROPERTY(int displayLevel READ displayLevel WRITE setDisplayLevel)
    Q_PROPERTY(bool marked READ marked WRITE setMarked)

public:
    explicit AlphaImageControl(QWidget* parent = nullptr);

    QString imageFile() const { return imageFile_; }
    void setImageFile(const QString& file);
    int displayLevel() const { return displayLevel_; }
    void setDisplayLevel(int percent);
    bool marked() const { return marked_; }
    void setMarked(bool marked);

    // A picture file, or one the build decoded (a ".argb" file made by
    // tools/icons/predecode): no decoder, and none of the image plugins
    // that Qt loads to find one, on the way to a first paint. Null where
    // the file cannot be read.
    static QPixmap LoadPicture(const QString& file);

Q_SIGNALS:
    void clicked();
    void doubleClicked();
    void entered();
    void left();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString imageFile_;
    QPixmap image_;
    int displayLevel_ = 75; // dimmed until the pointer first reaches it
    bool pressed_ = false;
    bool marked_ = false;
};
