// The reply printed or recorded: text with the window's labels and units, JSON
// and the recording's CSV rows.
#include "output.h"

#include "outcome.h"
#include "recording.h"
#include "replyfields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>

#include <algorithm>
#include <cmath>

namespace {

QString milliamperesText(int tensOfMilliamperes)
{
    return QString::number(milliamperes(tensOfMilliamperes));
}

QString flag(const QString &text)
{
    return isFlagSet(text) ? QStringLiteral("1") : QStringLiteral("0");
}

// A field holding a comma, a double quote, CR or LF goes between double quotes,
// its own double quotes doubled.
QString csvField(QString field)
{
    const bool plain = std::none_of(field.cbegin(), field.cend(), [](QChar c) {
        return c == ',' || c == '"' || c == '\r' || c == '\n';
    });
    if (plain)
        return field;
    return '"' + field.replace('"', QLatin1String("\"\"")) + '"';
}

// The values with the window's French labels and units, one to a line, and
// the powers under the energy's.
QByteArray asText(const DecodedReply &d)
{
    const Powers powers = powersOf(d);
    const QStringList lines{
        QStringLiteral("Luminosité"),
        QStringLiteral("  EST   : ") + QString::number(d.lumEst),
        QStringLiteral("  OUEST : ") + QString::number(d.lumOuest),
        QStringLiteral("  NORD  : ") + QString::number(d.lumNord),
        QStringLiteral("  SUD   : ") + QString::number(d.lumSud),
        QStringLiteral("Energie"),
        QStringLiteral("  VBAT  : ") + voltsText(d.vbat) + QStringLiteral(" V"),
        QStringLiteral("  VPAN  : ") + voltsText(d.vpan) + QStringLiteral(" V"),
        QStringLiteral("  IBAT  : ") + milliamperesText(d.ibat) + QStringLiteral(" mA"),
        QStringLiteral("  IPAN  : ") + milliamperesText(d.ipan) + QStringLiteral(" mA"),
        QStringLiteral("  PPAN  : ") + wattsText(powers.panel) + QStringLiteral(" W"),
        QStringLiteral("  PBAT  : ") + wattsText(powers.battery) + QStringLiteral(" W"),
        QStringLiteral("Etat Batterie : ") + batteryState(d),
        QStringLiteral("Azimut : ") + QString::number(d.azimut) + QStringLiteral("°"),
        QStringLiteral("Elévation : ") + QString::number(d.elevation) + QStringLiteral("°"),
    };
    return (lines.join('\n') + '\n').toUtf8();
}

// A JSON string, escaped as the toolkit escapes it.
QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// The recording's columns as keys, in the same order as the toolkit's own
// objects (sorted), indented as it indents them: the time and status as text,
// the thirteen values as numbers written as in a recording (volts always with
// their decimal), and the battery's state as a word. Without a measurement,
// the values and the state are null. Indented for a person, or on one line.
QByteArray asJson(const QDateTime &time, const ExchangeResult &result, bool indented,
                  const QMap<QString, QByteArray> &more = {})
{
    const bool measured = hasMeasurement(result);
    const DecodedReply d = decodeReply(result.reply);
    const QStringList columns = QString::fromLatin1(recordingHeader).split(',');
    const QStringList values = recordingValues(d);
    QMap<QString, QByteArray> members = more;
    members.insert(columns.first(), jsonString(isoTime(time)));
    for (int i = 0; i < values.size(); ++i)
        members.insert(columns.at(i + 1), measured ? values.at(i).toLatin1() : "null");
    members.insert(columns.last(), jsonString(recordingStatus(result)));
    members.insert(QStringLiteral("batterie"), measured ? jsonString(batteryState(d)) : "null");
    const Powers powers = powersOf(d);
    members.insert(QStringLiteral("ppan_W"), measured ? wattsText(powers.panel).toLatin1() : "null");
    members.insert(QStringLiteral("pbat_W"), measured ? wattsText(powers.battery).toLatin1() : "null");
    QByteArrayList lines;
    for (auto member = members.cbegin(); member != members.cend(); ++member)
        lines.append((indented ? "    " : "") + jsonString(member.key()) +
                     (indented ? ": " : ":") + member.value());
    return indented ? "{\n" + lines.join(",\n") + "\n}\n" : '{' + lines.join(',') + '}';
}

} // namespace

QString batteryState(const DecodedReply &reply)
{
    if (isFlagSet(reply.charge))
        return QStringLiteral("En charge");
    if (isFlagSet(reply.vide))
        return QStringLiteral("Vide");
    if (isFlagSet(reply.pleine))
        return QStringLiteral("Pleine");
    return QStringLiteral("Indéterminé");
}

Powers powersOf(const DecodedReply &d)
{
    const int batteryTens = d.ibat < 0 || isFlagSet(d.charge) ? d.ibat : -d.ibat;
    // Tenths of a volt times tens of milliamperes: thousandths of a watt.
    return {d.vpan * d.ipan / 1000.0, d.vbat * batteryTens / 1000.0};
}

QString wattsText(double watts)
{
    const double tenths = std::round(watts * 10);
    return QString::number((tenths == 0 ? 0.0 : tenths) / 10, 'f', 1);
}

QString isoTime(const QDateTime &time)
{
    const QDateTime local = time.toLocalTime();
    const int offsetMinutes = local.offsetFromUtc() / 60;
    const int minutes = qAbs(offsetMinutes);
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) +
           (offsetMinutes < 0 ? '-' : '+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QStringList recordingValues(const DecodedReply &d)
{
    return {QString::number(d.lumEst),
            QString::number(d.lumOuest),
            QString::number(d.lumNord),
            QString::number(d.lumSud),
            voltsText(d.vpan),
            voltsText(d.vbat),
            milliamperesText(d.ipan),
            milliamperesText(d.ibat),
            flag(d.charge),
            flag(d.pleine),
            flag(d.vide),
            QString::number(d.azimut),
            QString::number(d.elevation)};
}

QByteArray recordingRow(const QDateTime &time, const ExchangeResult &result)
{
    // The values stand only in a row whose status is "ok"; other rows leave
    // them empty, so that a reader tells a gap from a zero.
    QStringList values = recordingValues(decodeReply(result.reply));
    if (!hasMeasurement(result))
        std::fill(values.begin(), values.end(), QString());
    QStringList fields{isoTime(time)};
    fields += values;
    fields.append(csvField(recordingStatus(result)));
    return (fields.join(',') + '\n').toUtf8();
}

QByteArray compactJson(const QDateTime &time, const ExchangeResult &result,
                       const QMap<QString, QByteArray> &more)
{
    return asJson(time, result, false, more);
}

QByteArray formatReply(OutputFormat format, const QDateTime &time, const ExchangeResult &result)
{
    switch (format) {
    case OutputFormat::Json:
        return asJson(time, result, true);
    case OutputFormat::Csv:
        return QByteArray(recordingHeader) + '\n' + recordingRow(time, result);
    case OutputFormat::Text:
        break;
    }
    return hasMeasurement(result) ? asText(decodeReply(result.reply)) : QByteArray();
}
