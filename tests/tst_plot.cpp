// tavctl plot, run as a process on the recordings of recordings/: the
// picture's size, its lines and the gaps that break them; and the refusal of
// each file of recordings/refused/, named LINE-what.csv, naming its line.
#include <QtTest>

class TestPlot : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray errors;

    int plot(const QString &recording, const QStringList &options)
    {
        QProcess tavctl;
        tavctl.start(TAV_CTL, QStringList{"plot", TAV_RECORDINGS "/" + recording} + options);
        tavctl.waitForFinished(60000);
        errors = tavctl.readAllStandardError();
        return tavctl.exitStatus() == QProcess::NormalExit ? tavctl.exitCode() : -1;
    }

    // Pixels in colour (lines, not text, grid or background) within a part of the picture.
    static int colouredPixels(const QImage &image, const QRect &part)
    {
        int count = 0;
        for (int i = 0; i < part.width() * part.height(); ++i)
            count += image.pixelColor(part.topLeft() + QPoint(i % part.width(), i / part.width()))
                         .hsvSaturation() > 80;
        return count;
    }

private slots:
    void pngShowsEveryPanelAndAGapBreaksItsLines_data()
    {
        QTest::addColumn<QString>("recording");
        QTest::addColumn<bool>("gap"); // rows at 10:00, 10:02, 10:08 and 10:10, and a gap?
        QTest::newRow("port error at 10:05") << "port-error-at-10-05.csv" << true;
        QTest::newRow("no row at 10:05") << "no-row-at-10-05.csv" << false;
    }
    void pngShowsEveryPanelAndAGapBreaksItsLines()
    {
        QFETCH(QString, recording);
        QFETCH(bool, gap);
        QCOMPARE(plot(recording, {"-o", dir.filePath("day.png"), "--size", "1000x800"}), 0);
        const QImage image(dir.filePath("day.png"));
        QCOMPARE(image.size(), QSize(1000, 800));
        for (int quarter = 0; quarter < 4; ++quarter) // about a panel each, left of the legends
            QVERIFY(colouredPixels(image, QRect(0, quarter * 200, 700, 200)) > 200);
        QCOMPARE(colouredPixels(image, QRect(400, 0, 200, 800)) == 0, gap); // around 10:05
    }
    void svgIsWellFormedAtTheDefaultSize()
    {
        QCOMPARE(plot("no-row-at-10-05.csv", {"--output", dir.filePath("day.svg")}), 0);
        QFile svg(dir.filePath("day.svg"));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&svg);
        QVERIFY(xml.readNextStartElement() && xml.attributes().value("height") == "900");
        while (!xml.atEnd())
            QVERIFY2(xml.readNext() != QXmlStreamReader::Invalid, qPrintable(xml.errorString()));
    }
    void refusesWhatIsNotARecordingNamingTheLine_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : QDir(TAV_RECORDINGS "/refused").entryList(QDir::Files))
            QTest::newRow(qPrintable(name)) << name;
    }
    void refusesWhatIsNotARecordingNamingTheLine()
    {
        QFETCH(QString, name);
        QCOMPARE(plot("refused/" + name, {"--output", dir.filePath("refused.png")}), 2);
        const QString expected = name + " is not a recording: line " + name.section('-', 0, 0);
        QVERIFY2(errors.contains(expected.toUtf8() + ':'), errors);
    }
};

QTEST_GUILESS_MAIN(TestPlot)
#include "tst_plot.moc"
