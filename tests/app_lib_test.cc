#include <gtest/gtest.h>

#include "app/lib.h"
#include "tests/support/temp_drives.h"

namespace {

using qtltest::TempDrives;

TEST(RutaAplicacionTest, EndsInExactlyOneBackslash) {
    TempDrives drives;
    qtltest::TestServices s{drives};
    drives.MapDrives(QStringLiteral("e:=cd"));
    drives.PlaceProgram(QStringLiteral("cd"));
    EXPECT_EQ(Lib::RutaAplicacion(), u"e:\\");
    drives.PlaceProgram(QStringLiteral("cd/INSTALA"));
    EXPECT_EQ(Lib::RutaAplicacion(), u"e:\\INSTALA\\");
}

// Records what start-up asks of the windows.
class VentanasGrabadas : public qtltest::FakeWindow {
  public:
    void MostrarOpcion() override {
        ++mostradas;
        // The texts are set before the window is named.
        setupAlMostrar = Lib::RutaSetup;
    }
    int mostradas = 0;
    QString setupAlMostrar;
};

TEST(MainTest, ReadsTheLauncherPathsThenShowsTheOptionWindow) {
    TempDrives drives;
    drives.MapDrives(QStringLiteral("e:=cd"));
    drives.PlaceProgram(QStringLiteral("cd"));
    VentanasGrabadas ventanas;
    Lib::Iniciar(drives, ventanas);

    Lib::Main();  // no settings file
    EXPECT_EQ(Lib::RutaSetup, u"0");
    EXPECT_EQ(Lib::RutaPower, u"0");
    EXPECT_EQ(ventanas.mostradas, 1);

    drives.Write(QStringLiteral("cd/Archivos.ini"), "[DISCOS]\nDisco1=a,\n");
    Lib::Main();  // only DISCOS
    EXPECT_EQ(Lib::RutaSetup, u"0");
    EXPECT_EQ(Lib::RutaPower, u"0");

    drives.Write(QStringLiteral("cd/Archivos.ini"),
                 "[GENERAL]\nSetupPath=\\SETUP\\SETUP.EXE\nPowerPath=\\GUIA\\\n");
    Lib::Main();
    EXPECT_EQ(Lib::RutaSetup, u"\\SETUP\\SETUP.EXE");
    EXPECT_EQ(Lib::RutaPower, u"\\GUIA\\");
    EXPECT_EQ(ventanas.setupAlMostrar, u"\\SETUP\\SETUP.EXE");
}

}  // namespace
