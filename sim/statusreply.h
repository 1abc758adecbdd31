#ifndef STATUSREPLY_H
#define STATUSREPLY_H

#include "installation.h"

#include <string>

// The controller's status reply: 67 bytes with every field at its position,
// then CR LF. Numbers are three digits, zero-padded (a negative one as a minus
// sign and two digits; beyond -99..999 they are clamped); flags are "01" or
// "00". The stretches that carry no field hold printable filler.
std::string encodeStatus(const StatusValues &values);

// One numeric field as the reply carries it.
std::string numericField(int value);

#endif // STATUSREPLY_H
