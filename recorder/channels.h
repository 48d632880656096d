#pragma once
// The program's two file channels: 1 records measurements, 2 reads a control file.

namespace velmora {

enum Channel { RecordChannel = 1, ControlChannel = 2 };

/// Closes the channel; harmless when it is not open.
void CloseChannel(int channel);
void CloseAllChannels();

} // namespace velmora
