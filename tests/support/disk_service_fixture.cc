#include "tests/support/disk_service_fixture.h"

#include <QDBusMessage>
#include <QFile>
#include <QStringList>

namespace qtltest {

const QString kFloppyBlock = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdb");

void ServicioDeDiscosTest::SetUp() {
    ASSERT_TRUE(folder_.isValid());
    QFile config(folder_.filePath(QStringLiteral("system.conf")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral(R"(<busconfig><type>system</type>
  <listen>unix:path=%1/bus</listen><auth>EXTERNAL</auth><servicedir>%1</servicedir>
  <policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*"/>
    <allow receive_sender="*"/></policy></busconfig>)")
                     .arg(folder_.path())
                     .toUtf8());
    config.close();
    // The service could be started on demand here: a client that did so would leave a mark.
    QFile activation(folder_.filePath(QStringLiteral("org.freedesktop.UDisks2.service")));
    ASSERT_TRUE(activation.open(QIODevice::WriteOnly));
    activation.write(QStringLiteral("[D-BUS Service]\nName=org.freedesktop.UDisks2\n"
                                    "Exec=/usr/bin/touch %1/started\nUser=root\n")
                         .arg(folder_.path())
                         .toUtf8());
    activation.close();
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                   QStringLiteral("--config-file=") + config.fileName()});
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    ASSERT_FALSE(address_.isEmpty()) << "dbus-daemon did not start";
    bus_ = QDBusConnection::connectToBus(address_, busName_);
    ASSERT_TRUE(bus_.isConnected());
}

void ServicioDeDiscosTest::TearDown() {
    QDBusConnection::disconnectFromBus(busName_);
    service_.closeWriteChannel();  // the stand-in service ends when its input closes
    service_.waitForFinished(5000);
    for (QProcess* p : {&service_, &daemon_}) {
        p->kill();
        p->waitForFinished(5000);
    }
}

void ServicioDeDiscosTest::StartService(const QString& devices) {
    QStringList args{QStringLiteral(QTL99_FAKE_UDISKS), address_};
    if (!devices.isEmpty())
        args << devices;
    service_.start(QStringLiteral("/usr/bin/python3"), args);
    while (!service_.canReadLine() && service_.waitForReadyRead(10000)) {
    }
    ASSERT_EQ(service_.readLine().trimmed(), "ready") << service_.readAllStandardError().data();
}

void ServicioDeDiscosTest::Control(const QString& method, const QVariantList& args) {
    QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.UDisks2"),
                                                    QStringLiteral("/org/freedesktop/UDisks2"),
                                                    QStringLiteral("org.qtl99.FakeUDisks"), method);
    m.setArguments(args);
    const QDBusMessage reply = bus_.call(m, QDBus::Block, 5000);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());
}

}  // namespace qtltest
