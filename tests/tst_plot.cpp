// tavctl plot, run as a process on the recordings of recordings/: the
// picture's size, its lines and the gaps that break them; a picture replaced
// whole or not at all, with the status and message of each outcome; and the
// refusal of each file of recordings/refused/, named LINE-what.csv, naming its line.
#include <QtTest>

class TestPlot : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray errors;

    // Runs tavctl plot in a folder, its files limited to so many blocks of 512 bytes
    // (dash's ulimit -f; 0: no limit) and SIGXFSZ ignored: a longer write fails as on a full disk.
    int plot(const QString &recording, const QStringList &options, int fileSizeLimit = 0,
             const QString &folder = ".")
    {
        const QString limited =
            "trap '' XFSZ; [ %1 = 0 ] || ulimit -f %1; LC_ALL=C.UTF-8 exec \"$0\" \"$@\"";
        QProcess tavctl;
        tavctl.setWorkingDirectory(folder);
        tavctl.start("sh", QStringList{"-c", limited.arg(fileSizeLimit), TAV_CTL, "plot",
                                       TAV_RECORDINGS "/" + recording} +
                               options);
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
    // A picture is replaced only by a whole one: a failure leaves the old one
    // exactly as it was and nothing else in its folder.
    void writesAWholePictureOrNothing_data()
    {
        QTest::addColumn<QString>("recording");
        QTest::addColumn<QString>("options"); // the picture first, in a folder holding an old one
        QTest::addColumn<int>("fileSizeLimit");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QString day = "no-row-at-10-05.csv";
        QTest::newRow("png, full") << day << "-o day.png" << 1 << 4 << "day.png: File too large";
        QTest::newRow("svg, full") << day << "-o day.svg" << 1 << 4 << "day.svg: File too large";
        QTest::newRow("no folder") << day << "-o new/day.png" << 0 << 4 << "day.png: No such file";
        QTest::newRow("help") << day << "-o day.png --help-all" << 0 << 0 << "";
        QTest::newRow("gaps only")
            << "gaps-only.csv"
            << "-o day.png" << 0 << 2 << "gaps-only.csv holds 3 rows, none with a measurement";
        QTest::newRow("torn") << "torn-last-row.csv"
                              << "-o day.png" << 0 << 0
                              << "torn-last-row.csv: line 5 has no line feed";
    }
    void writesAWholePictureOrNothing()
    {
        QFETCH(QString, recording);
        QFETCH(QString, options);
        QFETCH(int, fileSizeLimit);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir folder;
        QFile old(folder.filePath(QFileInfo(options.section(' ', 1, 1)).fileName()));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        QCOMPARE(plot(recording, options.split(' '), fileSizeLimit, folder.path()), status);
        QVERIFY2(errors.contains(message.toUtf8()), errors);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll() == "old", status != 0 || options.contains("help")); // else drawn
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QFileInfo(old).fileName()});
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
