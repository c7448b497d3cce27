#include <gtest/gtest.h>

#include "app/lib.h"
#include "platform/runtime_error.h"
#include "tests/support/temp_drives.h"

namespace {

using qtltest::BoxLine;
using qtltest::TestServices;

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
    qtltest::TempDrives drives;
    for (const Caso& c : casos) {
        TestServices s{drives};
        s.lib.MostrarError(platform::RuntimeError(c.numero));
        EXPECT_EQ(s.dialogs.transcript, QStringList({QStringLiteral("Beep"),
                                                     BoxLine(c.estilo, QString::fromUtf8(c.titulo),
                                                             QString::fromUtf8(c.texto))}))
            << c.numero;
    }
}

TEST(EsperaTest, BusyAndIdleAreAbsoluteStates) {
    qtltest::TempDrives drives;
    TestServices s{drives};
    s.lib.MostrarEspera();
    EXPECT_EQ(s.screen.pointer, 11);
    EXPECT_TRUE(s.window.waitShown);
    s.lib.MostrarEspera();
    const int refrescos = s.window.refreshes;
    s.lib.OcultarEspera();
    EXPECT_EQ(s.screen.pointer, 0);
    EXPECT_FALSE(s.window.waitShown);
    EXPECT_EQ(s.window.refreshes, refrescos + 1);  // repainted at once, every time
    EXPECT_EQ(s.window.refreshes, 3);
}

}  // namespace
