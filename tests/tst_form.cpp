// The window as the operator first sees it: the form's objects, texts and
// properties, the menus, the about box, the slot table and the wiring.
#include "logcapture.h"
#include "mainwindow.h"
#include "quiettestcase.h"
#include "slotspy.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// name, class, parent, geometry ("x,y,w,h"; "-" for a non-widget, "*" where
// the window or a layout places it) | visible text, in the order the form
// creates them.
const char *const formTree = R"(
MainWindow                    MainWindow   -                    617x684         | TAV : gestion panneau solaire
actionEnregistrer_les_donn_es QAction      MainWindow           -               | Enregistrer les données
actionQuitter                 QAction      MainWindow           -               | Quitter
actionA_propos                QAction      MainWindow           -               | A propos
actionVersion_1               QAction      MainWindow           -               | Version 1.2
centralWidget                 QWidget      MainWindow           *
pushButtonActualiser          QPushButton  centralWidget        60,530,138,28   | Actualiser les mesures
groupBoxLum                   QGroupBox    centralWidget        10,10,231,301   | Luminosité
progressBarMesureLumSud       QProgressBar groupBoxLum          70,20,41,191
labelMesureLumEst             QLabel       groupBoxLum          20,220,41,16    | EST
labelMesureLumOuest           QLabel       groupBoxLum          120,220,41,16   | OUEST
labelMesureLumNord            QLabel       groupBoxLum          170,220,41,16   | NORD
progressBarMesureLumNord      QProgressBar groupBoxLum          170,20,41,191
progressBarMesureLumEst       QProgressBar groupBoxLum          20,20,41,191
labelMesureLumSud             QLabel       groupBoxLum          70,220,41,16    | SUD
progressBarMesureLumOuest     QProgressBar groupBoxLum          120,20,41,191
labelMesureLumOuestVal        QLabel       groupBoxLum          120,240,41,16   | 0
labelMesureLumSudVal          QLabel       groupBoxLum          70,240,41,16    | 0
labelMesureLumNordVal         QLabel       groupBoxLum          170,240,41,16   | 0
labelMesureLumEstVal          QLabel       groupBoxLum          20,240,41,16    | 0
groupBoxMesureUI              QGroupBox    centralWidget        240,10,351,301  | Energie
labelMesureVBAT_4             QLabel       groupBoxMesureUI     170,230,31,16   | IPAN
progressBarMesureIBAT         QProgressBar groupBoxMesureUI     120,30,41,191
labelMesureVPAN               QLabel       groupBoxMesureUI     70,230,31,16    | VPAN
labelMesureVBAT               QLabel       groupBoxMesureUI     20,230,31,16    | VBAT
labelMesureVBAT_3             QLabel       groupBoxMesureUI     120,230,31,16   | IBAT
progressBarMesureVBAT         QProgressBar groupBoxMesureUI     20,30,41,191
progressBarMesureIPAN         QProgressBar groupBoxMesureUI     170,30,41,191
progressBarMesureVPAN         QProgressBar groupBoxMesureUI     70,30,41,191
labelMesureVBATval            QLabel       groupBoxMesureUI     20,250,31,16    | 12.5
labelMesureVPANval            QLabel       groupBoxMesureUI     70,250,31,16    | 10.8
labelMesureIBATval            QLabel       groupBoxMesureUI     120,250,31,16   | 400
labelMesureIPANval            QLabel       groupBoxMesureUI     170,250,31,16   | 1000
labelMesureVBAT_2             QLabel       groupBoxMesureUI     20,270,31,16    | V
labelMesureVPAN_2             QLabel       groupBoxMesureUI     70,270,31,16    | V
labelMesureVBAT_5             QLabel       groupBoxMesureUI     120,270,31,16   | mA
labelMesureVBAT_6             QLabel       groupBoxMesureUI     170,270,31,16   | mA
GroupBoxEtatBatterie          QGroupBox    groupBoxMesureUI     220,10,120,121  | Etat Batterie :
layoutWidget                  QWidget      GroupBoxEtatBatterie 20,30,86,76
verticalLayout                QVBoxLayout  layoutWidget         -
radioButton_batterieCharge    QRadioButton layoutWidget         *               | En charge
radioButton_batteriePleine    QRadioButton layoutWidget         *               | Pleine
radioButton_batterieVide      QRadioButton layoutWidget         *               | Vide
groupBoxLed                   QGroupBox    centralWidget        290,330,211,181 | LEDs
pushButton_LEDtous            QPushButton  groupBoxLed          10,140,93,28    | LED complet
verticalSliderLED             QSlider      groupBoxLed          50,20,22,91
labelLEDcomplet               QLabel       groupBoxLed          40,120,51,16    | 100%
radioButton_LED1              QRadioButton groupBoxLed          110,20,95,20    | LED1
radioButton_LED2              QRadioButton groupBoxLed          110,40,95,20    | LED2
radioButton_LED3              QRadioButton groupBoxLed          110,60,95,21    | LED3
radioButton_LED4              QRadioButton groupBoxLed          110,80,95,20    | LED4
radioButton_LED0              QRadioButton groupBoxLed          110,100,95,20   | ETEINDRE
groupBox                      QGroupBox    centralWidget        520,320,81,291  | Port SERIE
verticalSliderPortSerie       QSlider      groupBox             20,20,41,231
labelNumPortSerie             QLabel       groupBox             20,260,41,16    | COM1
groupBoxMoteurs               QGroupBox    centralWidget        20,330,271,181  | Moteurs
pushButtonMoteurHaut          QPushButton  groupBoxMoteurs      40,20,41,41     | H
pushButtonMoteurGauche        QPushButton  groupBoxMoteurs      0,60,41,41      | <
pushButtonMoteurDroit         QPushButton  groupBoxMoteurs      80,60,41,41     | >
pushButtonMoteurBas           QPushButton  groupBoxMoteurs      40,100,41,41    | B
label_azimut                  QLabel       groupBoxMoteurs      130,40,53,16    | Azimut :
label_elevation               QLabel       groupBoxMoteurs      100,70,81,16    | Elévation :
lcdNumberAzimut               QLCDNumber   groupBoxMoteurs      190,40,64,23
lcdNumberElevation            QLCDNumber   groupBoxMoteurs      190,70,64,23
pushButton                    QPushButton  groupBoxMoteurs      150,120,93,28   | PARKING
label_TAV                     QLabel       centralWidget        170,570,311,41  | TAV  panneau solaire
checkBoxBoucle                QCheckBox    centralWidget        250,540,201,20  | en boucle (choisir COM avant)
menuBar                       QMenuBar     MainWindow           0,0,617,26
menuFichier                   QMenu        menuBar              *               | Fichier
menuAide                      QMenu        menuBar              *               | Aide
mainToolBar                   QToolBar     MainWindow           *               | Gestion Panneau Solaire
statusBar                     QStatusBar   MainWindow           *
)";

