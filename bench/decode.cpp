// Cost of decoding one status reply: the thirteen field reads alone, and the
// window's whole decoder with its log lines and widget updates.
//
// The decoder is timed on a shown (offscreen) window, alternating two replies
// that differ in every field, so that each widget really changes. Its log goes
// either to the default handler (standard error; run with it sent to
// /dev/null, as when nobody watches the terminal) or to a handler that drops
// every line. The widgets paint from the event loop, after the transaction;
// the last measure lets the event loop run after each decode, so that it
// includes that repaint too: the whole time the window is busy with a reply.
#include "mainwindow.h"
#include "replies.h"
#include "replyfields.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

const QByteArray replyA = workedExampleReply();
const QByteArray replyB = otherReply();

void readAllFields(benchmark::State &state)
{
    const int numericAt[] = {2, 5, 11, 8, 25, 28, 31, 34, 61, 64};
    const int flagAt[] = {39, 41, 37};
    for (auto _ : state) {
        for (int position : numericAt)
            benchmark::DoNotOptimize(readNumericField(replyA, position));
        for (int position : flagAt)
            benchmark::DoNotOptimize(readFlagField(replyA, position));
    }
}

void dropLine(QtMsgType, const QMessageLogContext &, const QString &) {}

void decodeIntoWindow(benchmark::State &state, bool dropLog, bool repaint)
{
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    const QtMessageHandler previous = dropLog ? qInstallMessageHandler(dropLine) : nullptr;
    bool useA = false;
    for (auto _ : state) {
        useA = !useA;
        window.decodeReceivedData(useA ? replyA : replyB);
        if (repaint)
            QCoreApplication::processEvents();
    }
    if (dropLog)
        qInstallMessageHandler(previous);
}

} // namespace

BENCHMARK(readAllFields)->Name("fields");
BENCHMARK_CAPTURE(decodeIntoWindow, stderr, false, false)
    ->Name("decode/stderr")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(decodeIntoWindow, dropped, true, false)
    ->Name("decode/dropped")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(decodeIntoWindow, repainted, false, true)
    ->Name("decode/stderr/repainted")
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
