// A bare Qt window, the yardstick for QTL99's start-up time and memory. With the argument
// "texto" it shows a line of text and a button too, as every window with words does: the
// fonts, their shaping and a widget style are then loaded, as they are for QTL99's.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle(QStringLiteral("vacia"));
    w.resize(353, 352);
    if (argc > 1 && std::strcmp(argv[1], "texto") == 0) {
        auto* capa = new QVBoxLayout(&w);
        capa->addWidget(new QLabel(QStringLiteral("Generación de discos de instalación")));
        capa->addWidget(new QPushButton(QStringLiteral("Salir")));
    }
    w.show();
    return QApplication::exec();
}
