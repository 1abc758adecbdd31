// Lights, motors and the port selector: the bytes each control puts on the
// line, and on which port.
#include "logcapture.h"
#include "mainwindow.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

using Action = std::function<void(MainWindow &)>;
Q_DECLARE_METATYPE(Action)

namespace {

Action click(const char *name)
{
    return [name](MainWindow &w) { child<QAbstractButton>(w, name)->click(); };
}

Action slideLedTo(int value)
{
    return [value](MainWindow &w) { child<QSlider>(w, "verticalSliderLED")->setValue(value); };
}

Action pressOnLedSlider(Qt::Key key)
{
    return [key](MainWindow &w) { QTest::keyClick(child<QSlider>(w, "verticalSliderLED"), key); };
}

Action invoke(const char *slot)
{
    return [slot](MainWindow &w) { QVERIFY(QMetaObject::invokeMethod(&w, slot)); };
}

Action sequence(const QList<Action> &actions)
{
    return [actions](MainWindow &w) {
        for (const Action &action : actions)
            action(w);
    };
}

} // namespace

class TestControls : public QuietTestCase
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void lightChoiceIsExclusive();
    void levelLabelFollowsTheSlider();
    void replyToACommandIsDecoded();
    void portSelector();
};

void TestControls::commands_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<QByteArrayList>("sent");

    QTest::newRow("LED1") << click("radioButton_LED1") << QByteArrayList{"E0200\r"};
    QTest::newRow("LED2") << click("radioButton_LED2") << QByteArrayList{"E0300\r"};
    QTest::newRow("LED3") << click("radioButton_LED3") << QByteArrayList{"E0400\r"};
    QTest::newRow("LED4") << click("radioButton_LED4") << QByteArrayList{"E0500\r"};
    QTest::newRow("ETEINDRE") << click("radioButton_LED0") << QByteArrayList{"E0000\r"};
    QTest::newRow("LED3 twice") << sequence({click("radioButton_LED3"), click("radioButton_LED3")})
                                << QByteArrayList{"E0400\r", "E0400\r"};
    QTest::newRow("light slot while its button is not selected")
        << sequence({invoke("on_radioButton_LED1_clicked"), invoke("on_radioButton_LED0_clicked")})
        << QByteArrayList{};
    QTest::newRow("LED complet right after start")
        << click("pushButton_LEDtous") << QByteArrayList{"E0190\r"};
    QTest::newRow("slider to 40, LED complet")
        << sequence({slideLedTo(40), click("pushButton_LEDtous")})
        << QByteArrayList{"E0150\r", "E0140\r"};
    QTest::newRow("slider to 5, LED complet")
        << sequence({slideLedTo(5), click("pushButton_LEDtous")})
        << QByteArrayList{"E0150\r", "E015\r"};
    QTest::newRow("slider to 0, LED complet")
        << sequence({slideLedTo(0), click("pushButton_LEDtous")})
        << QByteArrayList{"E0150\r", "E010\r"};
    QTest::newRow("slider down and back to the top, LED complet")
        << sequence({pressOnLedSlider(Qt::Key_Down), pressOnLedSlider(Qt::Key_Up),
                     click("pushButton_LEDtous")})
        << QByteArrayList{"E0150\r", "E0150\r", "E0199\r"};
    QTest::newRow("three Up presses from 40")
        << sequence({slideLedTo(40), pressOnLedSlider(Qt::Key_Up), pressOnLedSlider(Qt::Key_Up),
                     pressOnLedSlider(Qt::Key_Up), click("pushButton_LEDtous")})
        << QByteArrayList{"E0150\r", "E0150\r", "E0150\r", "E0150\r", "E0170\r"};
    QTest::newRow("Page Up from 95 stops at 99, Up then sends nothing")
        << sequence(
               {slideLedTo(95), pressOnLedSlider(Qt::Key_PageUp), pressOnLedSlider(Qt::Key_Up)})
        << QByteArrayList{"E0150\r", "E0150\r"};
    QTest::newRow("slots no control reaches")
        << sequence({invoke("on_pushButton_LED1_clicked"), invoke("on_pushButton_LED2_clicked"),
                     invoke("on_pushButton_LED3_clicked"), invoke("on_pushButton_LED4_clicked")})
        << QByteArrayList{"E0200\r", "E0300\r", "E0400\r", "E0500\r"};
    QTest::newRow("H") << click("pushButtonMoteurHaut") << QByteArrayList{"J01010\r"};
    QTest::newRow(">") << click("pushButtonMoteurDroit") << QByteArrayList{"K01010\r"};
    QTest::newRow("B") << click("pushButtonMoteurBas") << QByteArrayList{"J02010\r"};
    QTest::newRow("<") << click("pushButtonMoteurGauche") << QByteArrayList{"K02010\r"};
    QTest::newRow("H three times")
        << sequence({click("pushButtonMoteurHaut"), click("pushButtonMoteurHaut"),
                     click("pushButtonMoteurHaut")})
        << QByteArrayList{"J01010\r", "J01010\r", "J01010\r"};
    QTest::newRow("PARKING") << click("pushButton") << QByteArrayList{};
    QTest::newRow("refresh right after start")
        << click("pushButtonActualiser") << QByteArrayList{"R\r"};
}

