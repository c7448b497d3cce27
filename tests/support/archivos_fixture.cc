#include "tests/support/archivos_fixture.h"

#include "platform/host/files.h"

namespace qtltest {

void ArchivosTest::SetUp() {
    drives_.Write(QStringLiteral("cd/Discos/Disco1/DATOS.BIN"), Datos(3 << 20));
    drives_.MakeFolder(QStringLiteral("floppy"));
    drives_.MapDrives(QStringLiteral("d:=cd,optical;a:=floppy;b:=sin-disco"));
}

void ArchivosTest::Copiar(const QString& desde, const QString& hacia) {
    platform::FileCopy(drives_, desde, hacia);
    platform::FinishDisk(drives_, hacia.left(2));
}

QByteArray ArchivosTest::Datos(int n) {
    QByteArray b(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return b;
}

}  // namespace qtltest
