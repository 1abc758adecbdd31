#ifndef INSTALLATION_H
#define INSTALLATION_H

#include <array>
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

// A small, plausible model of the installation: a sun crossing the sky, four
// light sensors, a motorised panel charging a battery, and four lights that
// draw from it. Time is simulated time, in hours of the day.
class Installation
{
public:
    static constexpr double fullVolts = 13.8;  // the battery reads full from here
    static constexpr double emptyVolts = 11.5; // and empty below this

    explicit Installation(double startHour = 8.0);

    // Lets `hours` of simulated time pass: the sun moves, the battery charges
    // from the panel and discharges into the lights.
    void advance(double hours);
    // Acts on one command (without its carriage return). Commands it does not
    // know change nothing.
    void apply(const std::string &command);
    StatusValues status() const;

    double hour() const { return clock; }
    double sunAzimuth() const;    // degrees, 0 north, 90 east
    double sunElevation() const;  // degrees above the horizon
    double panelSunlight() const; // 0..1, the sun on the panel's face
    double batteryVolts() const;
    double lightAmps() const; // what the lights draw
    double panelAmps() const; // what the panel gives the battery
    int panelAzimuth() const { return azimuth; }
    int panelElevation() const { return elevation; }
    int lightLevel(int light) const { return lights.at(size_t(light)); }
    void setStateOfCharge(double fraction);

private:
    double sensorLevel(double facingAzimuth) const;
    bool isFull() const { return batteryVolts() >= fullVolts; }

    double clock;
    double charge = 0.6; // state of charge, 0..1
    int azimuth = 180;   // the panel faces south
    int elevation = 45;
    std::array<int, 4> lights{}; // level of each light in percent
};

#endif // INSTALLATION_H
