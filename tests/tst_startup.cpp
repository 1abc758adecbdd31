// What the entry routine sets up before the toolkit starts: no OpenGL
// integration, unless the user has chosen (even an empty value).
#include "startup.h"

#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void openGlIntegrationIsTheUsersOrNone();
};

void TestStartup::openGlIntegrationIsTheUsersOrNone()
{
    for (const QByteArray &choice : {QByteArray("xcb_egl"), QByteArray(""), QByteArray()}) {
        qunsetenv("QT_XCB_GL_INTEGRATION");
        if (!choice.isNull())
            qputenv("QT_XCB_GL_INTEGRATION", choice);
        skipOpenGlIntegration();
        QCOMPARE(qgetenv("QT_XCB_GL_INTEGRATION"), choice.isNull() ? QByteArray("none") : choice);
        QVERIFY(qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"));
    }
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
