// tavctl plot: a recording drawn as a PNG or SVG chart, offscreen.
#include "commandline.h"
#include "exitstatus.h"
#include "plot.h"
#include "plotrange.h"
#include "recordingchart.h"
#include "recordingreader.h"
#include "writewhole.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <unistd.h>

namespace {

const QSize smallestSize(640, 480);
const QSize largestSize(10000, 10000);

int failure(const QString &message, int status = ExitStatus::usage)
{
    printError(message);
    return status;
}

// "WIDTHxHEIGHT" within the sizes allowed; an invalid size otherwise.
QSize parseSize(const QString &text)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$")).match(text);
    const QSize size =
        match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
    return size.isValid() && smallestSize.boundedTo(size) == smallestSize &&
                   largestSize.expandedTo(size) == largestSize
               ? size
               : QSize();
}

QByteArray png(const QVector<RecordingRow> &rows, const QString &source, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        drawRecording(painter, size, rows, source);
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

QByteArray svg(const QVector<RecordingRow> &rows, const QString &source, const QSize &size)
{
    QBuffer buffer;
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setViewBox(QRect(QPoint(), size));
    generator.setTitle(source);
    generator.setDescription(QStringLiteral("tavctl plot"));
    {
        QPainter painter(&generator);
        drawRecording(painter, size, rows, source);
    }
    // The generator would give the size in millimetres: it is given here in
    // pixels, as a PNG's.
    QByteArray document = buffer.data();
    const int element = document.indexOf("<svg");
    if (element >= 0)
        document.insert(element + 4, QStringLiteral(" width=\"%1\" height=\"%2\"")
                                         .arg(size.width())
                                         .arg(size.height())
                                         .toUtf8());
    return document;
}

// Replaces the output with the picture, or leaves it exactly as it was: the
// bytes go to a temporary file beside it, renamed over it only once they are
// all on the disk (a full disk fails a write or the sync, never the rename).
// Returns why it failed, or an empty string. QSaveFile::write is not used: when
// the disk fills, it returns the count it did write, not an error, and commit()
// then renames the file cut short.
QString save(const QString &output, const QByteArray &picture)
{
    QSaveFile saved(output);
    if (!saved.open(QIODevice::WriteOnly))
        return saved.errorString();
    // Not committed, the temporary file is removed with `saved`.
    if (!writeWhole(saved.handle(), picture) || ::fsync(saved.handle()) != 0)
        return qt_error_string(errno);
    if (!saved.commit())
        return saved.errorString();
    return QString();
}

// Why the rows give nothing to draw (none, or gaps alone, which would leave the
// chart without a line or a scale), or an empty string.
QString nothingToDraw(const QVector<RecordingRow> &rows)
{
    if (rows.isEmpty())
        return QStringLiteral("holds no rows to draw");
    if (std::any_of(rows.cbegin(), rows.cend(),
                    [](const RecordingRow &row) { return !row.isGap(); }))
        return QString();
    return rows.size() == 1
               ? QStringLiteral("holds 1 row, without a measurement")
               : QStringLiteral("holds %1 rows, none with a measurement").arg(rows.size());
}

// Reads the recording's rows to draw, those of `range`. When there is nothing
// to draw, says why on stderr and returns the exit status.
std::optional<int> readRows(const QString &input, const PlotRange &range,
                            QVector<RecordingRow> &rows)
{
    QFile file(input);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (file.error() != QFileDevice::NoError)
        return failure(QStringLiteral("cannot read %1: %2").arg(input, file.errorString()));
    const RecordingReading reading = readRecording(bytes);
    if (reading.failed())
        return failure(QStringLiteral("%1 is not a recording: line %2: %3")
                           .arg(input)
                           .arg(reading.errorLine)
                           .arg(reading.error));
    if (reading.leftOutLine != 0)
        printError(
            QStringLiteral("%1: line %2 has no line feed at its end (a row cut short): left out")
                .arg(input)
                .arg(reading.leftOutLine));
    rows = range.of(reading.rows);
    if (rows.isEmpty() && !reading.rows.isEmpty())
        return failure(QStringLiteral("%1 holds no row %2").arg(input, range.text()));
    const QString nothing = nothingToDraw(rows);
    if (!nothing.isEmpty())
        return failure(input + QLatin1Char(' ') + nothing);
    return std::nullopt;
}

int plot(const QString &input, const QString &output, const QSize &size, const PlotRange &range)
{
    QVector<RecordingRow> rows;
    if (const std::optional<int> refusal = readRows(input, range, rows))
        return *refusal;
    const QString source = QFileInfo(input).fileName();
    const bool asSvg = output.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive);
    const QByteArray picture = asSvg ? svg(rows, source, size) : png(rows, source, size);
    const QString wrong = picture.isEmpty() ? QStringLiteral("the picture could not be drawn")
                                            : save(output, picture);
    if (!wrong.isEmpty())
        return failure(QStringLiteral("cannot write %1: %2").arg(output, wrong),
                       ExitStatus::outputError);
    return ExitStatus::done;
}

} // namespace

int plotCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Draws a recording made by tavctl record: light levels, voltages,\n"
                       "currents and angles, one panel each over one time axis. Rows\n"
                       "without an answer leave gaps in the lines. Needs no display."));
    parser.addPositionalArgument(QStringLiteral("FILE.csv"), QStringLiteral("The recording."));
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("The picture to write: a .png or .svg file."), QStringLiteral("FILE"));
    const QCommandLineOption sizeOption(
        QStringLiteral("size"),
        QStringLiteral("The picture's size in pixels, from 640x480 to 10000x10000 (default "
                       "1200x900)."),
        QStringLiteral("WIDTHxHEIGHT"), QStringLiteral("1200x900"));
    // --help-all as well, as the toolkit's help option of the other commands
    // offers it: any help option shows the help and does nothing else.
    const QCommandLineOption helpOption(
        {QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("help-all")},
        QStringLiteral("Shows this help."));
    const QCommandLineOption fromOption(
        QStringLiteral("from"),
        QStringLiteral("Draw from TIME on: ISO 8601 (2026-12-07T10:00), or a date for its whole "
                       "day, in the recording's offset when TIME gives none."),
        QStringLiteral("TIME"));
    const QCommandLineOption toOption(
        QStringLiteral("to"), QStringLiteral("Draw up to TIME, as --from reads it."),
        QStringLiteral("TIME"));
    parser.addOptions({outputOption, sizeOption, fromOption, toOption, helpOption});
    if (!parser.parse(arguments))
        return failure(parserError(parser));
    if (parser.isSet(helpOption)) {
        QString help = parser.helpText();
        help.replace(0, help.indexOf('\n'),
                     QStringLiteral("Usage: tavctl plot FILE.csv --output FILE.png|FILE.svg "
                                    "[--size WIDTHxHEIGHT] [--from TIME] [--to TIME]"));
        QTextStream(stdout)
            << help
            << "\nA last line without its line feed (a row cut short) is left out, and\n"
               "stderr says so. Exit status: 0 drawn; 2 usage error, or a file that cannot\n"
               "be read, is not a recording, or has no row with a measurement (within\n"
               "--from and --to when given); 4 the picture could not be written (an\n"
               "earlier one is left as it was).\n";
        return ExitStatus::done;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return failure(QStringLiteral("give one recording (tavctl plot --help)"));
    const QString output = parser.value(outputOption);
    if (!QRegularExpression(QStringLiteral("\\.(png|svg)$"),
                            QRegularExpression::CaseInsensitiveOption)
             .match(output)
             .hasMatch())
        return failure(QStringLiteral("--output needs a .png or .svg file name"));
    const QSize size = parseSize(parser.value(sizeOption));
    if (!size.isValid())
        return failure(QStringLiteral("--size %1 is not WIDTHxHEIGHT from 640x480 to 10000x10000")
                           .arg(parser.value(sizeOption)));
    const PlotRange range(parser.value(fromOption), parser.value(toOption));
    if (!range.problem().isEmpty())
        return failure(range.problem());
    return plot(files.first(), output, size, range);
}
