#ifndef EXITSTATUS_H
#define EXITSTATUS_H

// The exit statuses of tavctl's commands, whichever program runs them.
namespace ExitStatus {
constexpr int done = 0;
constexpr int noReply = 1;   // the controller did not answer with a status reply
constexpr int usage = 2;     // bad command line; nothing was sent
constexpr int portError = 3; // the port could not be opened (or written)
constexpr int outputError = 4; // the output (a recording, a picture) could not be written
constexpr int brokerRefused = 5; // the MQTT broker refused the credentials, or TLS failed
constexpr int notFollowing = 6;  // track: the panel does not follow the motor commands
constexpr int noProgram = 127;   // a command's own program could not be run (as a shell says)
} // namespace ExitStatus

#endif // EXITSTATUS_H
