#include <gtest/gtest.h>

#include "app/lib.h"
#include "platform/runtime_error.h"
#include "tests/support/guion.h"

namespace {

using qtltest::Caja;
using qtltest::ServiciosDePrueba;

TEST(MostrarErrorTest, BeepThenTheBoxOfTheErrorNumber) {
    struct Caso {
        int numero;
        int estilo;
        const char* titulo;
        const char* texto;
    };
    const Caso casos[] = {
        {52, 32, "Quintarel", "Error: La unidad seleccionada no se encuentra disponible"},
        {68, 48, "Quintarel", "Error: Inserte un disco en la unidad"},
        {76, 48, "Quintarel",
         "Error: El archivo que intenta copiar no existe en el dispositivo origen "},
        {53, 48, "Project1", "No se encontró el archivo"},
        {6, 48, "Project1", "Desbordamiento"},
        {61, 48, "Project1", "Disco lleno"},
        {71, 48, "Project1", "El disco no está listo"},
        {1234, 48, "Project1", "Error definido por la aplicación o por el objeto"},
        {0, 48, "Project1", ""},
    };
    for (const Caso& c : casos) {
        ServiciosDePrueba s;
        Lib::MostrarError(platform::RuntimeError(c.numero));
        EXPECT_EQ(s.dialogos.transcripcion,
                  QStringList({QStringLiteral("Beep"), Caja(c.estilo, QString::fromUtf8(c.titulo),
                                                            QString::fromUtf8(c.texto))}))
            << c.numero;
    }
}

TEST(EsperaTest, BusyAndIdleAreAbsoluteStates) {
    ServiciosDePrueba s;
    Lib::MostrarEspera();
    EXPECT_EQ(s.pantalla.puntero, 11);
    EXPECT_TRUE(s.ventana.espera);
    Lib::MostrarEspera();
    const int refrescos = s.ventana.refrescos;
    Lib::OcultarEspera();
    EXPECT_EQ(s.pantalla.puntero, 0);
    EXPECT_FALSE(s.ventana.espera);
    EXPECT_EQ(s.ventana.refrescos, refrescos + 1);  // repainted at once, every time
    EXPECT_EQ(s.ventana.refrescos, 3);
}

}  // namespace
