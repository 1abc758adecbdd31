// Which device each "COMn" opens on Linux, and the list of ports the log shows.
#include "availableports.h"
#include "exchange.h"
#include "logcapture.h"
#include "quiettestcase.h"

#include <QtSerialPort>
#include <QtTest>

Q_DECLARE_METATYPE(PortSurvey)

class TestPorts : public QuietTestCase
{
    Q_OBJECT

private slots:
    void mapping_data();
    void mapping();
    void linksAndNotes();
    void thisMachinesPorts();
    void folderOfLinks();
};

void TestPorts::mapping_data()
{
    QTest::addColumn<PortSurvey>("survey");
    QTest::addColumn<QString>("devices"); // what COM1, COM2... open; a bare name is in /dev
    QTest::addColumn<QStringList>("lines");
    const ReportedPort s0{"/dev/ttyS0"}, s1{"/dev/ttyS1"}, s2{"/dev/ttyS2"},
        usb0{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI", 0x0403, 0x6001},
        usb1{"/dev/ttyUSB1", "CP2102 USB to UART Bridge Controller"},
        acm0{"/dev/ttyACM0", "Arduino Uno", "", "", 0x2341, 0x43};
    const QString ftdi = "  FT232R USB UART, FTDI, serial A50285BI, 0403:6001";
    const QString cp2102 = "  CP2102 USB to UART Bridge Controller";
    QTest::newRow("UART nodes only, ttyS1 without hardware")
        << PortSurvey{"/dev", false, {}, {s2, s0}} << "ttyS0 COM2 ttyS2 COM4"
        << QStringList{"  COM1  /dev/ttyS0", "  COM3  /dev/ttyS2"};
    QTest::newRow("an adapter beside UARTs")
        << PortSurvey{"/dev", false, {}, {s1, usb0, s2}} << "ttyUSB0 ttyS1 ttyS2 COM4"
        << QStringList{"  COM1  /dev/ttyUSB0" + ftdi, "  COM2  /dev/ttyS1", "  COM3  /dev/ttyS2"};
    QTest::newRow("UART and adapters, by device path")
        << PortSurvey{"/dev", false, {}, {usb0, s0, acm0}} << "ttyS0 ttyACM0 ttyUSB0 COM4"
        << QStringList{"  COM1  /dev/ttyS0", "  COM2  /dev/ttyACM0  Arduino Uno, 2341:0043",
                       "  COM3  /dev/ttyUSB0" + ftdi};
    QTest::newRow("/dev/COMn links win")
        << PortSurvey{"/dev", false, {{1, "/dev/ttyUSB1"}, {2, "/dev/pts/7"}}, {s0, usb1, usb0}}
        << "COM1 COM2 ttyS0 ttyUSB0 COM5"
        << QStringList{"  COM1  /dev/COM1 -> /dev/ttyUSB1" + cp2102, "  COM3  /dev/ttyS0",
                       "  COM4  /dev/ttyUSB0" + ftdi};
    QTest::newRow("two adapters") << PortSurvey{"/dev", false, {}, {usb1, usb0}}
                                  << "ttyUSB0 ttyUSB1 COM3"
                                  << QStringList{"  COM1  /dev/ttyUSB0" + ftdi,
                                                 "  COM2  /dev/ttyUSB1" + cp2102};
    QTest::newRow("ttyUSB0 gone: ttyUSB1 is COM1; more numbers than ports")
        << PortSurvey{"/dev", false, {}, {usb1}} << "ttyUSB1 COM2 COM3"
        << QStringList{"  COM1  /dev/ttyUSB1" + cp2102};
    QTest::newRow("TAV_SERIAL_DIR: its links only")
        << PortSurvey{"/srv/ports", true, {{2, "/dev/ttyUSB0"}}, {s0, usb0}}
        << "/srv/ports/COM1 /srv/ports/COM2 /srv/ports/COM3"
        << QStringList{"  COM2  /srv/ports/COM2 -> /dev/ttyUSB0" + ftdi, "  none  /dev/ttyS0"};
}

void TestPorts::mapping()
{
    QFETCH(PortSurvey, survey);
    QFETCH(QString, devices);
    QFETCH(QStringList, lines);
    const PortMap map = mapPorts(survey);
    const QStringList expected = devices.split(' ');
    for (int n = 1; n <= expected.size(); ++n)
        QCOMPARE(map.deviceFor(n), QDir("/dev").filePath(expected[n - 1]));
    QCOMPARE(map.lines(), lines);
}

// Every link that leads somewhere is a port; a port not numbered as its
// device suggests says why, a UART naming the link that took its number.
void TestPorts::linksAndNotes()
{
    const ReportedPort s0{"/dev/ttyS0", "", "", "", -1, -1, 4}, s1{"/dev/ttyS1"},
        usb0{"/dev/ttyUSB0"};
    for (const auto &[survey, expected] :
         {std::pair{
              PortSurvey{"/dev", false, {{1, "/dev/ttyUSB0"}, {3, "/dev/pts/3"}}, {s0, s1, usb0}},
              QStringList{"1 /dev/COM1 /dev/ttyUSB0 ", "2 /dev/ttyS1  ", "3 /dev/COM3 /dev/pts/3 ",
                          "4 /dev/ttyS0  not COM1: the link /dev/COM1 took that number"}},
          {PortSurvey{"/srv/ports", true, {{2, "/dev/ttyUSB0"}}, {s0, usb0}},
           {"2 /srv/ports/COM2 /dev/ttyUSB0 ", "0 /dev/ttyS0  no link to it in TAV_SERIAL_DIR"}}}) {
        QStringList ports;
        for (const MappedPort &p : mapPorts(survey).ports)
            ports.append(QString("%1 %2 %3 %4").arg(p.number).arg(p.device, p.target, p.note));
        QCOMPARE(ports, expected);
    }
    QCOMPARE(uartTypeName(s0.uartType), "16550A UART");
}

// What this machine reports: a number no port answers to fails at once with
// the toolkit's error; each listed port is one the system reports, and its
// number opens it; a reported port left out is a UART without hardware.
void TestPorts::thisMachinesPorts()
{
    qunsetenv("TAV_SERIAL_DIR");
    const QStringList lines = lookUpPort(1, true).lines;
    int unused = 1;
    while (QFileInfo::exists(serialDeviceFor(unused)))
        ++unused;
    QCOMPARE(serialDeviceFor(unused), "/dev/" + portNameFor(unused));
    QSerialPort probe(serialDeviceFor(unused));
    QVERIFY(!probe.open(QIODevice::ReadWrite));
    LogCapture log;
    QCOMPARE(serialExchange(unused, "R\r").status, ExchangeResult::NoDevice);
    QCOMPARE(log.lines(),
             (QStringList{"Ports disponibles :"} + lines +
              QStringList{"numport= \"" + portNameFor(unused) + "\"",
                          "Erreur lors de l'ouverture du port : \"" + probe.errorString() + "\""}));

    const QList<QSerialPortInfo> reported = QSerialPortInfo::availablePorts();
    if (reported.isEmpty())
        QSKIP("the system reports no serial port on this machine");
    for (const QSerialPortInfo &info : reported) {
        const QStringList its = lines.filter(
            QRegularExpression("^  COM\\d+  (\\S+ -> )?" +
                               QRegularExpression::escape(info.systemLocation()) + "( |$)"));
        QFile type("/sys/class/tty/" + info.portName() + "/type");
        QVERIFY2(its.size() == 1 || (type.open(QIODevice::ReadOnly) && type.readAll() == "0\n"),
                 qPrintable(info.systemLocation()));
        const QFileInfo opened(serialDeviceFor(portNumberOf(its.value(0).section(' ', 2, 2))));
        QVERIFY(its.isEmpty() || opened.canonicalFilePath() == info.systemLocation());
    }
}

void TestPorts::folderOfLinks()
{
    qputenv("TAV_SERIAL_DIR", "/srv/ports");
    QCOMPARE(serialDeviceFor(3), QString("/srv/ports/COM3"));
    qputenv("TAV_SERIAL_DIR", "ports");
    QCOMPARE(serialDeviceFor(12), QDir::current().absoluteFilePath("ports/COM12"));
    qunsetenv("TAV_SERIAL_DIR");
}

QTEST_GUILESS_MAIN(TestPorts)
#include "tst_ports.moc"
