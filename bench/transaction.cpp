// Times refreshes of the panel against a controller on a pseudo-terminal that
// answers at once with a status reply (the worked example and a variant with
// other values, in turn, so that every display changes), and splits each one
// at the moments its own log lines are written.
//
//   bench_transaction [RUNS]
//
// Prints one line per refresh, RUNS + 1 of them (the first one also loads
// what the toolkit keeps for later ones), all in milliseconds:
//   ports open write wait decode close total
// where each part ends when the named log line reaches the message handler:
//   ports   start of the slot -> "numport="      (listing the system's ports)
//   open    "numport=" -> "Port ouvert avec succès." (opening and configuring)
//   write   -> "Données envoyées :"
//   wait    -> "Données reçues :" (the controller's answer and the 100 ms silence)
//   decode  -> "valAngleElevation=" (reading, logging, showing all but the two read-outs)
//   close   -> the slot returns (the two read-outs, closing, "Port fermé.")
//   total   the whole slot
// The log lines still go on to the default handler, as in the panel.
#include "mainwindow.h"
#include "ptycontroller.h"
#include "replies.h"

#include <QApplication>
#include <QElapsedTimer>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

enum Mark { numport, opened, sent, received, decoded, markCount };

const std::array<const char *, markCount> markPrefixes{
    "numport=", "Port ouvert avec succès.",
    "Données envoyées :", "Données reçues :", "valAngleElevation="};

QElapsedTimer stopwatch;
std::array<qint64, markCount> markNs;
QtMessageHandler defaultHandler = nullptr;

void timeLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const qint64 now = stopwatch.nsecsElapsed();
    for (int mark = 0; mark < markCount; ++mark)
        if (markNs[size_t(mark)] < 0 && message.startsWith(QString::fromUtf8(markPrefixes[mark])))
            markNs[size_t(mark)] = now;
    defaultHandler(type, context, message);
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

// One refresh, through the slot the button and the polling timer reach.
bool refreshOnce(MainWindow &window)
{
    markNs.fill(-1);
    const qint64 start = stopwatch.nsecsElapsed();
    QMetaObject::invokeMethod(&window, "on_pushButtonActualiser_clicked", Qt::DirectConnection);
    const qint64 end = stopwatch.nsecsElapsed();
    QCoreApplication::processEvents(); // paints, between refreshes, as the event loop would
    for (qint64 t : markNs)
        if (t < 0)
            return false; // some step did not happen: no reply, or no port
    std::printf("%.3f %.3f %.3f %.3f %.3f %.3f %.3f\n", ms(markNs[numport] - start),
                ms(markNs[opened] - markNs[numport]), ms(markNs[sent] - markNs[opened]),
                ms(markNs[received] - markNs[sent]), ms(markNs[decoded] - markNs[received]),
                ms(end - markNs[decoded]), ms(end - start));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 50;

    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    const QByteArrayList replies{workedExampleReply(), otherReply()};
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();

    stopwatch.start();
    defaultHandler = qInstallMessageHandler(timeLine);
    for (int run = 0; run <= runs; ++run) {
        com1.answerWith({{0, replies[run % 2]}});
        if (!refreshOnce(window)) {
            std::fprintf(stderr, "bench_transaction: refresh %d did not complete\n", run);
            return 1;
        }
    }
    return 0;
}
