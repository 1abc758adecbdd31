// Reading the reply's fields, and decoding whole replies into the log and the displays.
#include "logcapture.h"
#include "mainwindow.h"
#include "quiettestcase.h"
#include "replyfields.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const char *const barNames[] = {"progressBarMesureLumEst", "progressBarMesureLumOuest",
                                "progressBarMesureLumSud", "progressBarMesureLumNord",
                                "progressBarMesureVPAN",   "progressBarMesureVBAT",
                                "progressBarMesureIPAN",   "progressBarMesureIBAT"};
const char *const labelNames[] = {"labelMesureLumEstVal", "labelMesureLumOuestVal",
                                  "labelMesureLumSudVal", "labelMesureLumNordVal",
                                  "labelMesureVPANval",   "labelMesureVBATval",
                                  "labelMesureIPANval",   "labelMesureIBATval"};
const char *const numberLabels[] = {
    "valLumEST=", "valLumOUEST=", "valLumSUD=", "valLumNORD=",     "valVPAN=",
    "valVBAT=",   "valIPAN=",     "valIBAT=",   "valAngleAzimut=", "valAngleElevation="};
const char *const flagLabels[] = {"valBatteriePleine=", "valBatterieVide=", "valBatterieCharge="};

QByteArray example()
{
    return workedExampleReply();
}

QString checkedBatteryButton(QObject &window)
{
    for (const char *name :
         {"radioButton_batterieCharge", "radioButton_batteriePleine", "radioButton_batterieVide"})
        if (child<QRadioButton>(window, name)->isChecked())
            return child<QRadioButton>(window, name)->text();
    return "none";
}

} // namespace

class TestDecoder : public QuietTestCase
{
    Q_OBJECT

private slots:
    void numericField_data();
    void numericField();
    void flagField_data();
    void flagField();
    void decode_data();
    void decode();
    void noFlagLeavesButtonsUnchecked();
};

void TestDecoder::numericField_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("value");
    // The field under test starts at position 2.
    const auto row = [](const char *name, const QByteArray &field, int value) {
        QTest::newRow(name) << QByteArray("xx") + field << value;
    };
    row("three digits", "120", 120);
    row("leading zeros", "007", 7);
    row("leading blank", " 12", 12);
    row("two leading blanks", "  3", 3);
    row("leading tab", "\t42", 42);
    row("minus sign", "-05", -5);
    row("plus sign", "+07", 7);
    row("lowest", "-99", -99);
    row("highest", "999", 999);
    row("trailing blank", "12 ", 0);
    row("blank inside", "1 2", 0);
    row("blank after sign", "- 5", 0);
    row("two signs", "--5", 0);
    row("sign alone", "-xx", 0);
    row("letter at the end", "12a", 0);
    row("letter first", "a12", 0);
    row("decimal point", "1.5", 0);
    row("blanks only", "   ", 0);
    row("cut by a NUL", QByteArray("1\0009", 3), 1);
    row("NUL first", QByteArray("\00099", 3), 0);
    row("cut by the end, two bytes", "12", 12);
    row("cut by the end, one byte", "8", 8);
    row("beyond the end", "", 0);
    row("bytes after the field", "0451234", 45);
    row("high bytes", "\xff\xfe\xfd", 0);
}

void TestDecoder::numericField()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, value);
    QCOMPARE(readNumericField(reply, 2), value);
}

void TestDecoder::flagField_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("set");
    QTest::newRow("set") << QByteArray("xx01") << "01" << true;
    QTest::newRow("not set") << QByteArray("xx00") << "00" << false;
    QTest::newRow("reversed") << QByteArray("xx10") << "10" << false;
    QTest::newRow("blank first") << QByteArray("xx 1") << " 1" << false;
    QTest::newRow("blank after") << QByteArray("xx1 ") << "1 " << false;
    QTest::newRow("cut by the end") << QByteArray("xx0") << "0" << false;
    QTest::newRow("beyond the end") << QByteArray("x") << "" << false;
    QTest::newRow("cut by a NUL") << QByteArray("xx0\0001", 5) << "0" << false;
    QTest::newRow("NUL first") << QByteArray("xx\00001", 5) << "" << false;
    QTest::newRow("two-byte character")
        << QByteArray("xx\xc3\xa9") << QString::fromUtf8("é") << false;
}

