// Fuzz target: decodeReceivedData on a real window (offscreen), with any bytes
// as the reply. Beyond surviving, each decode must log its thirteen lines,
// change no display unless the reply is a status reply, check a battery button
// only for a flag of exactly "01", and ignore every byte past the status
// reply's length that does not make a second reply.
#include "decodedreply.h"
#include "mainwindow.h"

#include <QApplication>
#include <QLCDNumber>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const char *const lineLabels[] = {
    "valLumEST=",         "valLumOUEST=",     "valLumSUD=",         "valLumNORD=",
    "valVPAN=",           "valVBAT=",         "valIPAN=",           "valIBAT=",
    "valBatteriePleine=", "valBatterieVide=", "valBatterieCharge=", "valAngleAzimut=",
    "valAngleElevation="};

// Battery flags in the order the decoder tests them, so the last set one stands.
const std::pair<int, const char *> batteryFlags[] = {{39, "radioButton_batteriePleine"},
                                                     {41, "radioButton_batterieVide"},
                                                     {37, "radioButton_batterieCharge"}};

MainWindow *window = nullptr;
QStringList captured;
bool capturing = false;

// The decoder's log is kept while a decode runs; everything else is dropped.
void keepDecoderLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (capturing)
        captured.append(message);
}

void require(bool holds, const char *property)
{
    if (!holds) {
        std::fprintf(stderr, "%s\n", property);
        std::abort();
    }
}

QStringList decode(const QByteArray &reply)
{
    captured.clear();
    capturing = true;
    window->decodeReceivedData(reply);
    capturing = false;
    return captured;
}

// Everything the decoder shows: texts, bar values, read-outs, checked buttons.
QStringList displayed()
{
    QStringList shown;
    for (const QWidget *widget : window->findChildren<QWidget *>())
        for (const char *property : {"text", "value", "checked"})
            shown << widget->property(property).toString();
    return shown;
}

QString checkedBatteryButton()
{
    for (const auto &flag : batteryFlags)
        if (window->findChild<QRadioButton *>(flag.second)->isChecked())
            return flag.second;
    return QString();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(keepDecoderLog);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The application keeps a reference to its argument count.
    static int argc = 1;
    static char name[] = "fuzz-decoder";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
    window = new MainWindow;
    // Whatever the toolkit sets up on first use is set up before the runs.
    decode("S:120045200033 energie : 138125040012000100 angles az / el : 090045\r\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: a read past the input's last byte is caught by the sanitizer.
    const QByteArray reply =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const bool measured = isStatusReply(reply);
    const QStringList before = displayed();
    QString expectedButton = checkedBatteryButton();
    for (const auto &flag : batteryFlags)
        if (measured && reply.mid(flag.first, 2) == "01")
            expectedButton = flag.second;
    const QStringList lines = decode(reply);
    require(lines.size() == 13, "a decode logs other than thirteen lines");
    for (int i = 0; i < 13; ++i)
        require(lines[i].startsWith(QLatin1String(lineLabels[i]) + ' '),
                "a decoder line is out of place");
    require(measured || displayed() == before, "a reply of another shape changes the displays");
    require(checkedBatteryButton() == expectedButton, "battery button not as its flags say");
    if (reply.size() > statusReplyLength) {
        const QStringList shown = displayed();
        const QByteArray first = reply.left(statusReplyLength);
        require(decode(first) == lines, "bytes past 67 change the decoder's log");
        require(displayed() == shown || isStatusReply(first) != measured,
                "bytes past 67 change what the window shows");
    }
    return 0;
}
