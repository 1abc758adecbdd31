#ifndef PTYLINE_H
#define PTYLINE_H

#include <stdexcept>
#include <string>

// The device could not be linked at the path asked for; what() says why.
struct CannotLink : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// The far end of a serial line: the master side of a pseudo-terminal whose
// device is linked at a chosen path (for the panel, <folder>/COMn). Nobody
// holds the device open but the panel, so the line reports when the panel
// closes it.
class PtyLine
{
public:
    // Throws CannotLink when the link cannot be made, std::runtime_error when
    // no pseudo-terminal can. What stands at the path already is left as it
    // is, unless it is the link of a line that is gone.
    explicit PtyLine(const std::string &linkPath);
    ~PtyLine();
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    const std::string &devicePath() const { return device; }

    // Waits up to timeoutMs for bytes from the panel and returns them (empty
    // when none came, or when the panel has just closed the device).
    std::string read(int timeoutMs);
    // Writes what the line takes now; returns how many bytes that was.
    size_t write(const char *data, size_t size);
    // True while the panel holds the device open.
    bool isOpenAtFarEnd() const;
    // How the panel has set the line up, e.g. "9600 8N1 RTS/CTS": speed, data
    // bits, parity, stop bits and flow control, as far as a pseudo-terminal
    // keeps them (it always reads 8 data bits, and even parity as none).
    std::string settings() const;
    // Closes this end for good, like a device that vanishes; the link stays,
    // dangling, until the line is destroyed.
    void hangUp();

private:
    std::string link;
    std::string device;
    int master = -1;
    int events = -1; // an epoll instance watching the master
};

#endif // PTYLINE_H
