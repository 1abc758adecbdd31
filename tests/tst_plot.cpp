// tavctl plot, run as a process on the recordings of recordings/: the
// picture's size, its lines and the gaps that break them; and the refusal of
// each file of recordings/refused/, named LINE-what.csv, naming its line.
#include <QtTest>

class TestPlot : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray errors;

    // Runs tavctl plot with its files limited to so many blocks of 512 bytes
    // (dash's ulimit -f), SIGXFSZ ignored: a write past the limit fails as on a
    // full disk.
    int plot(const QString &recording, const QStringList &options,
             const QString &fileSizeLimit = "unlimited")
    {
        const QString limited = "trap '' XFSZ; ulimit -f %1; LC_ALL=C.UTF-8 exec \"$0\" \"$@\"";
        QProcess tavctl;
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
        QTest::addColumn<QString>("picture"); // in a folder holding an old day.png or day.svg
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("fileSizeLimit");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QString day = "no-row-at-10-05.csv";
        QTest::newRow("png, disk full")
            << day << "day.png" << QStringList() << "1" << 4 << "day.png: File too large\n";
        QTest::newRow("svg, disk full")
            << day << "day.svg" << QStringList() << "1" << 4 << "day.svg: File too large\n";
        QTest::newRow("no such folder") << day << "new/day.png" << QStringList() << "unlimited" << 4
                                        << "new/day.png: No such file or directory\n";
        QTest::newRow("gaps only") << "gaps-only.csv"
                                   << "day.png" << QStringList() << "unlimited" << 2
                                   << "gaps-only.csv holds 3 rows, none with a measurement\n";
        QTest::newRow("help") << day << "day.png" << QStringList{"--help-all"} << "unlimited" << 0
                              << "";
        QTest::newRow("last row torn")
            << "torn-last-row.csv"
            << "day.png" << QStringList() << "unlimited" << 0 << "torn-last-row.csv: line 5 has no";
    }
    void writesAWholePictureOrNothing()
    {
        QFETCH(QString, recording);
        QFETCH(QString, picture);
        QFETCH(QStringList, options);
        QFETCH(QString, fileSizeLimit);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir folder;
        QFile old(folder.filePath(QFileInfo(picture).fileName()));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        QCOMPARE(
            plot(recording, QStringList{"-o", folder.filePath(picture)} + options, fileSizeLimit),
            status);
        QVERIFY2(errors.contains(message.toUtf8()), errors);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll() == "old", status != 0 || !options.isEmpty()); // drawn, but for help
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