// object (or all:Class), property, value: what the form sets, and the
// starting values of the displays and controls.
const char *const formProperties = R"(
MainWindow                 styleSheet         \ncolor: rgb(0, 0, 0);
MainWindow                 animated           true
pushButtonActualiser       styleSheet         color: rgb(255, 0, 0);
label_TAV                  styleSheet         color: rgb(170, 0, 255);
label_TAV                  scaledContents     true
label_TAV                  wordWrap           true
groupBoxLum                contextMenuPolicy  4
GroupBoxEtatBatterie       enabled            true
verticalLayout             spacing            6
all:QLabel                 alignment          132
label_azimut               alignment          130
label_elevation            alignment          130
all:QProgressBar           minimum            0
all:QProgressBar           orientation        2
all:QProgressBar           textVisible        false
all:QProgressBar           textDirection      1
all:QProgressBar           format             %pV
all:QProgressBar           maximum            255
all:QProgressBar           value              12
progressBarMesureVBAT      maximum            150
progressBarMesureVBAT      value              120
progressBarMesureVPAN      maximum            150
progressBarMesureVPAN      value              100
progressBarMesureIBAT      maximum            2000
progressBarMesureIBAT      value              300
progressBarMesureIPAN      maximum            2000
progressBarMesureIPAN      value              1000
all:QRadioButton           checked            false
all:QRadioButton           autoExclusive      true
all:QPushButton            styleSheet         color: rgb(85, 0, 255);
all:QPushButton            autoRepeat         false
pushButton                 styleSheet
pushButtonActualiser       styleSheet         color: rgb(255, 0, 0);
verticalSliderLED          minimum            0
verticalSliderLED          maximum            99
verticalSliderLED          singleStep         10
verticalSliderLED          pageStep           10
verticalSliderLED          value              99
verticalSliderLED          sliderPosition     99
verticalSliderLED          tracking           false
verticalSliderLED          orientation        2
verticalSliderPortSerie    minimum            1
verticalSliderPortSerie    maximum            20
verticalSliderPortSerie    singleStep         1
verticalSliderPortSerie    pageStep           10
verticalSliderPortSerie    value              1
verticalSliderPortSerie    tracking           true
verticalSliderPortSerie    invertedAppearance false
verticalSliderPortSerie    orientation        2
all:QLCDNumber             digitCount         5
all:QLCDNumber             mode               1
all:QLCDNumber             segmentStyle       2
lcdNumberAzimut            lineWidth          1
lcdNumberAzimut            midLineWidth       0
lcdNumberAzimut            smallDecimalPoint  true
lcdNumberAzimut            intValue           50
lcdNumberElevation         smallDecimalPoint  false
lcdNumberElevation         intValue           0
checkBoxBoucle             checked            false
checkBoxBoucle             tristate           false
)";

