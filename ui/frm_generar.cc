#include "ui/frm_generar.h"

#include <QCloseEvent>
#include <QIcon>
#include <QPointer>

#include "app/lib.h"
#include "app/reintento.h"
#include "platform/host/files.h"
#include "ui/corrida.h"
#include "ui/evento.h"
#include "ui/ventanas.h"

namespace ui {

namespace {

QFont Fuente(const char* familia, double puntos, bool negrita = false, bool cursiva = false) {
    QFont f(QString::fromLatin1(familia));
    f.setPointSizeF(puntos);
    f.setBold(negrita);
    f.setItalic(cursiva);
    return f;
}

template <typename Control>
Control* Colocar(Control* control, int left, int top, int width, int height) {
    control->setGeometry(Px(left), Px(top), Px(width), Px(height));
    return control;
}

QLabel* Etiqueta(QWidget* padre, const QString& texto, const QFont& fuente) {
    auto* label = new QLabel(texto, padre);
    label->setFont(fuente);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* Imagen(QWidget* padre, const QString& recurso) {
    auto* picture = new QLabel(padre);
    picture->setPixmap(Dibujo(recurso));
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // unscaled, from the top-left corner
    return picture;
}

}  // namespace

FrmGenerar::FrmGenerar(Programa& programa)
    : programa_(programa), lib_(programa.lib()), host_(lib_.host()) {
    setWindowTitle(QStringLiteral("Generación de Discos de Instalación"));
    QIcon icono;
    icono.addPixmap(Dibujo(QStringLiteral(":/assets/disquete_inclinado_32.png")));
    icono.addPixmap(Dibujo(QStringLiteral(":/assets/disquete_inclinado_16.png")));
    setWindowIcon(icono);
    // Fixed single border: the user cannot resize the window.
    setFixedSize(Px(7425), Px(3420));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    const QFont sans = Fuente("MS Sans Serif", 9.75);
    Frame1 = Colocar(new QGroupBox(this), 0, 30, 7425, 2835);
    drvOrigen = Colocar(new DriveListBox(host_, Frame1), 150, 1350, 3495, 315);
    drvDestino = Colocar(new DriveListBox(host_, Frame1), 3750, 1350, 3525, 315);
    cmdComenzar = Colocar(new QPushButton(QStringLiteral("Comenzar"), this), 4770, 2940, 1275, 435);
    cmdCerrar = Colocar(new QPushButton(QStringLiteral("Cerrar"), this), 6150, 2940, 1275, 435);
    Label1 = Colocar(Etiqueta(Frame1, QStringLiteral("Unidad del CD de Instalacion"), sans), 780,
                     1050, 2610, 240);
    Label2 =
        Colocar(Etiqueta(Frame1, QStringLiteral("Unidad de Destino"), sans), 4410, 1050, 1680, 240);
    lblMarco = Colocar(new QLabel(Frame1), 1290, 1860, 4815, 795);
    lblMarco->setFrameStyle(QFrame::Box | QFrame::Plain);
    lblArchivos = Colocar(Etiqueta(Frame1, QString(), Fuente("MS Sans Serif", 12, true, true)),
                          2820, 2100, 2955, 405);
    lblCopiando = Colocar(Etiqueta(Frame1, QStringLiteral("Copiando"), Fuente("MS Sans Serif", 12)),
                          1530, 2100, 1020, 300);
    Picture1 =
        Colocar(Imagen(Frame1, QStringLiteral(":/assets/disco_compacto.png")), 180, 810, 495, 495);
    Picture2 =
        Colocar(Imagen(Frame1, QStringLiteral(":/assets/disquete.png")), 3780, 810, 495, 465);
    Label4 =
        Colocar(Etiqueta(Frame1, QStringLiteral("Generación de Discos de Instalación del QTL 99"),
                         Fuente("Arial", 14.25, true)),
                480, 240, 6465, 330);
    lblEspere = Colocar(Etiqueta(this, QStringLiteral(" Por favor Espere ..."),
                                 Fuente("MS Sans Serif", 9.75, false, true)),
                        60, 3030, 4545, 285);
    cmdComenzar->setFont(sans);
    cmdCerrar->setFont(sans);
    for (QPushButton* b : {cmdComenzar, cmdCerrar}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        PulsarConIntro(b);
    }
    // These labels take the size of their caption in their font, whatever font this machine
    // draws it with; lblArchivos keeps its size whatever name it shows.
    for (QLabel* ajustada : {Label1, Label2, lblCopiando, Label4})
        ajustada->adjustSize();
    lblArchivos->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblMarco->lower();  // the box frames the other two
    for (QWidget* oculto : {static_cast<QWidget*>(lblArchivos), static_cast<QWidget*>(lblCopiando),
                            static_cast<QWidget*>(lblMarco), static_cast<QWidget*>(lblEspere)}) {
        oculto->setVisible(false);
    }
    setTabOrder(drvOrigen, drvDestino);
    setTabOrder(drvDestino, cmdComenzar);
    setTabOrder(cmdComenzar, cmdCerrar);
    drvOrigen->setFocus();

    connect(cmdComenzar, &QPushButton::clicked, this,
            [this] { Evento(host_, [this] { cmdComenzar_Click(); }); });
    connect(cmdCerrar, &QPushButton::clicked, this, [this] {
        // A click that reaches the window while a run yields is not acted upon.
        if (!generando_)
            Evento(host_, [this] { cmdCerrar_Click(); });
    });
}

void FrmGenerar::Form_Load() {
    // A drive with no disk asks for one; Cancel leaves this and any later default unset.
    auto manejador = [this](const platform::RuntimeError& error) {
        if (error.number() == platform::errors::kDeviceUnavailable) {
            return lib_.MsgBox(QStringLiteral("Error: Inserte un disco en la unidad"),
                               platform::style::kRetryCancel + platform::style::kExclamation,
                               Lib::kTitulo) == platform::answer::kRetry;
        }
        lib_.MostrarError(error);
        return false;
    };
    if (!Lib::ConReintento([this] { drvOrigen->SetDrive(platform::AppPath(host_).left(2)); },
                           manejador))
        return;
    Lib::ConReintento([this] { drvDestino->SetDrive(QStringLiteral("a:")); }, manejador);
}

void FrmGenerar::cmdComenzar_Click() {
    // A run is never started inside itself, and the drives stay as checked until it ends.
    if (generando_)
        return;
    generando_ = true;
    ++programa_.corridas;
    drvOrigen->SetLocked(true);
    drvDestino->SetLocked(true);
    // The run goes on a thread of its own, so that this window answers its desktop all the
    // while; it reaches the window only through its port.
    Corrida::Iniciar(
        *this, *this, lib_, [](generacion::Generacion& g) { g.cmdComenzar_Click(); },
        [ventana = QPointer<FrmGenerar>(this), &programa = programa_] {
            --programa.corridas;
            if (ventana.isNull())
                return;  // closed by the run itself
            ventana->generando_ = false;
            ventana->drvOrigen->SetLocked(false);
            ventana->drvDestino->SetLocked(false);
        });
}

void FrmGenerar::cmdCerrar_Click() {
    programa_.frmGenerar.Unload();
    programa_.frmOpcion().show();
}

void FrmGenerar::VisibleEtiqueta(generacion::Etiqueta etiqueta, bool visible) {
    switch (etiqueta) {
        case generacion::Etiqueta::lblArchivos:
            lblArchivos->setVisible(visible);
            break;
        case generacion::Etiqueta::lblCopiando:
            lblCopiando->setVisible(visible);
            break;
        case generacion::Etiqueta::lblMarco:
            lblMarco->setVisible(visible);
            break;
    }
}

// Closing by the title bar does what "Cerrar" does, so the option window always comes back.
void FrmGenerar::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (!generando_)
        Evento(host_, [this] { cmdCerrar_Click(); });
}

}  // namespace ui
