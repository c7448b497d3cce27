#include "ui/frm_opcion.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "app/lib.h"
#include "platform/host/files.h"
#include "ui/evento.h"
#include "ui/ventanas.h"

namespace ui {

namespace {

BotonGrafico* Boton(QWidget* padre, const QString& texto, int left, const QString& consejo,
                    const QString& icono) {
    auto* boton = new BotonGrafico(padre);
    boton->setText(texto);
    boton->setToolTip(consejo);
    boton->setIcon(Dibujo(icono));
    boton->setIconSize(QSize(32, 32));
    boton->setAutoDefault(false);
    PulsarConIntro(boton);
    QFont fuente(QStringLiteral("MS Sans Serif"));
    fuente.setPointSizeF(12);
    fuente.setBold(true);
    boton->setFont(fuente);
    boton->setFocusPolicy(Qt::StrongFocus);
    boton->setGeometry(Px(left), Px(3150), Px(1215), Px(1125));
    return boton;
}

}  // namespace

void BotonGrafico::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter pintor(this);
    QStyleOptionButton opcion;
    initStyleOption(&opcion);
    opcion.text.clear();
    opcion.icon = QIcon();
    pintor.drawControl(QStyle::CE_PushButton, opcion);

    const int margen = 4;
    const QRect zonaIcono(0, margen, width(), iconSize().height());
    const QIcon::Mode modo = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    icon().paint(&pintor, zonaIcono, Qt::AlignHCenter | Qt::AlignTop, modo);
    const QRect zonaTexto(2, zonaIcono.bottom() + 2, width() - 4,
                          height() - zonaIcono.bottom() - 4);
    int banderas = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &opcion, this))
        banderas |= Qt::TextHideMnemonic;
    pintor.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    pintor.drawText(zonaTexto, banderas, text());
}

FrmOpcion::FrmOpcion(Programa& programa)
    : programa_(programa),
      lib_(programa.lib()),
      host_(lib_.host()),
      fondo_(Dibujo(QStringLiteral(":/assets/portada.png"))) {
    setWindowTitle(QStringLiteral("QTL99"));
    setWindowIcon(Dibujo(QStringLiteral(":/assets/titulo_48.png")));
    // Sizable tool window: small title bar, sizing border.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    resize(Px(5295), Px(5280));

    btOpcion[0] = Boton(this, QStringLiteral("Setup"), 60,
                        QStringLiteral("Para instalar el Quintarel en su PC"),
                        QStringLiteral(":/assets/setup.png"));
    btOpcion[1] = Boton(this, QStringLiteral("Generar"), 1390,
                        QStringLiteral("Para generar diskettes de Instalación"),
                        QStringLiteral(":/assets/generar.png"));
    cmdTutorial = Boton(this, QStringLiteral("&Visita Guiada"), 2720,
                        QStringLiteral("Presentación Animada del QTL 99"),
                        QStringLiteral(":/assets/visita.png"));
    btOpcion[2] =
        Boton(this, QStringLiteral("Salir"), 4050, QStringLiteral("Abandona la aplicación"),
              QStringLiteral(":/assets/salir.png"));
    setTabOrder(btOpcion[0], btOpcion[1]);
    setTabOrder(btOpcion[1], btOpcion[2]);
    setTabOrder(btOpcion[2], cmdTutorial);
    btOpcion[0]->setFocus();

    for (int16_t i = 0; i < 3; ++i) {
        connect(btOpcion[i], &QPushButton::clicked, this,
                [this, i] { Evento(host_, [this, i] { btOpcion_Click(i); }); });
    }
    connect(cmdTutorial, &QPushButton::clicked, this,
            [this] { Evento(host_, [this] { cmdTutorial_Click(); }); });
}

void FrmOpcion::btOpcion_Click(int16_t Index) {
    try {
        switch (Index) {
            case 0: {
                const QString linea = QStringLiteral("\"") + lib_.RutaAplicacion().left(2) +
                                      lib_.RutaSetup + QStringLiteral("\"");
                host_.processes().Shell(linea, 2);
                host_.processes().End(0);
                break;
            }
            case 1:
                hide();
                programa_.frmGenerar().show();
                break;
            case 2:
                if (lib_.MsgBox(QStringLiteral("Está seguro que desea abandonar la aplicación"),
                                platform::style::kYesNo + platform::style::kQuestion,
                                Lib::kTitulo) == platform::answer::kYes) {
                    programa_.frmGenerar.Unload();
                    host_.processes().End(0);
                }
                break;
            default:
                break;
        }
    } catch (const platform::RuntimeError&) {
        // Whatever failed, the message names the setup program.
        lib_.Beep();
        lib_.MsgBox(QStringLiteral("No se ha encontrado disponible el archivo ") +
                        platform::AppPath(host_).left(2) + lib_.RutaSetup,
                    platform::style::kOk + platform::style::kExclamation, Lib::kTituloAplicacion);
    }
}

void FrmOpcion::cmdTutorial_Click() {
    // The guided tour is a courtesy: any failure to start it passes silently.
    try {
        const QString comilla = QStringLiteral("\"");
        const QString linea = comilla + lib_.RutaAplicacion().left(2) + lib_.RutaPower +
                              QStringLiteral("Ppview32.exe ") + comilla + QStringLiteral(" ") +
                              comilla + lib_.RutaAplicacion().left(2) + lib_.RutaPower +
                              QStringLiteral("Playlist.lst") + comilla;
        host_.processes().Shell(linea, 2);
    } catch (const platform::RuntimeError&) {
    }
}

void FrmOpcion::paintEvent(QPaintEvent* /*event*/) {
    // The cover at its own size from the top-left corner; what does not fit is cut off.
    QPainter pintor(this);
    pintor.drawPixmap(0, 0, fondo_);
}

void FrmOpcion::showEvent(QShowEvent* event) {
    if (!centrada_) {
        centrada_ = true;
        if (const QScreen* pantalla = QGuiApplication::primaryScreen()) {
            QRect marco = frameGeometry();
            marco.moveCenter(pantalla->availableGeometry().center());
            move(marco.topLeft());
        }
    }
    QWidget::showEvent(event);
}

// Closing by the title bar unloads the window; with nothing else loaded the program ends.
void FrmOpcion::closeEvent(QCloseEvent* event) {
    event->ignore();
    programa_.frmOpcion.Unload();
}

}  // namespace ui