// The toolkit names some of its own helper objects ("qt_..." and the main
// window's "_layout"); they are not the form's.
bool isFormObject(const QObject *object)
{
    const QString name = object->objectName();
    return !name.isEmpty() && !name.startsWith("qt_") && !name.startsWith('_');
}

QString geometryOf(const QObject *object, const QStringList &expected)
{
    const auto *widget = qobject_cast<const QWidget *>(object);
    if (!widget)
        return "-";
    if (expected.value(3) == "*")
        return "*";
    if (widget->isWindow())
        return QString("%1x%2").arg(widget->width()).arg(widget->height());
    const QRect r = widget->geometry();
    return QString("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// Depth first, children in creation order: the form's record order.
void walk(const QObject *object, QList<const QObject *> &out)
{
    if (isFormObject(object))
        out.append(object);
    for (const QObject *child : object->children())
        walk(child, out);
}

QString visibleText(const QObject *object)
{
    if (auto *action = qobject_cast<const QAction *>(object))
        return action->text();
    if (auto *menu = qobject_cast<const QMenu *>(object))
        return menu->title();
    if (auto *group = qobject_cast<const QGroupBox *>(object))
        return group->title();
    if (auto *button = qobject_cast<const QAbstractButton *>(object))
        return button->text();
    if (auto *label = qobject_cast<const QLabel *>(object))
        return label->text();
    if (auto *widget = qobject_cast<const QWidget *>(object))
        return widget->windowTitle();
    return QString();
}

// What an operator could notice of every named widget.
QStringList snapshot(const MainWindow &window)
{
    QList<const QObject *> objects;
    walk(&window, objects);
    QStringList state;
    for (const QObject *object : objects) {
        QString line = object->objectName() + " " + visibleText(object);
        if (auto *widget = qobject_cast<const QWidget *>(object))
            line += QString(" %1 %2").arg(widget->isVisible()).arg(widget->pos().x());
        for (const char *property : {"value", "checked", "intValue"})
            line += " " + object->property(property).toString();
        state.append(line);
    }
    return state;
}

// Records which texts the form asks to translate, and in which context.
class RecordingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *source, const char *disambiguation,
                      int n) const override
    {
        requests.append(QStringList{context, QString::fromUtf8(source),
                                    disambiguation ? disambiguation : "", QString::number(n)});
        return QString();
    }
    mutable QList<QStringList> requests;
};

const QString aboutText = QString::fromUtf8(
    "Gestionnaire du panneau solaire developpé par Q.M.\r\n"
    "En cas de dysfonctinnement liaison série : \r\n"
    "lancer YAT\r\n"
    "envoyer R vers la liaison série\r\n"
    "fermer YAT et relancer le logiciel...\r\n"
    "\r\n"
    "i_elum    0x100 //emission vers le module luminosite\r\n"
    "i_rlum    0x101 //reception depuis le module luminosite\r\n"
    "i_eecl    0x200 //emission vers le module eclairage\r\n"
    "i_recl    0x201 //reception depuis le module eclairage\r\n"
    "i_ebat    0x300 //emission vers le module energie\r\n"
    "i_rbat    0x301 //reception depuis le module energie\r\n"
    "i_emot_m  0x400 //emission vers le module moteur pour demande de donnees\r\n"
    "i_rmot    0x401 //reception depuis le module moteur\r\n"
    "i_emot_c  0x402 //emission vers le module moteur pour commandes elevation\r\n");

} // namespace

