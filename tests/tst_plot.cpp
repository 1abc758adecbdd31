// tavctl plot, run as a process on the recordings of recordings/: each
// series in its own colour, the gaps' bands and the battery's; the range
// asked; a picture replaced whole or not at all, with the status and message
// of each outcome; and the refusal of each file of recordings/refused/, named
// LINE-what.csv, naming its line.
#include <QtTest>

class TestPlot : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray errors;

    // Runs tavctl plot in a folder, its files limited to so many blocks of 512 bytes
    // (dash's ulimit -f; 0: no limit) and SIGXFSZ ignored: a longer write fails as on a full disk;
    // its temporary files there too, and no runtime folder given.
    int plot(const QString &recording, const QStringList &options, int fileSizeLimit = 0,
             const QString &folder = ".")
    {
        const QString limited =
            "trap '' XFSZ; [ %1 = 0 ] || ulimit -f %1; unset XDG_RUNTIME_DIR; TMPDIR=$PWD "
            "LC_ALL=C.UTF-8 exec \"$0\" \"$@\"";
        QProcess tavctl;
        tavctl.setWorkingDirectory(folder);
        tavctl.start("sh", QStringList{"-c", limited.arg(fileSizeLimit), TAV_CTL, "plot",
                                       TAV_RECORDINGS "/" + recording} +
                               options);
        tavctl.waitForFinished(60000);
        errors = tavctl.readAllStandardError();
        return tavctl.exitStatus() == QProcess::NormalExit ? tavctl.exitCode() : -1;
    }

private slots:
    // Each series in a colour of its own, in the legend and in the plot areas,
    // however many lines coincide (the light levels all at 0); a grey band in
    // every panel over a gap only; the battery's state under the currents.
    void pngDrawsEverySeriesTheGapsAndTheBattery_data()
    {
        QTest::addColumn<QString>("recording");
        QTest::addColumn<int>("x"); // a moment inside the gap, or where there would be one
        QTest::addColumn<bool>("gap");
        QTest::addColumn<QRgb>("before"); // the battery's colour before x and after it, if any
        QTest::addColumn<QRgb>("after");
        QTest::newRow("port error at 10:05") << "port-error-at-10-05.csv" << 578 << true << 0u << 0u;
        QTest::newRow("no row at 10:05") << "no-row-at-10-05.csv" << 578 << false << 0u << 0u;
        QTest::newRow("charging, a gap, full")
            << "battery-and-gap.csv" << 555 << true << 0x009e73u << 0x0072b2u;
        QTest::newRow("a week: empty, a 2 s gap, full")
            << "week-short-gap.csv" << 578 << true << 0xd55e00u << 0x0072b2u;
    }
    void pngDrawsEverySeriesTheGapsAndTheBattery()
    {
        QFETCH(QString, recording);
        QFETCH(int, x);
        QFETCH(bool, gap);
        QFETCH(QRgb, before);
        QFETCH(QRgb, after);
        QCOMPARE(plot(recording, {"-o", dir.filePath("day.png")}), 0);
        const QImage image(dir.filePath("day.png"));
        const auto count = [&image](QRgb colour, const QRect &part) {
            int n = 0;
            for (int i = 0; i < part.width() * part.height(); ++i)
                n += (image.pixel(part.topLeft() + QPoint(i % part.width(), i / part.width())) &
                      0xffffff) == colour;
            return n;
        };
        QMap<QRgb, int> legend; // the strokes right of the plot areas, and white
        for (int i = 0; i < 24 * 800; ++i)
            ++legend[image.pixel(1078 + i % 24, 50 + i / 24) & 0xffffff];
        QList<QRgb> strokes;
        for (auto colour = legend.cbegin(); colour != legend.cend(); ++colour)
            if (colour.value() >= 30 && colour.key() != 0xffffff)
                strokes << colour.key();
        QCOMPARE(strokes.size(), 10);
        for (const QRgb stroke : strokes)
            QVERIFY2(count(stroke, QRect(90, 50, 976, 800)) > 100, qPrintable(QString::number(stroke, 16)));
        QCOMPARE(count(0xe8e8e8, QRect(x, 50, 1, 800)) > 400, gap);
        if (before) { // the battery's band: one state up to the gap, another after it
            QVERIFY(count(before, QRect(90, 570, 430, 40)) > 3000);
            QCOMPARE(count(before, QRect(640, 570, 420, 40)), 0);
            QVERIFY(count(after, QRect(640, 570, 420, 40)) > 3000);
        }
    }
    // The part asked of a recording, its time bounds in the recording's offset
    // unless they give one; the light levels' scale on their axis.
    void svgDrawsTheRangeAsked_data()
    {
        QTest::addColumn<QString>("recording");
        QTest::addColumn<QString>("range");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        const QString day = "battery-and-gap.csv", week = "week-short-gap.csv";
        QTest::newRow("a date, its whole day") << day << "--from 2026-12-07 --to 2026-12-07" << 0
                                               << "du 07/12/2026 10:00:00 au 07/12/2026 10:20:00 "
                                                  "— 21 relevés, 1 sans mesure";
        QTest::newRow("no offset: the recording's") << day << "--from 2026-12-07T10:11" << 0
                                                    << "du 07/12/2026 10:11:00 au 07/12/2026 "
                                                       "10:20:00 — 10 relevés, 0 sans mesure";
        QTest::newRow("in UTC") << day << "--to 2026-12-07T09:05:00Z" << 0
                                << "au 07/12/2026 10:05:00 — 6 relevés";
        QTest::newRow("no row in range") << day << "--from 2026-12-08" << 2
                                         << "battery-and-gap.csv holds no row from 2026-12-08\n";
        QTest::newRow("milliseconds, kept") << week << "--to 2026-12-04T12:00:01.249" << 0
                                            << "au 04/12/2026 12:00:00 — 2 relevés, 0 sans mesure";
        QTest::newRow("a date ends before the next one's midnight")
            << week << "--to 2026-12-06" << 0 << "au 04/12/2026 12:00:02 — 4 relevés, 1 sans mesure";
        QTest::newRow("reversed") << day << "--from 2026-12-08 --to 2026-12-07" << 2
                                  << "the range is reversed: --from 2026-12-08 is later than --to 2026-12-07";
        QTest::newRow("no time") << day << "--to noon" << 2 << "--to takes an ISO 8601 date";
    }
    void svgDrawsTheRangeAsked()
    {
        QFETCH(QString, recording);
        QFETCH(QString, range);
        QFETCH(int, status);
        QFETCH(QString, text);
        QFile svg(dir.filePath("day.svg"));
        svg.remove();
        QCOMPARE(plot(recording, QStringList{"-o", svg.fileName()} + range.split(' ')),
                 status);
        QVERIFY2(status == 0 || errors.contains(text.toUtf8()), errors);
        if (status != 0)
            return;
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QByteArray document = svg.readAll();
        QVERIFY(document.contains(text.toUtf8()) && document.contains(">(0–255)<"));
        QXmlStreamReader xml(document);
        QVERIFY(xml.readNextStartElement() && xml.attributes().value("height") == "900");
        while (!xml.atEnd())
            QVERIFY2(xml.readNext() != QXmlStreamReader::Invalid, qPrintable(xml.errorString()));
    }
    // A picture is replaced only by a whole one: a failure leaves the old one
    // exactly as it was and nothing else in its folder, no temporary folder either.
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
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
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
