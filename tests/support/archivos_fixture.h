#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include "tests/support/temp_drives.h"

namespace qtltest {

// Copies onto the drives of a temporary tree: a CD on d: with one 3 MiB file, a floppy folder
// on a: and a drive with no disk on b:. The folder, FAT and images drives' suites all start here.
class ArchivosTest : public ::testing::Test {
  protected:
    void SetUp() override;
    // A copy as the loop makes one: named once its disk is done.
    void Copiar(const QString& desde, const QString& hacia);
    static QByteArray Datos(int n);
    TempDrives drives_;
};

}  // namespace qtltest