class TestForm : public QuietTestCase
{
    Q_OBJECT

private slots:
    void initTestCase();
    void objectTree();
    void visibleTexts();
    void textsGoThroughTranslation();
    void properties_data();
    void properties();
    void startingState();
    void menusAndBars();
    void aboutBox();
    void slotTable();
    void wiring();
    void quitEndsTheEventLoop();

private:
    QTemporaryDir noPorts;
};

void TestForm::initTestCase()
{
    // Any transaction a control starts goes to a folder without ports: it fails at once.
    qputenv("TAV_SERIAL_DIR", noPorts.path().toUtf8());
    QuietTestCase::initTestCase();
}

void TestForm::objectTree()
{
    MainWindow window;
    QList<const QObject *> objects;
    walk(&window, objects);
    const QStringList expected = QString::fromUtf8(formTree).trimmed().split('\n');
    QCOMPARE(objects.size(), expected.size());
    QCOMPARE(objects.size(), 72); // the window and the 71 objects of its form
    for (int i = 0; i < expected.size(); ++i) {
        const QStringList want = expected[i].section('|', 0, 0).simplified().split(' ');
        const QObject *object = objects[i];
        const QString parent = object->parent() ? object->parent()->objectName() : "-";
        const QString got = QStringList{object->objectName(), object->metaObject()->className(),
                                        parent, geometryOf(object, want)}
                                .join(' ');
        QCOMPARE(got, want.join(' '));
    }
}

void TestForm::visibleTexts()
{
    QMap<QString, QString> expected;
    for (const QString &line : QString::fromUtf8(formTree).trimmed().split('\n'))
        if (line.contains('|'))
            expected.insert(line.section(' ', 0, 0), line.section("| ", 1));
    MainWindow window;
    QList<const QObject *> objects;
    walk(&window, objects);
    QMap<QString, QString> shown;
    for (const QObject *object : objects)
        if (!visibleText(object).isEmpty())
            shown.insert(object->objectName(), visibleText(object));
    QCOMPARE(shown, expected);
}

void TestForm::textsGoThroughTranslation()
{
    RecordingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    MainWindow window;
    QCoreApplication::removeTranslator(&translator);

    QStringList sources;
    for (const QStringList &request : translator.requests) {
        QCOMPARE(request[0], QString("MainWindow"));
        QCOMPARE(request[2], QString()); // no disambiguation
        QCOMPARE(request[3], QString("-1"));
        sources.append(request[1]);
    }
    QCOMPARE(sources.first(), QString("TAV : gestion panneau solaire"));
    QCOMPARE(sources.last(), QString("Gestion Panneau Solaire"));
    QCOMPARE(sources.count("%pV"), 8);
    for (const char *text : {"Luminosité", "TAV  panneau solaire", "en boucle (choisir COM avant)",
                             "Elévation :", "COM1", "100%", "Fichier", "Aide"})
        QVERIFY2(sources.contains(QString::fromUtf8(text)), text);
}

void TestForm::properties_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("expected");
    // A class row applies to every object of that class that no later row names.
    MainWindow window;
    QList<const QObject *> objects;
    walk(&window, objects);
    QMap<QPair<QString, QByteArray>, QString> expected;
    for (const QString &line : QString::fromUtf8(formProperties).trimmed().split('\n')) {
        const QStringList f = line.simplified().split(' ');
        const QString value = line.simplified().section(' ', 2).replace("\\n", "\n");
        for (const QObject *object : objects)
            if (object->objectName() == f[0] ||
                "all:" + QString(object->metaObject()->className()) == f[0])
                expected.insert({object->objectName(), f[1].toUtf8()}, value);
    }
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QTest::addRow("%s.%s", qPrintable(it.key().first), it.key().second.constData())
            << it.key().first << it.key().second << it.value();
}

void TestForm::properties()
{
    QFETCH(QString, object);
    QFETCH(QByteArray, property);
    QFETCH(QString, expected);
    MainWindow window;
    const QVariant actual = child<QObject>(window, object.toUtf8())->property(property);
    QVERIFY2(actual.isValid(), "no such property");
    bool isNumber = false;
    const int number = expected.toInt(&isNumber);
    if (isNumber)
        QCOMPARE(actual.toInt(), number);
    else
        QCOMPARE(actual.toString(), expected);
}

void TestForm::startingState()
{
    MainWindow window;
    // The polling timer exists, belongs to the window and is stopped.
    const auto timers = window.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(timers.size(), 1);
    QVERIFY(!timers.first()->isActive());
    // Only label_TAV has a font of its own.
    for (QWidget *widget : window.findChildren<QWidget *>())
        QCOMPARE(widget->testAttribute(Qt::WA_SetFont), widget->objectName() == "label_TAV");
    QCOMPARE(child<QLabel>(window, "label_TAV")->font().pointSize(), 20);
}

