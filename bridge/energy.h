#ifndef ENERGY_H
#define ENERGY_H

#include "output.h"

#include <QString>

#include <optional>

// What went through the installation, in watt-hours, since it was first
// bridged: produced by the panel, charged into the battery, taken from it.
struct EnergyTotals
{
    double produced = 0;
    double charged = 0;
    double discharged = 0;

    // Each total the larger of the two.
    EnergyTotals atLeast(const EnergyTotals &other) const;
    bool operator==(const EnergyTotals &other) const;
};

// Adds up the energy of the measured replies: between two in a row, the mean
// of their powers times the time between them. A reply without a measurement
// breaks the chain, so that nothing is counted for a gap's time.
class EnergyMeter
{
public:
    // A reply at `ms` (on a steady clock): its powers, or none without a measurement.
    void add(qint64 ms, const std::optional<Powers> &powers);
    const EnergyTotals &totals() const { return sums; }
    // Totals kept elsewhere (a file, the broker) that may be ahead of these.
    void raiseTo(const EnergyTotals &other) { sums = sums.atLeast(other); }

private:
    EnergyTotals sums;
    std::optional<Powers> previous;
    qint64 previousMs = 0;
};

// The totals between runs, in a small JSON file written whole: a new file
// renamed over the old one, so that a crash leaves one or the other.
class EnergyStore
{
public:
    explicit EnergyStore(const QString &path) : file(path) {}
    const QString &path() const { return file; }
    // The totals in the file. A missing file gives zero, and so does one
    // that is not a state file, which is kept aside (FILE.corrupt) rather
    // than written over; `notice` then says so.
    EnergyTotals load(QString &notice) const;
    // Writes them whole; false with the reason in error() when it could not.
    bool save(const EnergyTotals &totals);
    const QString &error() const { return problem; }

private:
    QString file;
    QString problem;
};

// The totals in a state message, or none where it holds none.
std::optional<EnergyTotals> totalsInState(const QByteArray &state);

// The state message's members for the totals, watt-hours with two decimals.
QMap<QString, QByteArray> stateMembers(const EnergyTotals &totals);

#endif // ENERGY_H
