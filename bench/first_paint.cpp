// Starts, shows one window and exits right after its first paint: the main
// window on the suite of $WINEPREFIX, or with "--bare" a plain Qt window
// with one label, the yardstick. bench_startup.sh times whole processes;
// they end without tearing down, and before anything the window left for
// after its first paint, which are no part of the start.

#include "app/frmMain.h"
#include "platform/desktop/QtPrompter.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <cstdlib>

namespace {

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, qApp, [] { std::_Exit(0); });
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    const bool bare = argc > 1 && qstrcmp(argv[1], "--bare") == 0;
    if (!bare) // as Quarn's main() starts
        frmMain::ConfigureFontsAside();
    QApplication app(argc, argv);
    FirstPaint firstPaint;
    std::unique_ptr<QWidget> window;
    if (bare) {
        auto* label = new QLabel(QStringLiteral("Quarn"));
        window.reset(label);
    } else {
        auto main = std::make_unique<frmMain>(QStringLiteral("quarn-bench"));
        if (!main->Load())
            return 1;
        window = std::move(main);
    }
    window->installEventFilter(&firstPaint);
    window->show();
    return app.exec();
}
