// What the entry routine sets up before the toolkit starts.
#include "startup.h"

#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void openGlIntegration_data();
    void openGlIntegration();
};

void TestStartup::openGlIntegration_data()
{
    QTest::addColumn<bool>("userSetsIt");
    QTest::addColumn<QByteArray>("userValue");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("not set: none") << false << QByteArray() << QByteArray("none");
    QTest::newRow("user's choice wins") << true << QByteArray("xcb_egl") << QByteArray("xcb_egl");
    QTest::newRow("set empty: the toolkit's choice") << true << QByteArray("") << QByteArray("");
}

void TestStartup::openGlIntegration()
{
    QFETCH(bool, userSetsIt);
    QFETCH(QByteArray, userValue);
    QFETCH(QByteArray, expected);
    if (userSetsIt)
        qputenv("QT_XCB_GL_INTEGRATION", userValue);
    else
        qunsetenv("QT_XCB_GL_INTEGRATION");

    skipOpenGlIntegration();

    QVERIFY(qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"));
    QCOMPARE(qgetenv("QT_XCB_GL_INTEGRATION"), expected);
    qunsetenv("QT_XCB_GL_INTEGRATION");
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
