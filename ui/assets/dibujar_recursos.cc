// Draws the pictures and icons of the two windows into a folder (normally ui/assets/).
// The icons use the 16 colours of the classic palette (plus transparency), the option
// window's icon 256 colours, and the cover 24 bits per pixel.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

const QRgb kPaleta16[16] = {0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
                            0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
                            0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};

int Distancia(QRgb a, QRgb b) {
    const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
    return dr * dr + dg * dg + db * db;
}

// To the 16-colour palette; index 16 is transparent.
QImage A16Colores(const QImage& fuente) {
    QImage img(fuente.size(), QImage::Format_Indexed8);
    QVector<QRgb> tabla(kPaleta16, kPaleta16 + 16);
    tabla << qRgba(0, 0, 0, 0);
    img.setColorTable(tabla);
    for (int y = 0; y < fuente.height(); ++y) {
        for (int x = 0; x < fuente.width(); ++x) {
            const QRgb p = fuente.pixel(x, y);
            int mejor = 16;
            if (qAlpha(p) >= 128) {
                mejor = 0;
                for (int i = 1; i < 16; ++i) {
                    if (Distancia(p, kPaleta16[i]) < Distancia(p, kPaleta16[mejor]))
                        mejor = i;
                }
            }
            img.setPixel(x, y, mejor);
        }
    }
    return img;
}

QImage Lienzo(int lado, const std::function<void(QPainter&)>& dibujo) {
    QImage img(lado, lado, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.scale(lado / 32.0, lado / 32.0);
    dibujo(p);
    return img;
}

void Disquete(QPainter& p, QColor cuerpo) {
    p.setPen(Qt::black);
    p.setBrush(cuerpo);
    QPainterPath borde;
    borde.moveTo(3, 3);
    borde.lineTo(26, 3);
    borde.lineTo(29, 6);
    borde.lineTo(29, 29);
    borde.lineTo(3, 29);
    borde.closeSubpath();
    p.drawPath(borde);
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawRect(9, 3, 14, 9);  // metal shutter
    p.setBrush(cuerpo);
    p.drawRect(18, 4, 3, 7);
    p.setBrush(Qt::white);
    p.drawRect(7, 16, 18, 13);  // label
    p.setPen(QColor(0, 0, 128));
    for (int y = 19; y < 28; y += 3)
        p.drawLine(9, y, 23, y);
}

void DiscoCompacto(QPainter& p) {
    p.setPen(Qt::black);
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawEllipse(QRectF(2, 2, 28, 28));
    p.setBrush(QColor(0x00, 0xFF, 0xFF));
    p.drawPie(QRectF(5, 5, 22, 22), 30 * 16, 50 * 16);
    p.setBrush(QColor(0xFF, 0x00, 0xFF));
    p.drawPie(QRectF(5, 5, 22, 22), 210 * 16, 50 * 16);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(12, 12, 8, 8));
    p.setBrush(Qt::transparent);
    p.drawEllipse(QRectF(14.5, 14.5, 3, 3));
}

void Computadora(QPainter& p) {
    // A computer beside a boxed product.
    p.setPen(Qt::black);
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawRect(1, 4, 18, 14);
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(3, 6, 14, 10);
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawRect(0, 21, 20, 6);
    p.drawLine(8, 18, 8, 21);
    p.drawLine(12, 18, 12, 21);
    p.setBrush(QColor(0xFF, 0xFF, 0x00));
    p.drawRect(21, 10, 10, 18);  // product box
    p.setBrush(QColor(0xFF, 0x00, 0x00));
    p.drawRect(23, 13, 6, 4);
    p.setPen(QColor(0, 0, 128));
    p.drawLine(23, 20, 29, 20);
    p.drawLine(23, 23, 29, 23);
}

void PilaDeDisquetes(QPainter& p) {
    for (int i = 2; i >= 0; --i) {
        p.save();
        p.translate(i * 3.0, i * -3.0 + 4);
        p.scale(0.75, 0.75);
        Disquete(p, i == 0 ? QColor(0, 0, 128) : i == 1 ? QColor(128, 0, 0) : QColor(0, 128, 0));
        p.restore();
    }
}

void ManoConCamara(QPainter& p) {
    p.setPen(Qt::black);
    p.setBrush(QColor(0x80, 0x80, 0x80));
    p.drawRect(4, 8, 18, 11);  // camera body
    p.setBrush(Qt::black);
    p.drawRect(22, 10, 6, 7);  // lens
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawEllipse(QRectF(5, 3, 6, 6));  // reels
    p.drawEllipse(QRectF(12, 3, 6, 6));
    p.setBrush(QColor(0xFF, 0x00, 0x00));
    p.drawEllipse(QRectF(6, 11, 3, 3));
    p.setBrush(QColor(0xFF, 0xFF, 0x80));
    QPainterPath mano;  // the hand holding it
    mano.moveTo(8, 19);
    mano.lineTo(18, 19);
    mano.lineTo(19, 26);
    mano.lineTo(15, 31);
    mano.lineTo(9, 31);
    mano.lineTo(7, 24);
    mano.closeSubpath();
    p.drawPath(mano);
    p.drawLine(10, 19, 10, 23);
    p.drawLine(13, 19, 13, 23);
    p.drawLine(16, 19, 16, 23);
}

