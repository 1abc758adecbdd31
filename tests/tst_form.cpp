// The window as the operator first sees it, and what the name-based wiring
// depends on, against a reviewed snapshot (form.approved): the toolkit's
// warnings while the form is built, the texts sent through translation, the
// slot table, then every object of the form with its class, parent, geometry,
// text, actions and each property the form sets (a value other than a fresh
// object's of the same class), and the about box.
// TAV_APPROVE=1 writes the snapshot anew, to be reviewed with git diff.
#include "logcapture.h"
#include "mainwindow.h"
#include "quiettestcase.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <map>

namespace {

template <typename... T> std::map<QString, std::function<QObject *()>> freshObjects()
{
    return {{T::staticMetaObject.className(), [] { return new T; }}...};
}

// What follows from the geometry, the style sheet or the text, shown otherwise or not at all.
const QStringList derived =
    QString("geometry pos size rect frameGeometry frameSize normalGeometry childrenRect "
            "childrenRegion sizeHint minimumSizeHint x y width height frameRect palette "
            "objectName text title windowTitle iconText toolTip sliderPosition")
        .split(' ');

QString valueText(const QVariant &value)
{
    if (value.type() == QVariant::Font)
        return QString("%1pt").arg(value.value<QFont>().pointSize());
    if (value.type() == QVariant::Size)
        return QString("%1x%2").arg(value.toSize().width()).arg(value.toSize().height());
    if (value.type() == QVariant::SizePolicy)
        return QString("%1/%2")
            .arg(value.value<QSizePolicy>().horizontalPolicy())
            .arg(value.value<QSizePolicy>().verticalPolicy());
    return value.toString().replace('\n', "\\n");
}

QString propertiesSet(const QObject *object)
{
    static const auto fresh =
        freshObjects<QMainWindow, QAction, QWidget, QPushButton, QGroupBox, QProgressBar, QLabel,
                     QVBoxLayout, QRadioButton, QSlider, QLCDNumber, QCheckBox, QMenuBar, QMenu,
                     QToolBar, QStatusBar>();
    const QMetaObject *meta = object->metaObject();
    QScopedPointer<QObject> reference(
        fresh.at(meta == &MainWindow::staticMetaObject ? "QMainWindow" : meta->className())());
    QStringList set;
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const char *name = meta->property(i).name();
        if (!derived.contains(name) && object->property(name) != reference->property(name))
            set << QString("%1=%2").arg(name, valueText(object->property(name)));
    }
    return set.join(' ');
}

// Where the form puts it: "-" for what is not a widget, "laid-out" for what a
// layout or a menu places.
QString placement(const QObject *object)
{
    const auto *widget = qobject_cast<const QWidget *>(object);
    const QWidget *parent = widget ? widget->parentWidget() : nullptr;
    if (!widget)
        return "-";
    if (qobject_cast<const QMenu *>(widget) ||
        (parent && parent->layout() &&
         parent->layout()->indexOf(const_cast<QWidget *>(widget)) >= 0))
        return "laid-out";
    const QRect r = widget->geometry();
    return QString("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// Depth first, children in creation order: the form's record order. The
// toolkit's own helpers ("qt_..." and the main window's "_layout") are not the form's.
void describe(const QObject *object, QStringList &out)
{
    const QString name = object->objectName();
    if (!name.isEmpty() && !name.startsWith("qt_") && !name.startsWith('_')) {
        QString text = object->property("windowTitle").toString();
        for (const char *property : {"text", "title"})
            if (object->property(property).isValid())
                text = object->property(property).toString();
        QStringList actions;
        if (auto *widget = qobject_cast<const QWidget *>(object))
            for (const QAction *action : widget->actions())
                actions << (action->isSeparator() ? "---" : action->text());
        out << QString("%1 %2 in %3 at %4 | %5 | %6%7")
                   .arg(name, object->metaObject()->className(),
                        object->parent() ? object->parent()->objectName() : "-", placement(object),
                        text, propertiesSet(object),
                        actions.isEmpty() ? "" : " actions: " + actions.join(", "));
    }
    for (const QObject *child : object->children())
        describe(child, out);
}

QStringList slotTable()
{
    QStringList out;
    const QMetaObject &meta = MainWindow::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        out << QString("slot %1 %2 %3 %4")
                   .arg(i - meta.methodOffset())
                   .arg(meta.method(i).access() == QMetaMethod::Private ? "private" : "NOT PRIVATE")
                   .arg(meta.method(i).methodType() == QMetaMethod::Slot ? "slot" : "NOT A SLOT")
                   .arg(QString(meta.method(i).methodSignature()));
    return out;
}

class RecordingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        requests << QString("translated in %1: %2").arg(context, QString::fromUtf8(source));
        return QString();
    }
    mutable QStringList requests;
};

// Opens the about box, notes it and closes it.
QStringList aboutBox(MainWindow &window)
{
    QStringList out;
    QTimer::singleShot(0, [&out] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        out << QString("about box \"%1\", buttons %2, icon %3, %4 bytes:")
                   .arg(box->windowTitle())
                   .arg(box->standardButtons())
                   .arg(box->icon())
                   .arg(box->text().toUtf8().size())
            << box->text().split("\r\n");
        box->button(QMessageBox::Ok)->click();
    });
    child<QAction>(window, "actionA_propos")->trigger(); // returns when the box is closed
    return out;
}

} // namespace

class TestForm : public QuietTestCase
{
    Q_OBJECT

private slots:
    void matchesTheApprovedSnapshot();
    void quitEndsTheEventLoop();
};

void TestForm::matchesTheApprovedSnapshot()
{
    RecordingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    LogCapture log;
    MainWindow window;
    QCoreApplication::removeTranslator(&translator);
    QStringList actual = log.lines() + translator.requests + slotTable();
    describe(&window, actual);
    actual << aboutBox(window);

    QFile file(TAV_FORM_SNAPSHOT);
    if (qEnvironmentVariableIntValue("TAV_APPROVE")) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write((actual.join('\n') + '\n').toUtf8());
        QSKIP("snapshot written anew: review it with git diff");
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList approved = QString::fromUtf8(file.readAll()).split('\n');
    for (int i = 0; i < qMax(actual.size(), approved.size() - 1); ++i)
        QVERIFY2(
            actual.value(i) == approved.value(i),
            qPrintable(QString("\nline %1 is now:\n  %2\napproved:\n  %3\n(TAV_APPROVE=1 writes "
                               "the snapshot anew)")
                           .arg(i + 1)
                           .arg(actual.value(i), approved.value(i))));
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
