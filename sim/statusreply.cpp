#include "statusreply.h"

#include <algorithm>
#include <cstdio>

std::string numericField(int value)
{
    char text[8];
    value = std::clamp(value, -99, 999);
    std::snprintf(text, sizeof text, value < 0 ? "-%02d" : "%03d", value < 0 ? -value : value);
    return text;
}

namespace {

std::string flag(bool set)
{
    return set ? "01" : "00";
}

} // namespace

std::string encodeStatus(const StatusValues &v)
{
    std::string reply;
    reply += "ST";                                               // 0-1
    reply += numericField(v.lumEst) + numericField(v.lumOuest);  // 2-7
    reply += numericField(v.lumNord) + numericField(v.lumSud);   // 8-13
    reply += " LUM / NRJ ";                                      // 14-24
    reply += numericField(v.vpan) + numericField(v.vbat);        // 25-30
    reply += numericField(v.ipan) + numericField(v.ibat);        // 31-36
    reply += flag(v.charge) + flag(v.pleine) + flag(v.vide);     // 37-42
    reply += " BAT / MOTEURS AE ";                               // 43-60
    reply += numericField(v.azimut) + numericField(v.elevation); // 61-66
    reply += "\r\n";
    return reply;
}
