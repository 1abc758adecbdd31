#ifndef PLOT_H
#define PLOT_H

#include <QStringList>

// tavctl plot: a recording drawn as a PNG or SVG chart. Takes its arguments
// from the command's name on; returns the exit status.
int plotCommand(const QStringList &arguments);

#endif // PLOT_H
