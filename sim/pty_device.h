#pragma once

#include <cstddef>
#include <string>

namespace velmora::sim {

// The unit's end of the serial line: the master side of a pseudo-terminal
// whose slave device the PC opens as its serial port.
//
// The unit keeps the slave open itself, so the PC may close and reopen its
// side without the master seeing a hang-up.
class PtyDevice {
  public:
    PtyDevice() = default;
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // Opens a raw 9600 8N1 pseudo-terminal; on failure says why.
    bool open(std::string& error);

    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    // What the PC has sent so far (without waiting); empty when nothing.
    std::string readAvailable();

    // What one write did on the line.
    struct Written {
        std::size_t sent = 0;    // of the bytes handed in
        std::size_t dropped = 0; // older characters the PC never read, thrown away first
    };

    // Sends bytes to the PC; what the line cannot take at once is lost, as it
    // would be on a real serial line nobody listens to.
    Written write(const std::string& bytes, double now);

  private:
    std::size_t dropUnread(double now);

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    double lastDrained_ = 0.0;
};

// Makes `link` a symbolic link to `target`, replacing an old link there but
// never a file or folder.
bool makeLink(const std::string& link, const std::string& target, std::string& error);

// Removes `link` if it still points at `target` (another run may have taken it over).
void removeLink(const std::string& link, const std::string& target);

} // namespace velmora::sim
