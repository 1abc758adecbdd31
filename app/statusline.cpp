#include "statusline.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

QString clockText(const QDateTime &time)
{
    return time.time().toString(QStringLiteral("HH:mm:ss"));
}

// Why the exchange gave no measurement, in a few words.
QString whatHappened(const ExchangeResult &result, ReplyShape shape)
{
    switch (result.status) {
    case ExchangeResult::Replied:
        if (shape == ReplyShape::NeverPaused)
            return tr("le contrôleur émet sans pause");
        if (shape == ReplyShape::SeveralReplies)
            return tr("plusieurs réponses à la fois");
        return tr("réponse illisible (%1 octets)").arg(result.reply.size());
    case ExchangeResult::NoReply:
        return tr("aucune réponse");
    case ExchangeResult::PortBusy:
        return result.holderPid > 0 ? tr("port occupé (PID %1)").arg(result.holderPid)
                                    : tr("port occupé par un autre programme");
    case ExchangeResult::NoPermission:
        return tr("accès refusé (groupe dialout)");
    case ExchangeResult::NoLink:
    case ExchangeResult::NoDevice:
        return tr("port introuvable");
    case ExchangeResult::OpenFailed:
        return tr("ouverture impossible (%1)").arg(result.error);
    case ExchangeResult::WriteFailed:
        return tr("envoi impossible (%1)").arg(result.error);
    }
    return result.error;
}

// How old the values shown are, seen from `now` on `port`.
QString valuesAge(const ShownValues &shown, const QDateTime &now, const QString &port)
{
    if (!shown.time.isValid())
        return tr("valeurs de départ");
    QString age = shown.time.date() == now.date()
                      ? tr("valeurs de %1").arg(clockText(shown.time))
                      : tr("valeurs du %1 %2")
                            .arg(shown.time.date().toString(QStringLiteral("dd/MM")),
                                 clockText(shown.time));
    if (shown.port != port)
        age += tr(" sur %1").arg(shown.port);
    return age;
}

} // namespace

QString startingValuesLine()
{
    return tr("Aucune mesure : valeurs de départ du formulaire");
}

QString measuredLine(const ShownValues &shown)
{
    return tr("Mesures de %1 sur %2").arg(clockText(shown.time), shown.port);
}

QString failedLine(const ExchangeResult &result, ReplyShape shape, const QDateTime &now,
                   const ShownValues &shown)
{
    return tr("%1 : %2 à %3 ; %4")
        .arg(result.port, whatHappened(result, shape), clockText(now),
             valuesAge(shown, now, result.port));
}
