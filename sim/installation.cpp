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
constexpr double modelStepHours = 0.05;
constexpr int defaultStep = 10; // what the window's motor commands carry
// A cloud lets through this much of the light, for this long (minutes).
constexpr double thinnestCloud = 0.2, thickestCloud = 0.5;
constexpr double shortestCloud = 10, longestCloud = 40;
constexpr double fixedAzimuth = 180, fixedElevation = 45; // the fixed panel compared with

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

double degrees(double radians)
{
    return radians * 180.0 / pi;
}

int rounded(double value)
{
    return int(std::lround(value));
}

// The shorter way round from one azimuth to another, -180..180.
double azimuthDifference(double from, double to)
{
    return std::remainder(to - from, 360.0);
}

// The panel's voltage and its power for so much sunlight on its face (0..1).
double panelVolts(double sunlight)
{
    return panelPeakVolts * (1 - std::exp(-6 * sunlight));
}

double panelWatts(double sunlight)
{
    return panelVolts(sunlight) * panelPeakAmps * sunlight;
}

InstallationOptions optionsAt(double startHour)
{
    InstallationOptions options;
    options.startHour = startHour;
    return options;
}

} // namespace

Installation::Installation(double startHour) : Installation(optionsAt(startHour)) {}

Installation::Installation(const InstallationOptions &installationOptions)
    : options(installationOptions), clock(std::fmod(installationOptions.startHour, 24.0)),
      random(installationOptions.seed)
{
    scheduleCloud();
}

double Installation::declination() const
{
    return 23.44 * std::sin(radians(360.0 / 365 * (284 + options.dayOfYear)));
}

double Installation::sunAzimuth() const
{
    if (!options.latitude)
        return std::fmod(clock * 15.0, 360.0); // north at midnight, east at 6, south at noon
    const double hourAngle = radians(15 * (clock - 12)), latitude = radians(*options.latitude);
    const double fromSouth = std::atan2(std::sin(hourAngle),
                                        std::cos(hourAngle) * std::sin(latitude) -
                                            std::tan(radians(declination())) * std::cos(latitude));
    return std::fmod(degrees(fromSouth) + 540, 360.0);
}

double Installation::sunElevation() const
{
    if (!options.latitude)
        return noonElevation * std::sin(2 * pi * (clock - 6.0) / 24.0);
    const double latitude = radians(*options.latitude), tilt = radians(declination());
    return degrees(std::asin(std::sin(latitude) * std::sin(tilt) +
                             std::cos(latitude) * std::cos(tilt) *
                                 std::cos(radians(15 * (clock - 12)))));
}

double Installation::sunlightAt(double panelAzimuthDegrees, double panelElevationDegrees) const
{
    if (sunElevation() <= 0)
        return 0;
    return cloud * std::max(0.0, cosineBetween(panelAzimuthDegrees, panelElevationDegrees,
                                               sunAzimuth(), sunElevation()));
}

double Installation::sensorLevel(double facingAzimuth) const
{
    return sensorFullScale * sunlightAt(facingAzimuth, 0);
}

double Installation::panelSunlight() const
{
    return sunlightAt(azimuth, elevation);
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
        const double step = std::min(hours, modelStepHours);
        weather();
        account(step);
        const double net = panelAmps() - lightAmps() - standbyAmps;
        setStateOfCharge(charge + net * step / capacityAmpHours);
        clock = std::fmod(clock + step, 24.0);
        harvested.hours += step;
        hours -= step;
    }
}

// Clouds are drawn one after the other in simulated time, so that a seed
// gives the same sky however the time is cut into steps.
void Installation::scheduleCloud()
{
    if (options.cloudsPerDay <= 0)
        return;
    std::exponential_distribution<double> between(options.cloudsPerDay / 24);
    cloudStart = cloudEnd + between(random);
    cloudLevel = std::uniform_real_distribution<double>(thinnestCloud, thickestCloud)(random);
    cloudEnd = cloudStart +
               std::uniform_real_distribution<double>(shortestCloud, longestCloud)(random) / 60;
}