void TestDecoder::flagField()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, text);
    QFETCH(bool, set);
    QCOMPARE(readFlagField(reply, 2), text);
    QCOMPARE(isFlagSet(readFlagField(reply, 2)), set);
}

void TestDecoder::decode_data()
{
    QTest::addColumn<QByteArray>("reply");
    // east, west, south, north, VPAN, VBAT, IPAN, IBAT, azimuth, elevation
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<QStringList>("flags");  // full, empty, charging
    QTest::addColumn<QStringList>("labels"); // east, west, south, north, VPAN, VBAT, IPAN, IBAT
    QTest::addColumn<QString>("battery");    // the button checked afterwards

    const QList<int> exampleNumbers{120, 45, 33, 200, 138, 125, 40, 12, 90, 45};
    const QStringList exampleLabels{"120", "45", "33", "200", "13.8", "12.5", "400", "120"};
    const QList<int> zeros{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const QStringList zeroLabels{"0", "0", "0", "0", "0.0", "0.0", "0", "0"};

    QTest::newRow("worked example") << example() << exampleNumbers << QStringList{"01", "00", "00"}
                                    << exampleLabels << "Pleine";
    QTest::newRow("single byte") << QByteArray("R") << zeros << QStringList{"", "", ""}
                                 << zeroLabels << "Pleine";
    QTest::newRow("ends within the flags")
        << withBytesAt(example(), 37, "01").left(40)
        << QList<int>{120, 45, 33, 200, 138, 125, 40, 12, 0, 0} << QStringList{"0", "", "01"}
        << exampleLabels << "En charge";
    QTest::newRow("ends within the azimuth")
        << example().left(62) << QList<int>{120, 45, 33, 200, 138, 125, 40, 12, 0, 0}
        << QStringList{"01", "00", "00"} << exampleLabels << "Pleine";
    QTest::newRow("blanks and signs")
        << withBytesAt(example(), 2, " 12-05+07  3")
        << QList<int>{12, -5, 3, 7, 138, 125, 40, 12, 90, 45} << QStringList{"01", "00", "00"}
        << QStringList{"12", "-5", "3", "7", "13.8", "12.5", "400", "120"} << "Pleine";
    QTest::newRow("trailing blank, letters, point")
        << withBytesAt(example(), 2, "12 1a2abc1.5")
        << QList<int>{0, 0, 0, 0, 138, 125, 40, 12, 90, 45} << QStringList{"01", "00", "00"}
        << QStringList{"0", "0", "0", "0", "13.8", "12.5", "400", "120"} << "Pleine";
    QTest::newRow("NUL bytes") << withBytesAt(example(), 2, QByteArray("1\0009\00099", 6))
                               << QList<int>{1, 0, 33, 200, 138, 125, 40, 12, 90, 45}
                               << QStringList{"01", "00", "00"}
                               << QStringList{"1", "0", "33", "200", "13.8", "12.5", "400", "120"}
                               << "Pleine";
    QTest::newRow("out of the bars' ranges")
        << withBytesAt(example(), 25, "151-05201-01")
        << QList<int>{120, 45, 33, 200, 151, -5, 201, -1, 90, 45} << QStringList{"01", "00", "00"}
        << QStringList{"120", "45", "33", "200", "15.1", "-0.5", "2010", "-10"} << "Pleine";
    QTest::newRow("light above 255")
        << withBytesAt(example(), 2, "300")
        << QList<int>{300, 45, 33, 200, 138, 125, 40, 12, 90, 45} << QStringList{"01", "00", "00"}
        << QStringList{"300", "45", "33", "200", "13.8", "12.5", "400", "120"} << "Pleine";
    QTest::newRow("at the bars' maxima")
        << withBytesAt(withBytesAt(example(), 2, "255"), 25, "150150200200")
        << QList<int>{255, 45, 33, 200, 150, 150, 200, 200, 90, 45} << QStringList{"01", "00", "00"}
        << QStringList{"255", "45", "33", "200", "15.0", "15.0", "2000", "2000"} << "Pleine";
    QTest::newRow("leading zeros vanish")
        << withBytesAt(withBytesAt(example(), 2, "007"), 25, "005125005012")
        << QList<int>{7, 45, 33, 200, 5, 125, 5, 12, 90, 45} << QStringList{"01", "00", "00"}
        << QStringList{"7", "45", "33", "200", "0.5", "12.5", "50", "120"} << "Pleine";
    QTest::newRow("full and empty: empty stands")
        << withBytesAt(example(), 37, "000101") << exampleNumbers << QStringList{"01", "01", "00"}
        << exampleLabels << "Vide";
    QTest::newRow("all three: charging stands")
        << withBytesAt(example(), 37, "010101") << exampleNumbers << QStringList{"01", "01", "01"}
        << exampleLabels << "En charge";
    QTest::newRow("flags nearly set") << withBytesAt(example(), 37, "1 10 1") << exampleNumbers
                                      << QStringList{"10", " 1", "1 "} << exampleLabels << "Pleine";
    QTest::newRow("longer than 67 bytes")
        << example().left(67) + QByteArray(500, '9') << exampleNumbers
        << QStringList{"01", "00", "00"} << exampleLabels << "Pleine";
}

void TestDecoder::decode()
{
    QFETCH(QByteArray, reply);
    QFETCH(QList<int>, numbers);
    QFETCH(QStringList, flags);
    QFETCH(QStringList, labels);
    QFETCH(QString, battery);

    MainWindow window;
    window.decodeReceivedData(example()); // what the bars show before
    QList<int> before;
    for (const char *bar : barNames)
        before.append(child<QProgressBar>(window, bar)->value());

    LogCapture log;
    QCOMPARE(window.decodeReceivedData(reply), 0);

    QStringList expectedLog;
    for (int i = 0; i < 8; ++i)
        expectedLog.append(QString("%1 %2").arg(numberLabels[i]).arg(numbers[i]));
    for (int i = 0; i < 3; ++i)
        expectedLog.append(QString("%1 \"%2\"").arg(flagLabels[i], flags[i]));
    for (int i = 8; i < 10; ++i)
        expectedLog.append(QString("%1 %2").arg(numberLabels[i]).arg(numbers[i]));
    QCOMPARE(log.lines(), expectedLog);

    for (int i = 0; i < 8; ++i) {
        QCOMPARE(child<QLabel>(window, labelNames[i])->text(), labels[i]);
        auto *bar = child<QProgressBar>(window, barNames[i]);
        const int value = i >= 6 ? numbers[i] * 10 : numbers[i]; // currents in mA
        const bool inRange = value >= bar->minimum() && value <= bar->maximum();
        QCOMPARE(bar->value(), inRange ? value : before[i]);
    }
    QCOMPARE(checkedBatteryButton(window), battery);
    QCOMPARE(child<QLCDNumber>(window, "lcdNumberAzimut")->intValue(), numbers[8]);
    QCOMPARE(child<QLCDNumber>(window, "lcdNumberElevation")->intValue(), numbers[9]);
}

void TestDecoder::noFlagLeavesButtonsUnchecked()
{
    MainWindow window;
    window.decodeReceivedData(withBytesAt(example(), 37, "000000"));
    window.decodeReceivedData("R");
    QCOMPARE(checkedBatteryButton(window), QString("none"));
}

QTEST_MAIN(TestDecoder)
#include "tst_decoder.moc"
