// The baseline of the container's start-up benchmark: a bare Qt Widgets program that shows one window of
// the container's size and exits once that window's first paint is done. Given a library path, it loads
// that library first as the class registry loads a component, for a reference of what loading costs.
#include <dlfcn.h>

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

namespace {

class FirstPaintWindow final : public QWidget {
  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.fillRect(event->rect(), Qt::darkBlue);
        painter.setPen(Qt::white);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Ready"));
        if (!m_painted) {
            m_painted = true;
            // Out of the paint first, so that the frame is finished before the program ends.
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        }
    }

  private:
    bool m_painted = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc > 1 && dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) == nullptr) {
        return 2;
    }
    FirstPaintWindow window;
    window.resize(820, 600);
    window.setWindowTitle(QStringLiteral("Bare"));
    window.show();
    // Without a paint the program never says it is ready: the benchmark's safety net ends it.
    return app.exec() == 0 ? 0 : 1;
}