void Installation::weather()
{
    const double now = harvested.hours;
    while (options.cloudsPerDay > 0 && now >= cloudEnd)
        scheduleCloud();
    cloud = options.cloudsPerDay > 0 && now >= cloudStart ? cloudLevel : 1;
}

void Installation::account(double hours)
{
    if (sunElevation() <= 0)
        return;
    harvested.panelWh += panelWatts(panelSunlight()) * hours;
    harvested.idealWh += panelWatts(cloud) * hours;
    harvested.fixedWh += panelWatts(sunlightAt(fixedAzimuth, fixedElevation)) * hours;
    const double cosine = cosineBetween(azimuth, elevation, sunAzimuth(), sunElevation());
    harvested.pointingErrorDegreeHours += degrees(std::acos(std::clamp(cosine, -1.0, 1.0))) * hours;
    harvested.daylightHours += hours;
    stepIdeal();
}

// The panel that turns by whole steps whenever the sun is more than half a
// step off: what following the sun needs, in commands.
void Installation::stepIdeal()
{
    const int azimuthStep = options.azimuthStep ? options.azimuthStep : defaultStep;
    const int elevationStep = options.elevationStep ? options.elevationStep : defaultStep;
    while (std::abs(azimuthDifference(idealAzimuth, sunAzimuth())) > azimuthStep / 2.0) {
        const int way = azimuthDifference(idealAzimuth, sunAzimuth()) > 0 ? 1 : -1;
        idealAzimuth = ((idealAzimuth + way * azimuthStep) % 360 + 360) % 360;
        ++harvested.neededCommands;
    }
    const double target = std::clamp(sunElevation(), 0.0, 90.0);
    while (std::abs(target - idealElevation) > elevationStep / 2.0) {
        const int next = idealElevation + (target > idealElevation ? 1 : -1) * elevationStep;
        if (next < 0 || next > 90)
            break;
        idealElevation = next;
        ++harvested.neededCommands;
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
    if ((kind == 'J' || kind == 'K') && (target == "01" || target == "02"))
        turn(kind == 'J', target == "01", value);
    else if (kind == 'E' && target == "00")
        lights.fill(0);
    else if (kind == 'E' && target == "01")
        lights.fill(std::min(value, 100));
    else if (kind == 'E' && target >= "02" && target <= "05") {
        lights.fill(0);
        lights[size_t(target[1] - '2')] = 100;
    }
}

// J01 raises the elevation, J02 lowers it, within 0..90; K01 turns the
// azimuth right (clockwise, seen from above), K02 left, round 0..359.
void Installation::turn(bool elevationAxis, bool positive, int value)
{
    ++harvested.motorCommands;
    if (sunElevation() > 0)
        ++harvested.daylightMotorCommands;
    const AxisFault fault = elevationAxis ? options.elevationFault : options.azimuthFault;
    if (fault == AxisFault::Jammed)
        return;
    if (fault == AxisFault::Reversed)
        positive = !positive;
    const int step = elevationAxis ? options.elevationStep : options.azimuthStep;
    const int degreesTurned = (step ? step : value) * (positive ? 1 : -1);
    if (elevationAxis)
        elevation = std::clamp(elevation + degreesTurned, 0, 90);
    else
        azimuth = ((azimuth + degreesTurned) % 360 + 360) % 360;
}

StatusValues Installation::status() const
{
    StatusValues s;
    s.lumEst = rounded(sensorLevel(90));
    s.lumSud = rounded(sensorLevel(180));
    s.lumOuest = rounded(sensorLevel(270));
    s.lumNord = rounded(sensorLevel(0));
    const double sunlight = panelSunlight();
    s.vpan = rounded(10 * panelVolts(sunlight));
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