void TestControls::commands()
{
    QFETCH(Action, action);
    QFETCH(QByteArrayList, sent);
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    com1.answerAlways(workedExampleReply());
    MainWindow window;
    LogCapture log;

    action(window);

    // Each command is one transaction of its own, on COM1.
    QCOMPARE(com1.commands(), sent);
    QCOMPARE(com1.received(), sent.join());
    QCOMPARE(log.linesStartingWith("numport=").size(), sent.size());
    QCOMPARE(log.linesStartingWith("Port fermé.").size(), sent.size());
}

void TestControls::lightChoiceIsExclusive()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    com1.answerAlways(workedExampleReply());
    MainWindow window;
    auto *led2 = child<QRadioButton>(window, "radioButton_LED2");
    auto *off = child<QRadioButton>(window, "radioButton_LED0");
    led2->click();
    off->click();
    QVERIFY(off->isChecked());
    QVERIFY(!led2->isChecked());
    child<QRadioButton>(window, "radioButton_LED1")->click();
    QVERIFY(!off->isChecked());
    QCOMPARE(com1.commands(), (QByteArrayList{"E0300\r", "E0000\r", "E0200\r"}));
}

void TestControls::levelLabelFollowsTheSlider()
{
    SerialFolder folder; // no port: the commands fail, the widgets keep what the operator did
    MainWindow window;
    auto *slider = child<QSlider>(window, "verticalSliderLED");
    auto *label = child<QLabel>(window, "labelLEDcomplet");
    QCOMPARE(label->text(), QString("100%"));
    for (const auto &[value, text] : {std::pair{40, "40%"}, {0, "0%"}, {99, "99%"}, {5, "5%"}}) {
        slider->setValue(value);
        QCOMPARE(label->text(), QString(text));
    }
}

void TestControls::replyToACommandIsDecoded()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    com1.answerAlways(withBytesAt(workedExampleReply(), 61, "180030"));
    MainWindow window;
    child<QPushButton>(window, "pushButtonMoteurHaut")->click();
    QCOMPARE(child<QLCDNumber>(window, "lcdNumberAzimut")->intValue(), 180);
    QCOMPARE(child<QLCDNumber>(window, "lcdNumberElevation")->intValue(), 30);
    QCOMPARE(child<QLabel>(window, "labelMesureVBATval")->text(), QString("12.5"));
}

void TestControls::portSelector()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    PtyController com3(folder.pathOf(3));
    com1.answerAlways(workedExampleReply());
    com3.answerAlways(workedExampleReply());
    MainWindow window;
    LogCapture log;
    auto *slider = child<QSlider>(window, "verticalSliderPortSerie");
    auto *label = child<QLabel>(window, "labelNumPortSerie");

    slider->setValue(3);
    QCOMPARE(label->text(), QString("COM3"));
    QVERIFY(log.lines().isEmpty()); // choosing a port opens and sends nothing
    child<QPushButton>(window, "pushButtonMoteurGauche")->click();
    QCOMPARE(com3.commands(), QByteArrayList{"K02010\r"});
    QVERIFY(com1.commands().isEmpty());

    slider->setValue(slider->maximum());
    QCOMPARE(label->text(), QString("COM20"));
    slider->setValue(15);
    QTest::keyClick(slider, Qt::Key_PageDown);
    QCOMPARE(slider->value(), 5);
    QCOMPARE(label->text(), QString("COM5"));
    slider->setValue(1);
    child<QPushButton>(window, "pushButtonActualiser")->click();
    QCOMPARE(com1.commands(), QByteArrayList{"R\r"});
    QCOMPARE(log.linesStartingWith("numport="),
             (QStringList{"numport= \"COM3\"", "numport= \"COM1\""}));
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
