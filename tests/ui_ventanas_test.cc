// The two windows, offscreen, with scripted message boxes and recorded launches.
#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "app/lib.h"
#include "platform/dialogs.h"
#include "platform/qt_host.h"
#include "tests/support/answer_probe.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_drives.h"
#include "ui/evento.h"
#include "ui/ventanas.h"

using qtltest::BoxLine;
namespace r = platform::answer;

class VentanasTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<qtltest::TempDrives> drives_;
    qtltest::ScriptedDialogs* dialogos_ = nullptr;
    qtltest::FakeScreen* pantalla_ = nullptr;
    qtltest::FakeProcesses* procesos_ = nullptr;
    std::unique_ptr<ui::Programa> programa_;
    std::unique_ptr<Lib::Modulo> lib_;  // on drives_, with programa_
    int descargadasTodas_ = 0;

    void Reiniciar() {
        if (!programa_)
            return;
        programa_->frmGenerar.Unload();
        programa_->frmOpcion.Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void Ini(const QByteArray& contenido) {
        drives_->Write(QStringLiteral("cd/INSTALA/Archivos.ini"), contenido);
    }
    static QString Ruta() { return QString::fromLocal8Bit(qgetenv("QTL99_CAPTURAS")); }
    // Comenzar's run is on a thread of its own: the window's thread answers until it ends.
    void EsperarLaCorrida() { QTRY_COMPARE_WITH_TIMEOUT(programa_->corridas, 0, 20000); }
    // Comenzar on the open generation window, each prompt answered: the one-disk set written.
    void ComenzarHastaElFinal() {
        dialogos_->Answer(r::kOk).Answer(r::kOk);
        programa_->frmGenerar().cmdComenzar->click();
        EsperarLaCorrida();
        QCOMPARE(drives_->Read(QStringLiteral("floppy/A.TXT")), QByteArray("contenido"));
        QCOMPARE(dialogos_->transcript.last(),
                 BoxLine(64, QStringLiteral("Quintarel"),
                         QStringLiteral("Generación de discos Finalizada")));
    }
    // The windows and the module on drives_, started.
    void Arrancar() {
        programa_ = std::make_unique<ui::Programa>();
        lib_ = std::make_unique<Lib::Modulo>(*drives_, *programa_);
        programa_->Iniciar(*lib_);
        programa_->alDescargarTodas = [this] { ++descargadasTodas_; };
        lib_->Main();
    }

  private slots:  // NOLINT(readability-redundant-access-specifiers): moc's own
    void init() {
        Reiniciar();
        drives_ = std::make_unique<qtltest::TempDrives>();
        drives_->MapDrives(QStringLiteral("e:=cd,optical;a:=floppy"));
        drives_->PlaceProgram(QStringLiteral("cd/INSTALA"));
        drives_->MakeFolder(QStringLiteral("floppy"));
        drives_->Write(QStringLiteral("cd/Archivos.ini"), "");
        Ini("[GENERAL]\nSetupPath=\\SETUP\\SETUP.EXE\nPowerPath=\\GUIA\\\nCANTIDAD=1\nDiskPath="
            "\\D\\\n[DISCOS]\nDisco1=A.TXT,\n");
        drives_->Write(QStringLiteral("cd/D/1/A.TXT"), "contenido");
        dialogos_ = &drives_->ownDialogs;
        pantalla_ = &drives_->ownScreen;
        procesos_ = &drives_->fakeProcesses;
        descargadasTodas_ = 0;
        Arrancar();
    }
    void cleanup() {
        Reiniciar();
        QDir::setCurrent(QDir::tempPath());
        programa_.reset();
        lib_.reset();
        drives_.reset();
    }

    void opcionComoEnElDiseno() {
        ui::FrmOpcion& f = programa_->frmOpcion();
        QVERIFY(f.isVisible());
        QCOMPARE(f.windowTitle(), QStringLiteral("QTL99"));
        QCOMPARE(f.size(), QSize(353, 352));
        QVERIFY(f.windowFlags() & Qt::Tool);
        struct Boton {
            QAbstractButton* b;
            const char* texto;
            int left;
            const char* consejo;
        };
        const Boton botones[] = {
            {f.btOpcion[0], "Setup", 4, "Para instalar el Quintarel en su PC"},
            {f.btOpcion[1], "Generar", 93, "Para generar diskettes de Instalación"},
            {f.cmdTutorial, "&Visita Guiada", 181, "Presentación Animada del QTL 99"},
            {f.btOpcion[2], "Salir", 270, "Abandona la aplicación"},
        };
        for (const Boton& b : botones) {
            QCOMPARE(b.b->text(), QString::fromUtf8(b.texto));
            QCOMPARE(b.b->geometry(), QRect(b.left, 210, 81, 75));
            QCOMPARE(b.b->toolTip(), QString::fromUtf8(b.consejo));
            QCOMPARE(b.b->font().family(), QStringLiteral("MS Sans Serif"));
            QCOMPARE(b.b->font().pointSizeF(), 12.0);
            QVERIFY(b.b->font().bold());
            QCOMPARE(b.b->iconSize(), QSize(32, 32));
            QVERIFY(!b.b->icon().isNull());
        }
        // Tab order Setup, Generar, Salir, Visita Guiada; the focus starts on Setup.
        QCOMPARE(f.btOpcion[0]->nextInFocusChain(), static_cast<QWidget*>(f.btOpcion[1]));
        QCOMPARE(f.btOpcion[1]->nextInFocusChain(), static_cast<QWidget*>(f.btOpcion[2]));
        QCOMPARE(f.btOpcion[2]->nextInFocusChain(), static_cast<QWidget*>(f.cmdTutorial));
        QCOMPARE(f.focusWidget(), static_cast<QWidget*>(f.btOpcion[0]));
        QCOMPARE(f.windowIcon().availableSizes().value(0), QSize(48, 48));
        if (!Ruta().isEmpty())
            QVERIFY(f.grab().save(Ruta() + QStringLiteral("/frmOpcion.png")));
    }

    void generarComoEnElDiseno() {
        programa_->frmOpcion().btOpcion[1]->click();
        ui::FrmGenerar& g = programa_->frmGenerar();
        QVERIFY(g.isVisible());
        QCOMPARE(g.windowTitle(), QStringLiteral("Generación de Discos de Instalación"));
        QCOMPARE(g.size(), QSize(495, 228));
        QCOMPARE(g.minimumSize(), g.maximumSize());  // fixed single: not resizable
        struct Control {
            QWidget* w = nullptr;
            QWidget* contenedor = nullptr;
            QRect geometria;  // for labels sized to their text only the position counts
            bool ajustada = false;
            bool visible = false;
        };
        const Control controles[] = {
            {g.drvOrigen, g.Frame1, QRect(10, 90, 233, 21), false, true},
            {g.drvDestino, g.Frame1, QRect(250, 90, 235, 21), false, true},
            {g.cmdComenzar, &g, QRect(318, 196, 85, 29), false, true},
            {g.cmdCerrar, &g, QRect(410, 196, 85, 29), false, true},
            {g.Frame1, &g, QRect(0, 2, 495, 189), false, true},
            {g.Label1, g.Frame1, QRect(52, 70, 174, 16), true, true},
            {g.Label2, g.Frame1, QRect(294, 70, 112, 16), true, true},
            {g.lblArchivos, g.Frame1, QRect(188, 140, 197, 27), false, false},
            {g.lblCopiando, g.Frame1, QRect(102, 140, 68, 20), true, false},
            {g.lblMarco, g.Frame1, QRect(86, 124, 321, 53), false, false},
            {g.Picture1, g.Frame1, QRect(12, 54, 33, 33), false, true},
            {g.Picture2, g.Frame1, QRect(252, 54, 33, 31), false, true},
            {g.Label4, g.Frame1, QRect(32, 16, 431, 22), true, true},
            {g.lblEspere, &g, QRect(4, 202, 303, 19), false, false},
        };
        for (const Control& c : controles) {
            QCOMPARE(c.w->parentWidget(), c.contenedor);
            if (c.ajustada) {
                QCOMPARE(c.w->pos(), c.geometria.topLeft());
            } else {
                QCOMPARE(c.w->geometry(), c.geometria);
            }
            QCOMPARE(c.w->isVisibleTo(&g), c.visible);
        }
        struct Texto {
            QLabel* l;
            const char* texto;
            const char* familia;
            double puntos;
            bool negrita, cursiva;
        };
        const Texto textos[] = {
            {g.Label1, "Unidad del CD de Instalacion", "MS Sans Serif", 9.75, false, false},
            {g.Label2, "Unidad de Destino", "MS Sans Serif", 9.75, false, false},
            {g.lblArchivos, "", "MS Sans Serif", 12, true, true},
            {g.lblCopiando, "Copiando", "MS Sans Serif", 12, false, false},
            {g.Label4, "Generación de Discos de Instalación del QTL 99", "Arial", 14.25, true,
             false},
            {g.lblEspere, " Por favor Espere ...", "MS Sans Serif", 9.75, false, true},
        };
        for (const Texto& t : textos) {
            QCOMPARE(t.l->text(), QString::fromUtf8(t.texto));
            QCOMPARE(t.l->font().family(), QString::fromLatin1(t.familia));
            QCOMPARE(t.l->font().pointSizeF(), t.puntos);
            QCOMPARE(t.l->font().bold(), t.negrita);
            QCOMPARE(t.l->font().italic(), t.cursiva);
        }
        QCOMPARE(g.cmdComenzar->text(), QStringLiteral("Comenzar"));
        QCOMPARE(g.cmdCerrar->text(), QStringLiteral("Cerrar"));
        QVERIFY(!g.cmdComenzar->isDefault() && !g.cmdCerrar->isDefault());
        QCOMPARE(g.drvOrigen->nextInFocusChain(), static_cast<QWidget*>(g.drvDestino));
        QCOMPARE(g.drvDestino->nextInFocusChain(), static_cast<QWidget*>(g.cmdComenzar));
        QCOMPARE(g.cmdComenzar->nextInFocusChain(), static_cast<QWidget*>(g.cmdCerrar));
        QCOMPARE(g.focusWidget(), static_cast<QWidget*>(g.drvOrigen));
        QCOMPARE(g.lblMarco->frameShape(), QFrame::Box);
        if (!Ruta().isEmpty())
            QVERIFY(g.grab().save(Ruta() + QStringLiteral("/frmGenerar.png")));
    }

    void cargaConDiscoEnA() {
        programa_->frmOpcion().btOpcion[1]->click();
        QCOMPARE(programa_->frmGenerar().drvOrigen->Drive(), QStringLiteral("e:"));
        QCOMPARE(programa_->frmGenerar().drvDestino->Drive(), QStringLiteral("a:"));
        QVERIFY(dialogos_->transcript.isEmpty());
        QVERIFY(!programa_->frmOpcion().isVisible());
        // In letter order, whatever order the table was written in.
        QCOMPARE(programa_->frmGenerar().drvOrigen->itemText(0), QStringLiteral("a:"));
        QCOMPARE(programa_->frmGenerar().drvOrigen->itemText(1), QStringLiteral("e:"));
    }

    void cargaSinDiscoEnA() {
        // Retry after inserting a disk selects a:.
        QDir(drives_->Path(QStringLiteral("floppy"))).removeRecursively();
        dialogos_->Answer(r::kRetry).Answer(
            r::kRetry, [this] { drives_->MakeFolder(QStringLiteral("floppy")); });
        programa_->frmOpcion().btOpcion[1]->click();
        const QString caja = BoxLine(53, QStringLiteral("Quintarel"),
                                     QStringLiteral("Error: Inserte un disco en la unidad"));
        QCOMPARE(dialogos_->transcript, QStringList({caja, caja}));
        QCOMPARE(programa_->frmGenerar().drvDestino->Drive(), QStringLiteral("a:"));
        QVERIFY(programa_->frmGenerar().isVisible());

        // Cancel shows the window with the destination list on the current drive.
        programa_->frmGenerar().cmdCerrar->click();
        QDir(drives_->Path(QStringLiteral("floppy"))).removeRecursively();
        dialogos_->transcript.clear();
        dialogos_->Answer(r::kCancel);
        QDir::setCurrent(drives_->Path(QStringLiteral("cd")));
        programa_->frmOpcion().btOpcion[1]->click();
        QCOMPARE(dialogos_->transcript, QStringList({caja}));
        QCOMPARE(programa_->frmGenerar().drvDestino->Drive(), QStringLiteral("e:"));
        QVERIFY(programa_->frmGenerar().isVisible());
    }

    void laListaDeUnidadesVeLasNuevasAlAbrirse() {
        programa_->frmOpcion().btOpcion[1]->click();
        ui::DriveListBox* lista = programa_->frmGenerar().drvDestino;
        QCOMPARE(lista->count(), 2);
        drives_->MakeFolder(QStringLiteral("usb"));
        drives_->MapDrives(
            QStringLiteral("e:=cd,optical;a:=floppy;f:=usb,removable"));  // plugged in
        lista->showPopup();
        QCOMPARE(lista->count(), 3);
        QCOMPARE(lista->itemText(2), QStringLiteral("f:"));
        QCOMPARE(lista->Drive(), QStringLiteral("a:"));  // the choice is kept
        lista->hidePopup();
    }

    void cerrarDevuelveLaMismaVentanaDeOpciones() {
        ui::FrmOpcion* antes = &programa_->frmOpcion();
        antes->move(123, 45);
        const QPoint donde = antes->pos();
        antes->btOpcion[1]->click();
        programa_->frmGenerar().drvDestino->setCurrentIndex(
            0);  // a user's choice is forgotten on closing
        programa_->frmGenerar().cmdCerrar->click();
        QVERIFY(!programa_->frmGenerar.Cargada());
        QCOMPARE(&programa_->frmOpcion(), antes);
        QVERIFY(antes->isVisible());
        QCOMPARE(antes->pos(), donde);
        antes->btOpcion[1]->click();
        QCOMPARE(programa_->frmGenerar().drvDestino->Drive(), QStringLiteral("a:"));
        QVERIFY(!programa_->frmGenerar().lblMarco->isVisibleTo(&programa_->frmGenerar()));
    }

    void cierreDeLaBarraDeTitulo() {
        programa_->frmOpcion().btOpcion[1]->click();
        programa_->frmGenerar().close();  // as "Cerrar"
        QVERIFY(!programa_->frmGenerar.Cargada());
        QVERIFY(programa_->frmOpcion().isVisible());
        programa_->frmOpcion().close();  // the last window: the program ends
        QVERIFY(!programa_->frmOpcion.Cargada());
        QCOMPARE(descargadasTodas_, 1);
    }

    void salirNoYSi() {
        const QString pregunta =
            BoxLine(36, QStringLiteral("Quintarel"),
                    QStringLiteral("Está seguro que desea abandonar la aplicación"));
        dialogos_->Answer(r::kNo).Answer(r::kYes);
        programa_->frmOpcion().btOpcion[2]->click();
        QCOMPARE(dialogos_->transcript, QStringList({pregunta}));  // no beep
        QCOMPARE(procesos_->ended, 0);
        QVERIFY(programa_->frmOpcion().isVisible());
        programa_->frmOpcion().btOpcion[2]->click();
        QCOMPARE(procesos_->ended, 1);
        QVERIFY(!programa_->frmGenerar.Cargada());  // unloading it did not load it
    }

    void setupLanzaYTermina() {
        drives_->Write(QStringLiteral("cd/SETUP/SETUP.EXE"),
                       "#!/bin/sh\necho \"$0\" > \"$(dirname \"$0\")/lanzado\"\n");
        QFile::setPermissions(drives_->Path(QStringLiteral("cd/SETUP/SETUP.EXE")),
                              QFile::ReadOwner | QFile::ExeOwner);
        procesos_->launchForReal = true;
        programa_->frmOpcion().btOpcion[0]->click();
        QCOMPARE(procesos_->lines, QStringList({QStringLiteral("\"e:\\SETUP\\SETUP.EXE\"")}));
        QCOMPARE(procesos_->styles, QList<int>({2}));
        QCOMPARE(procesos_->ended, 1);
        // The shell makes the file before it writes the line: wait for the line itself.
        QTRY_COMPARE_WITH_TIMEOUT(drives_->Read(QStringLiteral("cd/SETUP/lanzado")).trimmed(),
                                  drives_->Path(QStringLiteral("cd/SETUP/SETUP.EXE")).toUtf8(),
                                  10000);
        QVERIFY(dialogos_->transcript.isEmpty());
    }

    void setupSinSetupPath() {
        Ini("[GENERAL]\n");
        lib_->Main();
        procesos_->launchForReal = true;
        dialogos_->Answer(r::kOk);
        programa_->frmOpcion().btOpcion[0]->click();
        QCOMPARE(procesos_->lines, QStringList({QStringLiteral("\"e:0\"")}));
        QCOMPARE(dialogos_->transcript,
                 QStringList(
                     {QStringLiteral("Beep"),
                      BoxLine(48, QStringLiteral("Project1"),
                              QStringLiteral("No se ha encontrado disponible el archivo e:0"))}));
        QCOMPARE(procesos_->ended, 0);
        QVERIFY(programa_->frmOpcion().isVisible());
    }

    void visitaGuiadaDosVeces() {
        drives_->Write(QStringLiteral("cd/GUIA/Ppview32.exe"),
                       "#!/bin/sh\necho \"$1\" >> \"$(dirname \"$0\")/vistas\"\n");
        QFile::setPermissions(drives_->Path(QStringLiteral("cd/GUIA/Ppview32.exe")),
                              QFile::ReadOwner | QFile::ExeOwner);
        drives_->Write(QStringLiteral("cd/GUIA/Playlist.lst"), "x.pps\n");
        procesos_->launchForReal = true;
        programa_->frmOpcion().cmdTutorial->click();
        programa_->frmOpcion().cmdTutorial->click();
        const QString linea =
            QStringLiteral("\"e:\\GUIA\\Ppview32.exe \" \"e:\\GUIA\\Playlist.lst\"");
        QCOMPARE(procesos_->lines, QStringList({linea, linea}));
        const QByteArray lista = drives_->Path(QStringLiteral("cd/GUIA/Playlist.lst")).toUtf8();
        QTRY_COMPARE_WITH_TIMEOUT(drives_->Read(QStringLiteral("cd/GUIA/vistas")),
                                  lista + '\n' + lista + '\n', 10000);
        QVERIFY(programa_->frmOpcion().isVisible());
        QVERIFY(dialogos_->transcript.isEmpty());
    }

    void visitaGuiadaSinPowerPathNoMuestraNada() {
        Ini("[GENERAL]\n");
        lib_->Main();
        procesos_->launchForReal = true;
        programa_->frmOpcion().cmdTutorial->click();
        QCOMPARE(procesos_->lines,
                 QStringList({QStringLiteral("\"e:0Ppview32.exe \" \"e:0Playlist.lst\"")}));
        QVERIFY(dialogos_->transcript.isEmpty());
    }

    void altVIniciaLaVisita() {
        ui::FrmOpcion& f = programa_->frmOpcion();
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QCOMPARE(f.cmdTutorial->shortcut(), QKeySequence(Qt::ALT | Qt::Key_V));
        QTest::keyClick(&f, Qt::Key_V, Qt::AltModifier);
        // An access key clicks the button the way a mouse press does, after a short animation.
        QTRY_COMPARE(procesos_->lines.size(), 1);
    }

    void introPulsaElBotonConElFoco() {
        ui::FrmOpcion& f = programa_->frmOpcion();
        f.btOpcion[1]->setFocus();
        QTest::keyClick(f.btOpcion[1], Qt::Key_Return);
        QVERIFY(programa_->frmGenerar.Cargada() && programa_->frmGenerar().isVisible());
        QTest::keyClick(programa_->frmGenerar().cmdCerrar, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!programa_->frmGenerar.Cargada());
        QTest::keyClick(f.cmdTutorial, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(procesos_->lines.size(), 1);
        for (QAbstractButton* b : {static_cast<QAbstractButton*>(f.btOpcion[0]),
                                   static_cast<QAbstractButton*>(f.cmdTutorial)}) {
            QVERIFY(!static_cast<QPushButton*>(b)->isDefault());
        }
    }

    void lasCajasMuestranTextoLlano() {
        platform::QtDialogs dialogos;
        QString visto;
        Qt::TextFormat formato = Qt::AutoText;
        QTimer::singleShot(0, [&] {
            auto* caja = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(caja != nullptr);
            visto = caja->text();
            formato = caja->textFormat();
            caja->button(QMessageBox::Ok) ? caja->button(QMessageBox::Ok)->click()
                                          : caja->buttons().value(0)->click();
        });
        dialogos.MsgBox(QStringLiteral("e:\\Setup\\<b>Instalar</b>.EXE"), 48,
                        QStringLiteral("Project1"));
        QCOMPARE(visto, QStringLiteral("e:\\Setup\\<b>Instalar</b>.EXE"));
        QCOMPARE(formato, Qt::PlainText);
    }

    void generacionCompletaDesdeLaVentana() {
        // Saved by an editor that ends lines with a lone CR.
        Ini("[GENERAL]\rCANTIDAD=1\rDiskPath=\\D\\\r[DISCOS]\rDisco1=A.TXT,\r");
        programa_->frmOpcion().btOpcion[1]->click();
        ComenzarHastaElFinal();
        QVERIFY(!programa_->frmGenerar.Cargada());
        QVERIFY(programa_->frmOpcion().isVisible());
        QCOMPARE(pantalla_->pointer, 0);
    }

    // QTL99 --cd on an image of a CD: its settings, its drive as the source, the whole set.
    void generacionCompletaDesdeUnaImagenDeCd() {
        drives_->Write(QStringLiteral("cd/Archivos.ini"),
                       "[GENERAL]\nCANTIDAD=1\nDiskPath=\\D\\\n[DISCOS]\nDisco1=A.TXT,\n");
        QProcess xorriso;
        xorriso.start(
            QStringLiteral("xorriso"),
            {QStringLiteral("-as"), QStringLiteral("mkisofs"), QStringLiteral("-quiet"),
             QStringLiteral("-R"), QStringLiteral("-J"), QStringLiteral("-V"),
             QStringLiteral("CD_DEMO"), QStringLiteral("-o"),
             drives_->Path(QStringLiteral("cd.iso")), drives_->Path(QStringLiteral("cd"))});
        if (!xorriso.waitForFinished(60000) || xorriso.exitCode() != 0)
            QSKIP("xorriso makes no image here");
        Reiniciar();
        programa_.reset();
        lib_.reset();
        drives_->MapDrives(QStringLiteral("c:=.;e:=cd.iso,optical;a:=floppy"));
        drives_->PlaceProgram(QStringLiteral("cd.iso"));
        Arrancar();
        programa_->frmOpcion().btOpcion[1]->click();
        QCOMPARE(programa_->frmGenerar().drvOrigen->currentText(), QStringLiteral("e: [CD_DEMO]"));
        ComenzarHastaElFinal();
    }

    void unaCopiaLentaNoCongelaLaVentana() {
        // A disk that takes 60 KiB a second, as a floppy does: 120 KiB to write and read back.
        drives_->Write(QStringLiteral("cd/D/1/A.TXT"), QByteArray(qsizetype{120} * 1024, 'q'));
        qtltest::AnswerProbe escritorio;  // asks from the first byte written to the last read
        std::atomic<int> punteroDuranteLaCopia = -1;
        drives_->system.pace = [&](size_t bytes) {
            escritorio.Start();
            punteroDuranteLaCopia = pantalla_->pointer;
            QThread::usleep(static_cast<unsigned long>(bytes * 1000000 / (size_t{60} * 1024)));
        };
        programa_->frmOpcion().btOpcion[1]->click();
        ui::FrmGenerar& g = programa_->frmGenerar();
        dialogos_->Answer(r::kOk, [&] {
            // A click on Cerrar before the copy: it must not close the window under the copy.
            QMetaObject::invokeMethod(g.cmdCerrar, "click", Qt::QueuedConnection);
        });
        dialogos_->Answer(r::kOk, [&] { escritorio.Stop(); });
        g.cmdComenzar->click();
        EsperarLaCorrida();
        QCoreApplication::processEvents();  // the last queries, however late
        // The figures are the bench's to judge; only a window that stops answering fails here.
        const std::vector<double> esperas = escritorio.Waits();
        qInfo("respuesta durante la copia: mediana %.1f ms, peor %.1f ms, %zu consultas",
              qtltest::Median(esperas), qtltest::Worst(esperas), esperas.size());
        QVERIFY2(esperas.size() >= 10, qPrintable(QString::number(esperas.size())));
        QVERIFY2(qtltest::Worst(esperas) < 1000,
                 qPrintable(QString::number(qtltest::Worst(esperas))));
        QCOMPARE(punteroDuranteLaCopia.load(), platform::pointer::kHourglass);
        QCOMPARE(drives_->Read(QStringLiteral("floppy/A.TXT")).size(), 120 * 1024);
        QVERIFY(!programa_->frmGenerar.Cargada());  // closed once, by the run itself
    }

    void duranteLaGeneracionNoSeAtiendeNadaMas() {
        programa_->frmOpcion().btOpcion[1]->click();
        ui::FrmGenerar& g = programa_->frmGenerar();
        const int origen = g.drvOrigen->currentIndex();
        int comprobaciones = 0;
        dialogos_->Answer(r::kOk, [&] {
            // Queued before the copy yields: a click on each button, a close, a new drive.
            QMetaObject::invokeMethod(g.cmdCerrar, "click", Qt::QueuedConnection);
            QMetaObject::invokeMethod(g.cmdComenzar, "click", Qt::QueuedConnection);
            QMetaObject::invokeMethod(&g, "close", Qt::QueuedConnection);
            QMetaObject::invokeMethod(g.drvOrigen, "setCurrentIndex", Qt::QueuedConnection,
                                      Q_ARG(int, origen == 0 ? 1 : 0));
            ++comprobaciones;
        });
        dialogos_->Answer(r::kCancel, [&] {
            // Before the completion box: still loaded, still on the checked drives.
            QVERIFY(programa_->frmGenerar.Cargada());
            QCOMPARE(g.drvOrigen->currentIndex(), origen);
            ++comprobaciones;
        });
        g.cmdComenzar->click();
        EsperarLaCorrida();
        QCOMPARE(comprobaciones, 2);
        QCOMPARE(dialogos_->transcript.count(
                     BoxLine(65, QStringLiteral("Quintarel"),
                             QStringLiteral("Inserte el diskette número 1 en la unidad"))),
                 1);
        QVERIFY(!programa_->frmGenerar.Cargada());  // closed once, by the run itself
    }

    void errorNoCapturadoTerminaElPrograma() {
        ui::Evento(*drives_, [] { throw platform::RuntimeError(53); });
        QCOMPARE(dialogos_->transcript,
                 QStringList({BoxLine(
                     16, QStringLiteral("Project1"),
                     QStringLiteral(
                         "Error '53' en tiempo de ejecución:\n\nNo se encontró el archivo"))}));
        QCOMPARE(procesos_->ended, 1);
        QCOMPARE(procesos_->endStatus, 0);
        // An internal error is no success: the program ends with a status that says so.
        ui::Evento(*drives_, [] { throw std::bad_alloc(); });
        QCOMPARE(procesos_->ended, 2);
        QVERIFY(procesos_->endStatus != 0);
        procesos_->endStatus = 0;
        ui::Evento(*drives_, [] { throw 42; });  // not even an exception type: still no crash
        QCOMPARE(procesos_->ended, 3);
        QVERIFY(procesos_->endStatus != 0);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::PrepararAplicacion();
    VentanasTest pruebas;
    return QTest::qExec(&pruebas, argc, argv);
}

#include "ui_ventanas_test.moc"
