#pragma once

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

namespace qtltest {

// The block device of the stand-in service's USB floppy drive.
extern const QString kFloppyBlock;

// A private system bus of the test's own, with the stand-in disk service on it when asked;
// both end with the test.
class ServicioDeDiscosTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // `devices` is the folder of the service's device nodes (/dev/ when empty).
    void StartService(const QString& devices = {});
    // Steers the stand-in service.
    void Control(const QString& method, const QVariantList& args = {});

    QTemporaryDir folder_;
    QProcess daemon_;
    QProcess service_;
    QString address_;
    const QString busName_ =
        QStringLiteral("qtl99-prueba-%1").arg(reinterpret_cast<quintptr>(this));
    QDBusConnection bus_{QString()};
};

}  // namespace qtltest