void TestForm::menusAndBars()
{
    MainWindow window;
    auto *bar = child<QMenuBar>(window, "menuBar");
    auto *fichier = child<QMenu>(window, "menuFichier");
    auto *aide = child<QMenu>(window, "menuAide");
    QCOMPARE(window.menuBar(), bar);
    QCOMPARE(bar->actions(), (QList<QAction *>{fichier->menuAction(), aide->menuAction()}));

    const QList<QAction *> fichierEntries = fichier->actions();
    QCOMPARE(fichierEntries.size(), 3);
    QCOMPARE(fichierEntries[0], child<QAction>(window, "actionEnregistrer_les_donn_es"));
    QVERIFY(fichierEntries[1]->isSeparator());
    QCOMPARE(fichierEntries[2], child<QAction>(window, "actionQuitter"));
    QCOMPARE(aide->actions(), (QList<QAction *>{child<QAction>(window, "actionA_propos"),
                                                child<QAction>(window, "actionVersion_1")}));
    for (QAction *action : window.findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly)) {
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY(action->icon().isNull());
        QVERIFY(!action->isCheckable());
        QCOMPARE(action->toolTip(), action->text()); // no tool tip of its own
        QVERIFY(action->statusTip().isEmpty());
    }

    auto *toolBar = child<QToolBar>(window, "mainToolBar");
    QCOMPARE(window.toolBarArea(toolBar), Qt::TopToolBarArea);
    QVERIFY(toolBar->actions().isEmpty());
    QCOMPARE(window.statusBar(), child<QStatusBar>(window, "statusBar"));
    QVERIFY(window.statusBar()->currentMessage().isEmpty());

    // The two entries that do nothing change nothing when chosen.
    SlotSpy spy(&window);
    const QStringList before = snapshot(window);
    child<QAction>(window, "actionEnregistrer_les_donn_es")->trigger();
    child<QAction>(window, "actionVersion_1")->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(snapshot(window), before);
    QVERIFY(spy.calls().isEmpty());
    QVERIFY(window.findChildren<QMessageBox *>().isEmpty());
}

void TestForm::aboutBox()
{
    MainWindow window;
    window.show();
    const QStringList before = snapshot(window);
    QString title, text;
    int boxes = 0;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        boxes = window.findChildren<QMessageBox *>().size();
        title = box->windowTitle();
        text = box->text();
        buttons = box->standardButtons();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    child<QAction>(window, "actionA_propos")->trigger(); // returns when the box is closed

    QCOMPARE(boxes, 1);
    QCOMPARE(title, QString("A propos"));
    QCOMPARE(text, aboutText);
    QCOMPARE(text.toUtf8().size(), 713);
    QCOMPARE(text.size(), 710);
    QCOMPARE(text.count("\r\n"), 15);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(icon, QMessageBox::Information);
    QCOMPARE(snapshot(window), before);
    QVERIFY(window.isVisible());
}

void TestForm::slotTable()
{
    const QByteArrayList expectedSlots{"on_pushButtonActualiser_clicked()",
                                       "a_propos()",
                                       "on_verticalSliderPortSerie_valueChanged(int)",
                                       "on_pushButton_LED1_clicked()",
                                       "on_pushButton_LED2_clicked()",
                                       "on_pushButton_LED3_clicked()",
                                       "on_pushButton_LED4_clicked()",
                                       "on_pushButton_LEDtous_clicked()",
                                       "on_pushButtonMoteurHaut_clicked()",
                                       "on_pushButtonMoteurDroit_clicked()",
                                       "on_pushButtonMoteurBas_clicked()",
                                       "on_pushButtonMoteurGauche_clicked()",
                                       "on_verticalSliderLED_valueChanged(int)",
                                       "on_checkBoxBoucle_stateChanged(int)",
                                       "on_radioButton_LED1_clicked()",
                                       "on_radioButton_LED2_clicked()",
                                       "on_radioButton_LED3_clicked()",
                                       "on_radioButton_LED4_clicked()",
                                       "on_radioButton_LED0_clicked()"};
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QCOMPARE(meta.className(), "MainWindow");
    QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 19);
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    QCOMPARE(meta.enumeratorCount(), meta.enumeratorOffset());
    QCOMPARE(meta.classInfoCount(), meta.classInfoOffset());
    QCOMPARE(meta.constructorCount(), 0);
    for (int i = 0; i < 19; ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(method.methodSignature(), expectedSlots[i]);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        QCOMPARE(method.returnType(), int(QMetaType::Void));
        QCOMPARE(QByteArray(method.tag()), QByteArray());
        if (method.parameterCount() == 1)
            QCOMPARE(method.parameterType(0), int(QMetaType::Int));
    }

    MainWindow window;
    QCOMPARE(window.metaObject(), &meta);
    QCOMPARE(window.qt_metacast("MainWindow"), static_cast<void *>(&window));
    QCOMPARE(window.qt_metacast("QMainWindow"), static_cast<void *>(&window));
    QCOMPARE(window.qt_metacast("QObject"), static_cast<void *>(&window));
    QCOMPARE(window.qt_metacast(nullptr), nullptr);
    QCOMPARE(window.qt_metacast("SomethingElse"), nullptr);
}

