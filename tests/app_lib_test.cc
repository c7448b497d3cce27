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
    EXPECT_EQ(s.lib.RutaAplicacion(), u"e:\\");
    drives.PlaceProgram(QStringLiteral("cd/INSTALA"));
    EXPECT_EQ(s.lib.RutaAplicacion(), u"e:\\INSTALA\\");
}

// Records what start-up asks of the windows.
class VentanasGrabadas : public qtltest::FakeWindow {
  public:
    void MostrarOpcion() override {
        ++mostradas;
        // The texts are set before the window is named.
        setupAlMostrar = lib->RutaSetup;
    }
    int mostradas = 0;
    QString setupAlMostrar;
    const Lib::Modulo* lib = nullptr;
};

TEST(MainTest, ReadsTheLauncherPathsThenShowsTheOptionWindow) {
    TempDrives drives;
    drives.MapDrives(QStringLiteral("e:=cd"));
    drives.PlaceProgram(QStringLiteral("cd"));
    VentanasGrabadas ventanas;
    Lib::Modulo lib(drives, ventanas);
    ventanas.lib = &lib;

    lib.Main();  // no settings file
    EXPECT_EQ(lib.RutaSetup, u"0");
    EXPECT_EQ(lib.RutaPower, u"0");
    EXPECT_EQ(ventanas.mostradas, 1);

    drives.Write(QStringLiteral("cd/Archivos.ini"), "[DISCOS]\nDisco1=a,\n");
    lib.Main();  // only DISCOS
    EXPECT_EQ(lib.RutaSetup, u"0");
    EXPECT_EQ(lib.RutaPower, u"0");

    drives.Write(QStringLiteral("cd/Archivos.ini"),
                 "[GENERAL]\nSetupPath=\\SETUP\\SETUP.EXE\nPowerPath=\\GUIA\\\n");
    lib.Main();
    EXPECT_EQ(lib.RutaSetup, u"\\SETUP\\SETUP.EXE");
    EXPECT_EQ(lib.RutaPower, u"\\GUIA\\");
    EXPECT_EQ(ventanas.setupAlMostrar, u"\\SETUP\\SETUP.EXE");
}

}  // namespace