void PuertaAbierta(QPainter& p) {
    p.setPen(Qt::black);
    p.setBrush(Qt::black);
    p.drawRect(8, 2, 16, 28);  // the doorway, dark
    p.setBrush(QColor(0x80, 0x00, 0x00));
    QPolygonF hoja;  // the door, swung open
    hoja << QPointF(8, 2) << QPointF(18, 5) << QPointF(18, 31) << QPointF(8, 30);
    p.drawPolygon(hoja);
    p.setBrush(QColor(0xFF, 0xFF, 0x00));
    p.drawEllipse(QRectF(15, 16, 2, 2));
    p.setPen(QColor(0xFF, 0xFF, 0xFF));
    p.drawLine(24, 30, 30, 30);
}

QImage TituloManuscrito() {
    QImage img(48, 48, QImage::Format_ARGB32);
    img.fill(QColor(0, 0, 96));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setItalic(true);
    f.setBold(true);
    f.setPixelSize(17);
    p.setFont(f);
    p.setPen(QColor(255, 220, 80));
    p.drawText(QRect(0, 4, 48, 22), Qt::AlignCenter, QStringLiteral("QTL"));
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRect(0, 22, 48, 22), Qt::AlignCenter, QStringLiteral("99"));
    p.setPen(QPen(QColor(255, 220, 80), 1.5));
    p.drawArc(QRect(6, 36, 36, 8), 200 * 16, 140 * 16);  // a flourish under the letters
    p.end();
    return img.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
}

QImage Portada() {
    QImage img(354, 354, QImage::Format_RGB888);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fondo(0, 0, 0, 354);
    fondo.setColorAt(0, QColor(10, 30, 110));
    fondo.setColorAt(1, QColor(60, 120, 200));
    p.fillRect(img.rect(), fondo);
    p.setPen(QColor(120, 170, 235));
    for (int y = 12; y < 200; y += 18)
        p.drawLine(0, y, 354, y - 40);
    QFont titulo(QStringLiteral("DejaVu Serif"));
    titulo.setBold(true);
    titulo.setItalic(true);
    titulo.setPixelSize(64);
    p.setFont(titulo);
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRect(0, 20, 354, 80), Qt::AlignCenter, QStringLiteral("QTL 99"));
    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(18);
    p.setFont(sub);
    p.setPen(QColor(200, 225, 255));
    p.drawText(QRect(0, 100, 354, 30), Qt::AlignCenter, QStringLiteral("Sistema de Instalación"));
    QFont chica(QStringLiteral("DejaVu Sans"));
    chica.setPixelSize(9);
    p.setFont(chica);
    p.setPen(QColor(170, 200, 240));
    const char* lineas[] = {
        "Quintarel - CD de instalación", "Versión 1.0.0.8", "Genere sus diskettes de instalación",
        "o instale directamente desde el CD", "Visita guiada con presentación animada"};
    int y = 140;
    for (const char* l : lineas) {
        p.drawText(QRect(24, y, 306, 12), Qt::AlignLeft, QString::fromUtf8(l));
        y += 13;
    }
    return img;
}

bool Guardar(const QImage& img, const QString& carpeta, const char* nombre) {
    const QString ruta = carpeta + u'/' + QString::fromLatin1(nombre);
    if (!img.save(ruta, "PNG")) {
        std::fprintf(stderr, "no se pudo escribir %s\n", qPrintable(ruta));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString carpeta = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    auto inclinado = [](QPainter& p) {
        p.translate(16, 16);
        p.rotate(-20);
        p.scale(0.8, 0.8);
        p.translate(-16, -16);
        Disquete(p, QColor(0, 0, 128));
    };
    bool ok = true;
    ok &= Guardar(A16Colores(Lienzo(32, inclinado)), carpeta, "disquete_inclinado_32.png");
    ok &= Guardar(A16Colores(Lienzo(16, inclinado)), carpeta, "disquete_inclinado_16.png");
    ok &= Guardar(A16Colores(Lienzo(32, [](QPainter& p) { Disquete(p, QColor(0, 0, 128)); })),
                  carpeta, "disquete.png");
    ok &= Guardar(A16Colores(Lienzo(32, DiscoCompacto)), carpeta, "disco_compacto.png");
    ok &= Guardar(A16Colores(Lienzo(32, Computadora)), carpeta, "setup.png");
    ok &= Guardar(A16Colores(Lienzo(32, PilaDeDisquetes)), carpeta, "generar.png");
    ok &= Guardar(A16Colores(Lienzo(32, ManoConCamara)), carpeta, "visita.png");
    ok &= Guardar(A16Colores(Lienzo(32, PuertaAbierta)), carpeta, "salir.png");
    ok &= Guardar(TituloManuscrito(), carpeta, "titulo_48.png");
    // The same title in the sizes of the desktop's icon theme.
    for (const int lado : {16, 32, 64, 128, 256}) {
        const QImage escalada =
            TituloManuscrito()
                .convertToFormat(QImage::Format_ARGB32)
                .scaled(lado, lado, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        ok &= Guardar(escalada, carpeta,
                      qPrintable(QStringLiteral("escritorio/qtl99_%1.png").arg(lado)));
    }
    ok &= Guardar(Portada(), carpeta, "portada.png");
    return ok ? 0 : 1;
}