void TestForm::wiring()
{
    // connectSlotsByName reports the four slots no control matches, and nothing else.
    LogCapture log;
    MainWindow window;
    const QStringList unmatched = log.linesStartingWith("QMetaObject::connectSlotsByName");
    QCOMPARE(
        unmatched,
        (QStringList{
            "QMetaObject::connectSlotsByName: No matching signal for on_pushButton_LED1_clicked()",
            "QMetaObject::connectSlotsByName: No matching signal for on_pushButton_LED2_clicked()",
            "QMetaObject::connectSlotsByName: No matching signal for on_pushButton_LED3_clicked()",
            "QMetaObject::connectSlotsByName: No matching signal for "
            "on_pushButton_LED4_clicked()"}));

    struct Case
    {
        const char *control;
        std::function<void(QObject *)> act;
        QByteArrayList expected;
    };
    const auto click = [](QObject *o) { qobject_cast<QAbstractButton *>(o)->click(); };
    const auto setTo = [](int value) {
        return [value](QObject *o) { qobject_cast<QAbstractSlider *>(o)->setValue(value); };
    };
    const QList<Case> cases{
        {"pushButtonActualiser", click, {"on_pushButtonActualiser_clicked()"}},
        {"verticalSliderPortSerie", setTo(5), {"on_verticalSliderPortSerie_valueChanged(int)"}},
        {"pushButton_LEDtous", click, {"on_pushButton_LEDtous_clicked()"}},
        {"pushButtonMoteurHaut", click, {"on_pushButtonMoteurHaut_clicked()"}},
        {"pushButtonMoteurDroit", click, {"on_pushButtonMoteurDroit_clicked()"}},
        {"pushButtonMoteurBas", click, {"on_pushButtonMoteurBas_clicked()"}},
        {"pushButtonMoteurGauche", click, {"on_pushButtonMoteurGauche_clicked()"}},
        {"verticalSliderLED", setTo(40), {"on_verticalSliderLED_valueChanged(int)"}},
        {"checkBoxBoucle", click, {"on_checkBoxBoucle_stateChanged(int)"}},
        {"checkBoxBoucle", click, {"on_checkBoxBoucle_stateChanged(int)"}},
        {"radioButton_LED1", click, {"on_radioButton_LED1_clicked()"}},
        {"radioButton_LED2", click, {"on_radioButton_LED2_clicked()"}},
        {"radioButton_LED3", click, {"on_radioButton_LED3_clicked()"}},
        {"radioButton_LED4", click, {"on_radioButton_LED4_clicked()"}},
        {"radioButton_LED0", click, {"on_radioButton_LED0_clicked()"}},
        {"pushButton", click, {}},
        {"radioButton_batterieCharge", click, {}},
        {"radioButton_batteriePleine", click, {}},
        {"radioButton_batterieVide", click, {}},
    };
    SlotSpy spy(&window);
    for (const Case &c : cases) {
        spy.clear();
        c.act(child<QObject>(window, c.control));
        QCOMPARE(spy.calls(), c.expected);
    }
    // The slider reports its int to the slot: the label follows the value.
    QCOMPARE(child<QSlider>(window, "verticalSliderPortSerie")->value(), 5);
}

void TestForm::quitEndsTheEventLoop()
{
    MainWindow window;
    window.show();
    QTimer::singleShot(0, child<QAction>(window, "actionQuitter"), &QAction::trigger);
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); }); // a safety net only
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
