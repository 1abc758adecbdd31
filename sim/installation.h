#ifndef INSTALLATION_H
#define INSTALLATION_H

#include <array>
#include <optional>
#include <random>
#include <string>

// The values one status reply carries, in the units of the line: light levels
// as measured, voltages in tenths of a volt, currents in tens of milliamperes,
// angles in degrees, battery flags true or false.
struct StatusValues
{
    int lumEst = 0, lumOuest = 0, lumNord = 0, lumSud = 0;
    int vpan = 0, vbat = 0, ipan = 0, ibat = 0;
    bool charge = false, pleine = false, vide = false;
    int azimut = 0, elevation = 0;
};

// An axis of the panel as its motor drives it.
enum class AxisFault {
    None,
    Jammed,   // it does not move, whatever the command
    Reversed, // it turns the opposite way from what the command means
};

// What makes one installation unlike another.
struct InstallationOptions
{
    double startHour = 8.0;
    // Degrees one motor command turns each axis; 0: the command's three digits.
    int azimuthStep = 0;
    int elevationStep = 0;
    AxisFault azimuthFault = AxisFault::None;
    AxisFault elevationFault = AxisFault::None;
    // Clouds that cut the light for a while, about so many a simulated day.
    double cloudsPerDay = 0;
    unsigned seed = 0;
    // The sun's path for a latitude (degrees, north positive) and a day of
    // the year (1 to 366); without, the simple path: due east at 6, due south
    // at noon 60 degrees high, due west at 18.
    std::optional<double> latitude;
    int dayOfYear = 80;
};

// What the panel could have given since the start, whatever the battery took:
// as it was turned, always facing the sun, and fixed facing south at 45
// degrees. Energies in watt-hours, times in simulated hours.
struct Harvest
{
    double panelWh = 0, idealWh = 0, fixedWh = 0;
    double hours = 0, daylightHours = 0;
    double pointingErrorDegreeHours = 0; // the angle to the sun, over the daylight
    int motorCommands = 0;
    int daylightMotorCommands = 0; // those while the sun was up
    // The commands a panel that follows the sun step by step from the same
    // start would need while the sun is up: the sun's own travel in steps.
    int neededCommands = 0;
};

// A small, plausible model of the installation: a sun crossing the sky, four
// light sensors, a motorised panel charging a battery, and four lights that
// draw from it. Time is simulated time, in hours of the day.
class Installation
{
public:
    static constexpr double fullVolts = 13.8;  // the battery reads full from here
    static constexpr double emptyVolts = 11.5; // and empty below this

    explicit Installation(double startHour = 8.0);
    explicit Installation(const InstallationOptions &options);

    // Lets `hours` of simulated time pass: the sun moves, clouds come and go,
    // the battery charges from the panel and discharges into the lights.
    void advance(double hours);
    // Acts on one command (without its carriage return). Commands it does not
    // know change nothing.
    void apply(const std::string &command);
    StatusValues status() const;

    double hour() const { return clock; }
    double sunAzimuth() const;    // degrees, 0 north, 90 east
    double sunElevation() const;  // degrees above the horizon
    double panelSunlight() const; // 0..1, the sun on the panel's face
    double cloudFactor() const { return cloud; } // 1 in the clear, less under a cloud
    double batteryVolts() const;
    double lightAmps() const; // what the lights draw
    double panelAmps() const; // what the panel gives the battery
    int panelAzimuth() const { return azimuth; }
    int panelElevation() const { return elevation; }
    int lightLevel(int light) const { return lights.at(size_t(light)); }
    void setStateOfCharge(double fraction);
    const Harvest &harvest() const { return harvested; }

private:
    double sensorLevel(double facingAzimuth) const;
    double sunlightAt(double panelAzimuth, double panelElevation) const;
    bool isFull() const { return batteryVolts() >= fullVolts; }
    double declination() const;
    void turn(bool elevationAxis, bool positive, int value);
    void scheduleCloud();
    void weather();
    void account(double hours);
    void stepIdeal();

    InstallationOptions options;
    double clock;
    double charge = 0.6; // state of charge, 0..1
    int azimuth = 180;   // the panel faces south
    int elevation = 45;
    std::array<int, 4> lights{}; // level of each light in percent
    double cloud = 1;            // the light let through now
    double cloudStart = 1e300;   // the next cloud, or the one overhead, in simulated
    double cloudEnd = 0;         // hours since the start, and the light it lets through
    double cloudLevel = 1;
    std::mt19937 random;
    Harvest harvested;
    int idealAzimuth = 180; // the panel that follows the sun step by step
    int idealElevation = 45;
};

#endif // INSTALLATION_H
