// A bare Qt window, the yardstick for QTL99's start-up time and memory.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle(QStringLiteral("vacia"));
    w.resize(353, 352);
    w.show();
    return QApplication::exec();
}
