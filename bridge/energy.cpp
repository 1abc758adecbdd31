#include "energy.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

const QString producedKey = QStringLiteral("epan_Wh");
const QString chargedKey = QStringLiteral("ebat_charge_Wh");
const QString dischargedKey = QStringLiteral("ebat_decharge_Wh");

constexpr double msPerHour = 3600.0 * 1000;

// The totals of a JSON object, when it holds all three as numbers of 0 or more.
std::optional<EnergyTotals> totalsOf(const QJsonObject &object)
{
    EnergyTotals totals;
    for (const auto &[key, total] : {std::pair{producedKey, &totals.produced},
                                     {chargedKey, &totals.charged},
                                     {dischargedKey, &totals.discharged}}) {
        const QJsonValue value = object.value(key);
        if (!value.isDouble() || !std::isfinite(value.toDouble()) || value.toDouble() < 0)
            return std::nullopt;
        *total = value.toDouble();
    }
    return totals;
}

} // namespace

EnergyTotals EnergyTotals::atLeast(const EnergyTotals &other) const
{
    return {std::max(produced, other.produced), std::max(charged, other.charged),
            std::max(discharged, other.discharged)};
}

bool EnergyTotals::operator==(const EnergyTotals &other) const
{
    return produced == other.produced && charged == other.charged &&
           discharged == other.discharged;
}

void EnergyMeter::add(qint64 ms, const std::optional<Powers> &powers)
{
    if (powers && previous && ms > previousMs) {
        const double hours = double(ms - previousMs) / msPerHour;
        const auto mean = [hours](double a, double b) { return (a + b) / 2 * hours; };
        sums.produced += mean(std::max(0.0, previous->panel), std::max(0.0, powers->panel));
        sums.charged += mean(std::max(0.0, previous->battery), std::max(0.0, powers->battery));
        sums.discharged += mean(std::max(0.0, -previous->battery), std::max(0.0, -powers->battery));
    }
    previous = powers;
    previousMs = ms;
}

EnergyTotals EnergyStore::load(QString &notice) const
{
    QFile in(file);
    if (!in.exists()) {
        notice = QStringLiteral("%1: no energy totals yet; they start at zero").arg(file);
        return {};
    }
    const QJsonDocument document = in.open(QIODevice::ReadOnly)
                                       ? QJsonDocument::fromJson(in.read(4096))
                                       : QJsonDocument();
    if (const std::optional<EnergyTotals> totals = totalsOf(document.object()))
        return *totals;
    in.close();
    const QString aside = file + QStringLiteral(".corrupt");
    QFile::remove(aside);
    const bool kept = QFile::rename(file, aside);
    notice = QStringLiteral("%1: not a file of energy totals%2; they start at zero")
                 .arg(file, kept ? QStringLiteral(" (kept as ") + aside + QLatin1Char(')')
                                 : QStringLiteral(" (and it could not be kept aside: ") +
                                       in.errorString() + QLatin1Char(')'));
    return {};
}

bool EnergyStore::save(const EnergyTotals &totals)
{
    QDir().mkpath(QFileInfo(file).path());
    QSaveFile out(file);
    const QJsonObject object{{producedKey, totals.produced},
                             {chargedKey, totals.charged},
                             {dischargedKey, totals.discharged}};
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit()) {
        problem.clear();
        return true;
    }
    problem = out.errorString();
    return false;
}

std::optional<EnergyTotals> totalsInState(const QByteArray &state)
{
    return totalsOf(QJsonDocument::fromJson(state).object());
}

QMap<QString, QByteArray> stateMembers(const EnergyTotals &totals)
{
    const auto text = [](double wh) { return QByteArray::number(std::floor(wh * 100) / 100, 'f', 2); };
    return {{producedKey, text(totals.produced)},
            {chargedKey, text(totals.charged)},
            {dischargedKey, text(totals.discharged)}};
}
