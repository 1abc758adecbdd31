#include "installation.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double noonElevation = 60.0;  // the sun's height at noon, degrees
constexpr double sensorFullScale = 255; // a sensor facing the sun at noon
constexpr double panelPeakAmps = 1.8;
constexpr double panelPeakVolts = 14.8;
constexpr double lightAmpsAtFull = 0.25; // each light at 100 %
constexpr double capacityAmpHours = 40.0;
constexpr double standbyAmps = 0.02; // the controller itself

double radians(double degrees)
{
    return degrees * pi / 180.0;
}

// Cosine of the angle between two directions given as azimuth and elevation.
double cosineBetween(double az1, double el1, double az2, double el2)
{
    return std::sin(radians(el1)) * std::sin(radians(el2)) +
           std::cos(radians(el1)) * std::cos(radians(el2)) * std::cos(radians(az1 - az2));
}

int rounded(double value)
{
    return int(std::lround(value));
}

} // namespace

Installation::Installation(double startHour) : clock(std::fmod(startHour, 24.0)) {}

double Installation::sunAzimuth() const
{
    return std::fmod(clock * 15.0, 360.0); // north at midnight, east at 6, south at noon
}

double Installation::sunElevation() const
{
    return noonElevation * std::sin(2 * pi * (clock - 6.0) / 24.0);
}

double Installation::sensorLevel(double facingAzimuth) const
{
    if (sunElevation() <= 0)
        return 0;
    return sensorFullScale *
           std::max(0.0, cosineBetween(facingAzimuth, 0, sunAzimuth(), sunElevation()));
}

double Installation::panelSunlight() const
{
    if (sunElevation() <= 0)
        return 0;
    return std::max(0.0, cosineBetween(azimuth, elevation, sunAzimuth(), sunElevation()));
}

double Installation::batteryVolts() const
{
    return 11.2 + 2.8 * charge;
}

double Installation::lightAmps() const
{
    double amps = 0;
    for (int level : lights)
        amps += lightAmpsAtFull * level / 100.0;
    return amps;
}

double Installation::panelAmps() const
{
    // The charge regulator stops charging a full battery, but still lets the
    // panel feed the lights.
    const double available = panelPeakAmps * panelSunlight();
    return isFull() ? std::min(available, lightAmps() + standbyAmps) : available;
}

void Installation::advance(double hours)
{
    // Small steps, so that a long pause still charges smoothly.
    while (hours > 0) {
        const double step = std::min(hours, 0.05);
        const double net = panelAmps() - lightAmps() - standbyAmps;
        setStateOfCharge(charge + net * step / capacityAmpHours);
        clock = std::fmod(clock + step, 24.0);
        hours -= step;
    }
}

void Installation::setStateOfCharge(double fraction)
{
    charge = std::clamp(fraction, 0.0, 1.0);
}

void Installation::apply(const std::string &command)
{
    if (command.size() < 3)
        return;
    const char kind = command[0];
    const std::string target = command.substr(1, 2);
    const std::string argument = command.substr(3);
    int value = 0;
    for (char c : argument) {
        if (c < '0' || c > '9')
            break;
        value = std::min(value * 10 + (c - '0'), 999);
    }
    if (kind == 'J' && target == "01")
        elevation = std::min(90, elevation + value);
    else if (kind == 'J' && target == "02")
        elevation = std::max(0, elevation - value);
    else if (kind == 'K' && target == "01")
        azimuth = (azimuth + value) % 360;
    else if (kind == 'K' && target == "02")
        azimuth = ((azimuth - value) % 360 + 360) % 360;
    else if (kind == 'E' && target == "00")
        lights.fill(0);
    else if (kind == 'E' && target == "01")
        lights.fill(std::min(value, 100));
    else if (kind == 'E' && target >= "02" && target <= "05") {
        lights.fill(0);
        lights[size_t(target[1] - '2')] = 100;
    }
}

StatusValues Installation::status() const
{
    StatusValues s;
    s.lumEst = rounded(sensorLevel(90));
    s.lumSud = rounded(sensorLevel(180));
    s.lumOuest = rounded(sensorLevel(270));
    s.lumNord = rounded(sensorLevel(0));
    const double sunlight = panelSunlight();
    s.vpan = rounded(10 * panelPeakVolts * (1 - std::exp(-6 * sunlight)));
    s.vbat = rounded(10 * batteryVolts());
    const double intoBattery = panelAmps() - lightAmps() - standbyAmps;
    s.ipan = rounded(100 * panelAmps());
    s.ibat = rounded(100 * std::abs(intoBattery));
    s.pleine = isFull();
    s.vide = batteryVolts() < emptyVolts;
    s.charge = intoBattery > 0 && !s.pleine;
    s.azimut = azimuth;
    s.elevation = elevation;
    return s;
}
